// The encrypted container: a whole legacy container (container_format.h) enciphered under a key
// derived from the password, so that nobody without the password reads a byte of it, names and
// sizes of the archive inside included. Only the container's own size and times stay visible.
//
//   offset size  content (integers little-endian)
//     0      6   identifier "KVSEAL": neither a legacy container's identifier nor the beginning
//                of an archive, so a program that knows only those stops before it changes
//                anything
//     6      2   format version, 1
//     8      4   Argon2id passes (crypto_pwhash opslimit)
//    12      4   Argon2id memory in KiB (crypto_pwhash memlimit / 1024)
//    16      4   plaintext bytes per chunk
//    20     16   salt, random for each container
//    36     24   header of the XChaCha20-Poly1305 secret stream
//    60     16   BLAKE2b-128 of bytes 0..59: tells a damaged header from a wrong password
//    76     17   the key check: the empty message, its additional data the 76 bytes above; the
//                password opens the container exactly when it authenticates
//    93      -   the chunks of the legacy container, each chunk-size bytes but the last (0 up
//                to chunk-size bytes), each followed by its 17-byte tag; the last is tagged final,
//                so a container cut at a chunk boundary is told apart from a whole one
//
// Every chunk is authenticated before a byte of it is handed on; chunks cannot be reordered,
// dropped or repeated without the stream noticing.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "compress/byte_stream.h"

namespace kestravuna {

inline constexpr std::size_t kSealHeaderSize = 76;
inline constexpr std::size_t kSealTagSize = 17;  // what each chunk grows by
inline constexpr std::size_t kSealSaltSize = 16;
inline constexpr std::uint16_t kSealVersion = 1;

// The bytes every encrypted container begins with.
std::span<const std::uint8_t> SealIdentifier();
// Whether `bytes` begin with the identifier, or are all a beginning of it (a file cut short).
bool BeginsLikeSealedContainer(std::span<const std::uint8_t> bytes);

// A container that is damaged or was altered: the header, a chunk, the end.
class ESealError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What the key derivation costs: Argon2id passes and memory.
struct SealCosts {
  std::uint32_t passes;
  std::uint32_t memoryKiB;
};
// New containers' costs: about half a second and 128 MiB on a present-day machine. Stored in
// each container, so they may rise without breaking older ones.
inline constexpr SealCosts kSealCosts{3, 128 * 1024};
inline constexpr std::size_t kSealChunkSize = 64 * 1024;

using SealSalt = std::array<std::uint8_t, kSealSaltSize>;

// The header of an encrypted container as read: its checks passed, its values in range.
struct SealHeader {
  SealCosts costs{};
  std::uint32_t chunkSize = 0;
  SealSalt salt{};
  std::array<std::uint8_t, kSealHeaderSize> bytes{};  // as stored, for the key check
};

// Reads and checks the header at the stream's position. ESealError when it is damaged, cut short
// or of a version this program does not know; the stream is then somewhere within it.
SealHeader ReadSealHeader(ByteStream& source);

// Overwrites a password's bytes with zeros once it is no longer needed, in a way the compiler
// keeps. Copies the caller does not hold (a window toolkit's own) are beyond its reach.
void WipeSecret(std::span<std::uint8_t> bytes) noexcept;
void WipeSecret(std::string& text) noexcept;

// Wipes the text when it goes.
class WipedOnExit {
 public:
  explicit WipedOnExit(std::string& text) noexcept : text_(text) {}
  ~WipedOnExit() { WipeSecret(text_); }
  WipedOnExit(const WipedOnExit&) = delete;
  WipedOnExit& operator=(const WipedOnExit&) = delete;

