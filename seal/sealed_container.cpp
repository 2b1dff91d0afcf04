#include "seal/sealed_container.h"

#include <sodium.h>

#include <algorithm>
#include <new>
#include <stdexcept>
#include <string>

#include "platform/byte_order.h"

namespace kestravuna {

namespace {

constexpr std::array<std::uint8_t, 6> kIdentifier{'K', 'V', 'S', 'E', 'A', 'L'};
constexpr std::size_t kKeySize = crypto_secretstream_xchacha20poly1305_KEYBYTES;
constexpr std::size_t kStreamHeaderSize = crypto_secretstream_xchacha20poly1305_HEADERBYTES;
constexpr std::size_t kCheckSize = 16;
// Where the fields lie in the header.
constexpr std::size_t kVersionAt = 6;
constexpr std::size_t kPassesAt = 8;
constexpr std::size_t kMemoryAt = 12;
constexpr std::size_t kChunkSizeAt = 16;
constexpr std::size_t kSaltAt = 20;
constexpr std::size_t kStreamHeaderAt = 36;
constexpr std::size_t kCheckAt = 60;
static_assert(kSealTagSize == crypto_secretstream_xchacha20poly1305_ABYTES);
static_assert(kSealSaltSize == crypto_pwhash_SALTBYTES);
static_assert(kStreamHeaderAt + kStreamHeaderSize == kCheckAt);
static_assert(kCheckAt + kCheckSize == kSealHeaderSize);

// What a header may ask of this machine. Far beyond what the program writes, so that costs can
// rise, yet a forged header cannot make a restore take hours or all the memory there is.
constexpr std::uint32_t kMostPasses = 64;
constexpr std::uint32_t kMostMemoryKiB = 4 * 1024 * 1024;
constexpr std::uint32_t kMostChunkSize = 16 * 1024 * 1024;

ESealError Damaged(std::string_view detail) {
  return ESealError("Der verschlüsselte Container ist beschädigt oder wurde verändert: " +
                    std::string(detail) + ".");
}

// libsodium is made ready once per process; it fails only where the system offers no random
// source.
void RequireSodium() {
  if (sodium_init() < 0) throw std::runtime_error("libsodium kann nicht gestartet werden.");
}

std::array<std::uint8_t, kCheckSize> HeaderCheck(std::span<const std::uint8_t> header) {
  std::array<std::uint8_t, kCheckSize> check{};
  crypto_generichash(check.data(), check.size(), header.data(), kCheckAt, nullptr, 0);
  return check;
}

// Memory for secrets: kept out of swap where the system allows it, guarded against overruns
// and wiped when it is given back.
template <typename T>
struct InSecretMemory {
  static void* operator new(std::size_t size) {
    RequireSodium();
    void* memory = sodium_malloc(size);
    if (memory == nullptr) throw std::bad_alloc();
    return memory;
  }
  static void operator delete(void* memory) noexcept { sodium_free(memory); }
};

}  // namespace

void WipeSecret(std::span<std::uint8_t> bytes) noexcept {
  sodium_memzero(bytes.data(), bytes.size());
}

void WipeSecret(std::string& text) noexcept {
  sodium_memzero(text.data(), text.size());
  text.clear();
}

std::span<const std::uint8_t> SealIdentifier() { return kIdentifier; }

bool BeginsLikeSealedContainer(std::span<const std::uint8_t> bytes) {
  const std::size_t compared = std::min(bytes.size(), kIdentifier.size());
  return std::equal(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(compared),
                    kIdentifier.begin());
}

SealHeader ReadSealHeader(ByteStream& source) {
  SealHeader header;
  const std::int64_t got = ReadFully(source, header.bytes);
  const auto bytes = std::span<const std::uint8_t>(header.bytes);
  if (got < 0) throw Damaged("er lässt sich nicht lesen");
  if (!BeginsLikeSealedContainer(bytes.first(static_cast<std::size_t>(got))) ||
      got < static_cast<std::int64_t>(kIdentifier.size())) {
    throw ESealError("Die Datei ist kein verschlüsselter Container.");
  }
  if (got < static_cast<std::int64_t>(kSealHeaderSize)) throw Damaged("er endet in seinem Kopf");
  const std::uint16_t version = platform::LoadLe16(bytes.subspan<kVersionAt, 2>());
  const auto check = HeaderCheck(bytes);
  if (!std::equal(check.begin(), check.end(), bytes.begin() + kCheckAt)) {
    throw Damaged("sein Kopf stimmt nicht mit seiner Prüfsumme überein");
  }
  if (version != kSealVersion) {
    throw ESealError("Der Container ist mit der Formatversion " + std::to_string(version) +
                     " verschlüsselt, die dieses Programm nicht kennt.");
  }
  header.costs.passes = platform::LoadLe32(bytes.subspan<kPassesAt, 4>());
  header.costs.memoryKiB = platform::LoadLe32(bytes.subspan<kMemoryAt, 4>());
  header.chunkSize = platform::LoadLe32(bytes.subspan<kChunkSizeAt, 4>());
  std::copy_n(bytes.begin() + kSaltAt, kSealSaltSize, header.salt.begin());
  const bool costsPossible = header.costs.passes >= crypto_pwhash_argon2id_OPSLIMIT_MIN &&
                             header.costs.passes <= kMostPasses &&
                             header.costs.memoryKiB >= crypto_pwhash_argon2id_MEMLIMIT_MIN / 1024 &&
                             header.costs.memoryKiB <= kMostMemoryKiB;
  if (!costsPossible || header.chunkSize == 0 || header.chunkSize > kMostChunkSize) {
    throw Damaged("sein Kopf nennt unmögliche Werte");
  }
  return header;
}

// ---------------------------------------------------------------------------------------------
// The key

struct SealKey::Secret : InSecretMemory<SealKey::Secret> {
  std::array<std::uint8_t, kKeySize> key;
};

SealKey SealKey::ForNewContainer(std::string_view password) {
  RequireSodium();
  SealSalt salt{};
  randombytes_buf(salt.data(), salt.size());
  return SealKey(password, kSealCosts, salt);
}

SealKey SealKey::ForContainer(std::string_view password, const SealHeader& header) {
  return SealKey(password, header.costs, header.salt);
}

SealKey::SealKey(std::string_view password, const SealCosts& costs, const SealSalt& salt)
    : secret_(new Secret), costs_(costs), salt_(salt) {
  if (crypto_pwhash(secret_->key.data(), secret_->key.size(), password.data(), password.size(),
                    salt.data(), costs.passes, std::size_t{costs.memoryKiB} * 1024,
                    crypto_pwhash_ALG_ARGON2ID13) != 0) {
    throw std::bad_alloc();  // the only way it fails with costs in range: no memory for it
  }
}

SealKey::~SealKey() = default;
SealKey::SealKey(SealKey&& other) noexcept = default;

std::span<const std::uint8_t> SealKey::Bytes() const noexcept { return secret_->key; }

// ---------------------------------------------------------------------------------------------
// Sealing

struct SealingStream::State : InSecretMemory<SealingStream::State> {
  crypto_secretstream_xchacha20poly1305_state stream;
};

SealingStream::SealingStream(ByteStream& destination, const SealKey& key)
    : destination_(destination), key_(key), state_(new State) {
  chunk_.reserve(kSealChunkSize);
}

SealingStream::~SealingStream() = default;

bool SealingStream::Begin() {
  begun_ = true;
  std::array<std::uint8_t, kSealHeaderSize> header{};
  const std::span<std::uint8_t> bytes(header);
  std::copy(kIdentifier.begin(), kIdentifier.end(), bytes.begin());
  platform::StoreLe16(bytes.subspan<kVersionAt, 2>(), kSealVersion);
  platform::StoreLe32(bytes.subspan<kPassesAt, 4>(), key_.Costs().passes);
  platform::StoreLe32(bytes.subspan<kMemoryAt, 4>(), key_.Costs().memoryKiB);
  platform::StoreLe32(bytes.subspan<kChunkSizeAt, 4>(), static_cast<std::uint32_t>(kSealChunkSize));
  std::copy(key_.Salt().begin(), key_.Salt().end(), bytes.begin() + kSaltAt);
  crypto_secretstream_xchacha20poly1305_init_push(&state_->stream, &bytes[kStreamHeaderAt],
                                                  key_.Bytes().data());
  const auto check = HeaderCheck(bytes);
  std::copy(check.begin(), check.end(), bytes.begin() + kCheckAt);
  if (destination_.Write(header) != static_cast<std::int64_t>(header.size())) return false;

  std::array<std::uint8_t, kSealTagSize> keyCheck{};
  crypto_secretstream_xchacha20poly1305_push(&state_->stream, keyCheck.data(), nullptr, nullptr, 0,
                                             header.data(), header.size(),
                                             crypto_secretstream_xchacha20poly1305_TAG_MESSAGE);
  return destination_.Write(keyCheck) == static_cast<std::int64_t>(keyCheck.size());
}

bool SealingStream::PushChunk(bool final) {
  sealed_.resize(chunk_.size() + kSealTagSize);
  const unsigned char tag = final ? crypto_secretstream_xchacha20poly1305_TAG_FINAL
                                  : crypto_secretstream_xchacha20poly1305_TAG_MESSAGE;
  crypto_secretstream_xchacha20poly1305_push(&state_->stream, sealed_.data(), nullptr,
                                             chunk_.data(), chunk_.size(), nullptr, 0, tag);
  chunk_.clear();
  return destination_.Write(sealed_) == static_cast<std::int64_t>(sealed_.size());
}

std::int64_t SealingStream::Write(std::span<const std::uint8_t> data) {
  if (!failed_ && !begun_) failed_ = !Begin();
  std::size_t taken = 0;
  while (!failed_ && taken < data.size()) {
    const std::size_t piece = std::min(data.size() - taken, kSealChunkSize - chunk_.size());
    chunk_.insert(chunk_.end(), data.begin() + static_cast<std::ptrdiff_t>(taken),
                  data.begin() + static_cast<std::ptrdiff_t>(taken + piece));
    taken += piece;
    if (chunk_.size() == kSealChunkSize) failed_ = !PushChunk(false);
  }
  if (failed_) return 0;
  written_ += static_cast<std::int64_t>(data.size());
  return static_cast<std::int64_t>(data.size());
}

std::int64_t SealingStream::Seek(std::int64_t offset, SeekOrigin origin) {
  const std::int64_t target = origin == SeekOrigin::Begin ? offset : written_ + offset;
  return target == written_ ? written_ : -1;
}

bool SealingStream::Finish() {
  if (!failed_ && !begun_) failed_ = !Begin();
  if (!failed_) failed_ = !PushChunk(true);
  return !failed_;
}

// ---------------------------------------------------------------------------------------------
// Unsealing

struct UnsealingStream::State : InSecretMemory<UnsealingStream::State> {
  crypto_secretstream_xchacha20poly1305_state stream;
};

UnsealingStream::UnsealingStream(ByteStream& source, const SealHeader& header, const SealKey& key)
    : source_(source), header_(header), state_(new State) {
  // Fails only for a stream header no writer makes; the key check then fails as well.
  crypto_secretstream_xchacha20poly1305_init_pull(&state_->stream, &header_.bytes[kStreamHeaderAt],
                                                  key.Bytes().data());
}

UnsealingStream::~UnsealingStream() = default;

bool UnsealingStream::Unlock() {
  std::array<std::uint8_t, kSealTagSize> keyCheck{};
  if (ReadFully(source_, keyCheck) != static_cast<std::int64_t>(keyCheck.size())) {
    throw Damaged("er endet vor dem Ende seines Kopfes");
  }
  unsigned char tag = 0;
  if (crypto_secretstream_xchacha20poly1305_pull(&state_->stream, nullptr, nullptr, &tag,
                                                 keyCheck.data(), keyCheck.size(),
                                                 header_.bytes.data(), header_.bytes.size()) != 0) {
    return false;
  }
  if (tag != crypto_secretstream_xchacha20poly1305_TAG_MESSAGE) {
    throw Damaged("er hat keinen Inhalt");
  }
  unlocked_ = true;
  return true;
}

bool UnsealingStream::PullChunk() {
  sealed_.resize(std::size_t{header_.chunkSize} + kSealTagSize);
  const std::int64_t got = ReadFully(source_, sealed_);
  if (got < 0) return false;
  ++chunkNumber_;
  if (got == 0) throw Damaged("er endet vor seinem letzten Block");
  plain_.resize(sealed_.size());
  unsigned long long length = 0;
  unsigned char tag = 0;
  if (crypto_secretstream_xchacha20poly1305_pull(&state_->stream, plain_.data(), &length, &tag,
                                                 sealed_.data(), static_cast<std::size_t>(got),
                                                 nullptr, 0) != 0) {
    throw Damaged("Block " + std::to_string(chunkNumber_) + " ist nicht echt");
  }
  plain_.resize(static_cast<std::size_t>(length));
  plainOffset_ = 0;
  if (tag == crypto_secretstream_xchacha20poly1305_TAG_FINAL) {
    finished_ = true;
    std::array<std::uint8_t, 1> behind{};
    const std::int64_t more = ReadFully(source_, behind);
    if (more < 0) return false;
    if (more > 0) throw Damaged("hinter seinem letzten Block folgen weitere Bytes");
    return true;
  }
  // The writer fills every chunk but the final one.
  if (tag != crypto_secretstream_xchacha20poly1305_TAG_MESSAGE ||
      got != static_cast<std::int64_t>(sealed_.size())) {
    throw Damaged("er endet vor seinem letzten Block");
  }
  return true;
}

std::int64_t UnsealingStream::Read(std::span<std::uint8_t> buffer) {
  if (!unlocked_ || fault_) return -1;
  // As a file does, a read gives all it was asked for unless the contents end: the decoder takes
  // a shorter count for a read error.
  std::size_t filled = 0;
  try {
    while (filled < buffer.size()) {
      if (plainOffset_ == plain_.size()) {
        if (finished_) break;
        if (!PullChunk()) return -1;
        continue;
      }
      const std::size_t count = std::min(buffer.size() - filled, plain_.size() - plainOffset_);
      std::copy_n(plain_.begin() + static_cast<std::ptrdiff_t>(plainOffset_), count,
                  buffer.begin() + static_cast<std::ptrdiff_t>(filled));
      plainOffset_ += count;
      filled += count;
    }
  } catch (const ESealError&) {
    fault_ = std::current_exception();
    return -1;
  }
  position_ += static_cast<std::int64_t>(filled);
  return static_cast<std::int64_t>(filled);
}

std::int64_t UnsealingStream::Seek(std::int64_t offset, SeekOrigin origin) {
  const std::int64_t target = origin == SeekOrigin::Begin ? offset : position_ + offset;
  return origin != SeekOrigin::End && target == position_ ? position_ : -1;
}

bool UnsealingStream::ReadToEnd() {
  RaiseFault();
  if (!unlocked_) throw std::logic_error("an encrypted container read before it was unlocked");
  for (;;) {
    position_ += static_cast<std::int64_t>(plain_.size() - plainOffset_);
    plainOffset_ = plain_.size();
    if (finished_) return true;
    if (!PullChunk()) return false;
  }
}

void UnsealingStream::RaiseFault() const {
  if (fault_) std::rethrow_exception(fault_);
}

}  // namespace kestravuna
