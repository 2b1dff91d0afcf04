// The encrypted container: what comes back, the key check, and every kind of damage or
// alteration ending in the container's error before a byte of the changed part is handed on.
#include <gtest/gtest.h>
#include <sodium.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "compress/byte_stream.h"
#include "platform/byte_order.h"
#include "seal/sealed_container.h"
#include "test_support/bytes.h"

namespace kestravuna {
namespace {

using test_support::Bytes;
using test_support::BytesOf;
using test_support::RandomBytes;

// Cheap costs keep the tests fast; the container stores them, so the reader uses them as well.
constexpr SealCosts kTestCosts{1, 8 * 1024};
constexpr SealSalt kSalt{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
constexpr std::size_t kFirstChunkAt = kSealHeaderSize + kSealTagSize;
constexpr std::size_t kSealedChunk = kSealChunkSize + kSealTagSize;

std::string Hex(std::span<const std::uint8_t> bytes) {
  std::string hex;
  for (const std::uint8_t byte : bytes) {
    hex += "0123456789abcdef"[byte >> 4];
    hex += "0123456789abcdef"[byte & 15];
  }
  return hex;
}

Bytes Seal(const Bytes& plain, const SealKey& key) {
  MemoryStream sealed;
  SealingStream sealing(sealed, key);
  EXPECT_EQ(sealing.Write(plain), static_cast<std::int64_t>(plain.size()));
  EXPECT_TRUE(sealing.Finish());
  return sealed.Data();
}

struct Opened {
  bool unlocked = false;
  Bytes plain;
};

// Reads `sealed` back as a restore does: header, key check, every byte, the end. Raises the
// container's error.
Opened Unseal(const Bytes& sealed, std::string_view password) {
  MemoryStream source(sealed);
  const SealHeader header = ReadSealHeader(source);
  const SealKey key = SealKey::ForContainer(password, header);
  UnsealingStream unsealing(source, header, key);
  Opened opened;
  opened.unlocked = unsealing.Unlock();
  if (!opened.unlocked) return opened;
  Bytes buffer(5000);  // not a divisor of the chunk size
  for (std::int64_t got = 0; (got = unsealing.Read(buffer)) > 0;) {
    opened.plain.insert(opened.plain.end(), buffer.begin(), buffer.begin() + got);
  }
  unsealing.RaiseFault();
  EXPECT_TRUE(unsealing.ReadToEnd());
  return opened;
}

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const ESealError& error) {
    return error.what();
  }
  return "no error";
}

// The header's check value made anew after a deliberate change, as a forger would.
void RenewHeaderCheck(Bytes& sealed) {
  crypto_generichash(&sealed[60], 16, sealed.data(), 60, nullptr, 0);
}

class SealedContainerTest : public testing::Test {
 protected:
  const SealKey key_{"Kennwort", kTestCosts, kSalt};
};

// The same password, salt and costs give the same key wherever the program runs, so a folder
// encrypted on one system opens on the other. The value was taken from the Linux build.
TEST(SealKeyTest, TheKeyIsTheSameOnEverySystem) {
  EXPECT_EQ(Hex(SealKey("Kennwort", {2, 1024}, kSalt).Bytes()),
            "62237b896e8ca6fcc87f2466ce3dc02bce6c12903a8b13dc855b5cff59c322c5");
  EXPECT_EQ(Hex(SealKey("P\xC3\xA4sswort\xE2\x82\xAC", {2, 1024}, kSalt).Bytes()),
            "792b28d624d6a9d22d3a41a8ed6190a6f6790c20c8d5f7df5e25f489c5028c82");
}

TEST(SealKeyTest, NewContainersGetTheirOwnSaltAndThePresentCosts) {
  const SealKey first = SealKey::ForNewContainer("Kennwort");
  const SealKey second = SealKey::ForNewContainer("Kennwort");
  EXPECT_NE(first.Salt(), second.Salt());
  EXPECT_NE(Hex(first.Bytes()), Hex(second.Bytes()));
  EXPECT_EQ(first.Costs().passes, kSealCosts.passes);
  EXPECT_EQ(first.Costs().memoryKiB, kSealCosts.memoryKiB);
}

// Sizes around the chunk boundaries: the final chunk may be empty, partial or follow a full one.
TEST_F(SealedContainerTest, EverySizeComesBackWhole) {
  for (const std::size_t size : {std::size_t{0}, std::size_t{1}, kSealChunkSize - 1, kSealChunkSize,
                                 kSealChunkSize + 1, 3 * kSealChunkSize + 5}) {
    const Bytes plain = RandomBytes(size, static_cast<std::uint32_t>(size));
    const Bytes sealed = Seal(plain, key_);
    const std::size_t chunks = size / kSealChunkSize + 1;
    EXPECT_EQ(sealed.size(), kFirstChunkAt + size + chunks * kSealTagSize) << size;
    const Opened opened = Unseal(sealed, "Kennwort");
    EXPECT_TRUE(opened.unlocked) << size;
    EXPECT_EQ(opened.plain, plain) << size;
  }
}

TEST_F(SealedContainerTest, TheHeaderStoresWhatTheReaderNeeds) {
  const Bytes sealed = Seal(BytesOf("Inhalt"), key_);
  EXPECT_EQ(Bytes(sealed.begin(), sealed.begin() + 8), (Bytes{'K', 'V', 'S', 'E', 'A', 'L', 1, 0}));
  MemoryStream source(sealed);
  const SealHeader header = ReadSealHeader(source);
  EXPECT_EQ(header.costs.passes, kTestCosts.passes);
  EXPECT_EQ(header.costs.memoryKiB, kTestCosts.memoryKiB);
  EXPECT_EQ(header.chunkSize, kSealChunkSize);
  EXPECT_EQ(header.salt, kSalt);
}

// Nothing of the contents shows: a text that repeats through the plaintext is nowhere in the
// container, nor any 8 bytes of the plaintext at all.
TEST_F(SealedContainerTest, NoPlaintextShows) {
  Bytes plain;
  for (int i = 0; i < 3000; ++i) {
    const Bytes line = BytesOf("Geheimer Name.txt Kontostand ");
    plain.insert(plain.end(), line.begin(), line.end());
  }
  const Bytes sealed = Seal(plain, key_);
  for (std::size_t at = 0; at + 8 <= plain.size(); at += 29) {
    ASSERT_EQ(std::search(sealed.begin(), sealed.end(), plain.begin() + at, plain.begin() + at + 8),
              sealed.end())
        << at;
  }
}

TEST_F(SealedContainerTest, AWrongPasswordDoesNotUnlock) {
  const Bytes sealed = Seal(BytesOf("Inhalt"), key_);
  for (const char* wrong : {"kennwort", "Kennwort ", "Kennwor", "xKennwort", ""}) {
    EXPECT_FALSE(Unseal(sealed, wrong).unlocked) << wrong;
  }
}

// Each change of a sealed container, by accident or on purpose, ends in the container's error
// (or, where only a key could tell, in a refused key): never in other contents.
TEST_F(SealedContainerTest, EveryDamageOrAlterationIsFound) {
  const Bytes plain = RandomBytes(3 * kSealChunkSize + 100);
  const Bytes sound = Seal(plain, key_);
  const std::size_t last = kFirstChunkAt + 3 * kSealedChunk;
  const std::string damaged = "Der verschlüsselte Container ist beschädigt oder wurde verändert: ";
  struct Case {
    const char* what;
    std::function<void(Bytes&)> change;
    std::string error;  // empty: the key check fails as for a wrong password
  };
  const Case cases[] = {
      {"a flipped bit in the salt", [](Bytes& c) { c[25] ^= 1; },
       damaged + "sein Kopf stimmt nicht mit seiner Prüfsumme überein."},
      {"a flipped bit in the stream header", [](Bytes& c) { c[40] ^= 0x80; },
       damaged + "sein Kopf stimmt nicht mit seiner Prüfsumme überein."},
      {"a changed salt with its check made anew",
       [](Bytes& c) {
         c[25] ^= 1;
         RenewHeaderCheck(c);
       },
       ""},
      {"an unknown version",
       [](Bytes& c) {
         c[6] = 2;
         RenewHeaderCheck(c);
       },
       "Der Container ist mit der Formatversion 2 verschlüsselt, die dieses Programm nicht "
       "kennt."},
      {"costs beyond reason",
       [](Bytes& c) {
         platform::StoreLe32(std::span(c).subspan<12, 4>(), 0xFFFFFFFF);
         RenewHeaderCheck(c);
       },
       damaged + "sein Kopf nennt unmögliche Werte."},
      {"a chunk size of zero",
       [](Bytes& c) {
         platform::StoreLe32(std::span(c).subspan<16, 4>(), 0);
         RenewHeaderCheck(c);
       },
       damaged + "sein Kopf nennt unmögliche Werte."},
      {"a flipped bit in the key check", [](Bytes& c) { c[kSealHeaderSize + 3] ^= 4; }, ""},
      {"a flipped bit in the first chunk", [](Bytes& c) { c[kFirstChunkAt + 10] ^= 1; },
       damaged + "Block 1 ist nicht echt."},
      {"a flipped bit in the last chunk's tag", [&](Bytes& c) { c.back() ^= 1; },
       damaged + "Block 4 ist nicht echt."},
      {"two chunks swapped",
       [](Bytes& c) {
         std::swap_ranges(c.begin() + kFirstChunkAt, c.begin() + kFirstChunkAt + kSealedChunk,
                          c.begin() + kFirstChunkAt + kSealedChunk);
       },
       damaged + "Block 1 ist nicht echt."},
      {"a chunk repeated",
       [](Bytes& c) {
         c.insert(c.begin() + kFirstChunkAt + kSealedChunk, c.begin() + kFirstChunkAt,
                  c.begin() + kFirstChunkAt + kSealedChunk);
       },
       damaged + "Block 2 ist nicht echt."},
      {"cut at a chunk boundary", [&](Bytes& c) { c.resize(last); },
       damaged + "er endet vor seinem letzten Block."},
      {"cut within the last chunk", [&](Bytes& c) { c.resize(last + 50); },
       damaged + "Block 4 ist nicht echt."},
      {"the final chunk dropped behind a full one", [&](Bytes& c) { c.erase(c.begin() + last); },
       damaged + "Block 4 ist nicht echt."},
      {"a byte appended", [](Bytes& c) { c.push_back(0); }, damaged + "Block 4 ist nicht echt."},
      {"cut within the header", [](Bytes& c) { c.resize(50); },
       damaged + "er endet in seinem Kopf."},
      {"cut before the key check ends", [](Bytes& c) { c.resize(kSealHeaderSize + 5); },
       damaged + "er endet vor dem Ende seines Kopfes."},
      {"another identifier", [](Bytes& c) { c[0] = 'X'; },
       "Die Datei ist kein verschlüsselter Container."},
  };
  for (const Case& c : cases) {
    Bytes changed = sound;
    c.change(changed);
    if (c.error.empty()) {
      EXPECT_FALSE(Unseal(changed, "Kennwort").unlocked) << c.what;
    } else {
      EXPECT_EQ(ErrorOf([&] { Unseal(changed, "Kennwort"); }), c.error) << c.what;
    }
  }
}

// What a reader takes before a damaged chunk is only what authenticated: the bytes of the sound
// chunks before it, never a byte of the damaged one. (Reads of a size that divides the chunk, so
// that no read spans the damage.)
TEST_F(SealedContainerTest, NothingOfADamagedChunkIsHandedOn) {
  const Bytes plain = RandomBytes(2 * kSealChunkSize + 7);
  Bytes sealed = Seal(plain, key_);
  sealed[kFirstChunkAt + kSealedChunk + 100] ^= 1;  // inside the second chunk
  MemoryStream source(sealed);
  const SealHeader header = ReadSealHeader(source);
  const SealKey key = SealKey::ForContainer("Kennwort", header);
  UnsealingStream unsealing(source, header, key);
  ASSERT_TRUE(unsealing.Unlock());
  Bytes buffer(4096);
  std::int64_t handedOn = 0;
  for (std::int64_t got = 0; (got = unsealing.Read(buffer)) > 0;) handedOn += got;
  EXPECT_EQ(handedOn, static_cast<std::int64_t>(kSealChunkSize));
  EXPECT_THROW(unsealing.RaiseFault(), ESealError);
}

// A destination that refuses a write makes the stream's writes short from then on, as the
// compressor expects of a failed write, and Finish reports it.
TEST_F(SealedContainerTest, ARefusedWriteIsAShortWrite) {
  MemoryStream cramped(kSealHeaderSize + kSealTagSize + 10);
  SealingStream sealing(cramped, key_);
  const Bytes plain = RandomBytes(kSealChunkSize + 1);
  EXPECT_LT(sealing.Write(plain), static_cast<std::int64_t>(plain.size()));
  EXPECT_EQ(sealing.Write(BytesOf("mehr")), 0);
  EXPECT_FALSE(sealing.Finish());
}

}  // namespace
}  // namespace kestravuna