 private:
  std::string& text_;
};

// A key derived from a password with Argon2id. It lives in memory the system keeps out of swap
// where it can, and is wiped when the key goes. The derivation's own working memory is released
// before the constructor returns.
class SealKey {
 public:
  // The key of a new container: a fresh random salt, the program's present costs.
  static SealKey ForNewContainer(std::string_view password);
  // The key of the container whose header is `header`.
  static SealKey ForContainer(std::string_view password, const SealHeader& header);
  // Raises std::bad_alloc when the system cannot give the derivation its memory.
  SealKey(std::string_view password, const SealCosts& costs, const SealSalt& salt);
  ~SealKey();
  SealKey(SealKey&& other) noexcept;
  SealKey& operator=(SealKey&&) = delete;
  SealKey(const SealKey&) = delete;
  SealKey& operator=(const SealKey&) = delete;

  const SealCosts& Costs() const noexcept { return costs_; }
  const SealSalt& Salt() const noexcept { return salt_; }
  std::span<const std::uint8_t> Bytes() const noexcept;

 private:
  struct Secret;
  std::unique_ptr<Secret> secret_;
  SealCosts costs_;
  SealSalt salt_;
};

// Enciphers what it is given into `destination` as an encrypted container under `key`: the header
// goes out with the first write, a chunk whenever one is full, the last at Finish. A write the
// destination refuses is a short write, as the compressor expects of its streams.
class SealingStream final : public ByteStream {
 public:
  SealingStream(ByteStream& destination, const SealKey& key);
  ~SealingStream() override;
  SealingStream(const SealingStream&) = delete;
  SealingStream& operator=(const SealingStream&) = delete;

  std::int64_t Read(std::span<std::uint8_t>) override { return -1; }
  std::int64_t Write(std::span<const std::uint8_t> data) override;
  // Only where it stands: the end of what was written.
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
  std::int64_t Size() override { return written_; }
  // Writes the last chunk, tagged final; false when the destination refused a write.
  bool Finish();

 private:
  struct State;
  bool Begin();
  bool PushChunk(bool final);

  ByteStream& destination_;
  const SealKey& key_;
  std::unique_ptr<State> state_;
  std::vector<std::uint8_t> chunk_;
  std::vector<std::uint8_t> sealed_;
  std::int64_t written_ = 0;
  bool begun_ = false;
  bool failed_ = false;
};

// Reads an encrypted container from `source`, whose header has been read already, handing on
// the legacy container inside as each chunk authenticates. A fault is kept and Read returns -1,
// so that the compressor stops; RaiseFault then raises it.
class UnsealingStream final : public ByteStream {
 public:
  UnsealingStream(ByteStream& source, const SealHeader& header, const SealKey& key);
  ~UnsealingStream() override;
  UnsealingStream(const UnsealingStream&) = delete;
  UnsealingStream& operator=(const UnsealingStream&) = delete;

  // Reads the key check: true when the key opens the container. ESealError when the container
  // ends before it; false for a wrong password, or a header changed on purpose together with its
  // check value, which no key can tell apart.
  bool Unlock();

  std::int64_t Read(std::span<std::uint8_t> buffer) override;
  std::int64_t Write(std::span<const std::uint8_t>) override { return -1; }
  // Only where it stands.
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
  // The bytes handed on so far, and those ReadToEnd read past: the whole size is known only at
  // the final chunk.
  std::int64_t Size() override { return position_; }

  // Reads on to the end, past what the reader took, and checks that the container ends with its
  // final chunk and nothing behind it. ESealError otherwise; false when the source failed.
  [[nodiscard]] bool ReadToEnd();
  // The fault that made a Read fail, if any.
  void RaiseFault() const;

 private:
  struct State;
  // Reads and authenticates the next chunk; ESealError when it is not sound, false when the
  // source failed.
  bool PullChunk();

  ByteStream& source_;
  SealHeader header_;
  std::unique_ptr<State> state_;
  std::vector<std::uint8_t> sealed_;
  std::vector<std::uint8_t> plain_;
  std::size_t plainOffset_ = 0;
  std::int64_t position_ = 0;
  std::uint64_t chunkNumber_ = 0;
  bool unlocked_ = false;
  bool finished_ = false;
  std::exception_ptr fault_;
};

}  // namespace kestravuna
