// LZRW1/KH codec: exact blocks for hand-checked inputs, agreement with a plain step-by-step
// model of the algorithm over varied data, round trips, and corrupt blocks.
#include "compress/lzrw1kh.h"
#include "test_support/bytes.h"

#include <gtest/gtest.h>
#include <memory>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestravuna {
namespace {

using test_support::Bytes;
using test_support::Concat;

Bytes Hex(std::string_view text) {
  Bytes out;
  int high = -1;
  for (char c : text) {
    int v;
    if (c >= '0' && c <= '9')
      v = c - '0';
    else if (c >= 'A' && c <= 'F')
      v = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f')
      v = c - 'a' + 10;
    else
      continue;
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<std::uint8_t>(high * 16 + v));
      high = -1;
    }
  }
  return out;
}

Bytes Text(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes Repeat(const Bytes& piece, std::size_t times) {
  Bytes out;
  for (std::size_t i = 0; i < times; ++i) out.insert(out.end(), piece.begin(), piece.end());
  return out;
}

Bytes Compress(const Bytes& source) {
  Bytes dest(source.size() + kLzrw1KhDestSlack);
  auto state = std::make_unique<Lzrw1KhState>();
  const std::size_t length = Lzrw1KhCompress(source, dest, *state);
  dest.resize(length);
  return dest;
}

std::optional<Bytes> Decompress(const Bytes& block, std::size_t capacity = kLzrw1KhMaxSource) {
  Bytes dest(capacity);
  const std::optional<std::size_t> produced = Lzrw1KhDecompress(block, dest);
  if (!produced) return std::nullopt;
  dest.resize(*produced);
  return dest;
}

// ---------------------------------------------------------------------------------------------
// The algorithm step by step, the way it is written down: byte compares, a 16-bit signed
// table, the control word that is never cleared, and a source readable 2 bytes past its end.

Bytes ModelCompress(const Bytes& input) {
  const std::size_t n = input.size();
  Bytes src = input;
  src.push_back(0x5A);  // the 2 readable bytes behind the source; their values must not matter
  src.push_back(0xA5);
  std::array<std::int16_t, 4096> table;
  table.fill(-1);
  Bytes dest{0x40};  // the flag of a compressed block
  dest.resize(n + 6);
  std::size_t x = 0, y = 3, z = 1, count = 0;
  std::uint16_t control = 0;
  auto index = [&](std::size_t at) {
    const std::uint32_t h = (((std::uint32_t{src[at]} << 4) ^ src[at + 1]) << 4) ^ src[at + 2];
    return ((40543u * h) >> 4) & 0x0FFF;
  };
  while (x < n && y <= n) {
    if (count == 16) {
      dest[z] = static_cast<std::uint8_t>(control >> 8);
      dest[z + 1] = static_cast<std::uint8_t>(control & 0xFF);
      z = y;
      y += 2;
      count = 0;
    }
    std::size_t size = 1;
    while (src[x + size] == src[x] && size < 4095 && x + size < n) ++size;
    if (size >= 16) {
      dest[y] = 0;
      dest[y + 1] = static_cast<std::uint8_t>((size - 16) >> 8);
      dest[y + 2] = static_cast<std::uint8_t>((size - 16) & 0xFF);
      dest[y + 3] = src[x];
      y += 4;
      x += size;
      control = static_cast<std::uint16_t>(control * 2 + 1);
    } else {
      // GetMatch
      const std::size_t slot = index(x);
      const int p = table[slot];
      bool found = false;
      std::size_t length = 0;
      if (p != -1 && static_cast<int>(x) - p < 4096) {
        while (length < 18 && src[x + length] == src[static_cast<std::size_t>(p) + length] &&
               x + length < n) {
          ++length;
        }
        found = length >= 3;
      }
      table[slot] = static_cast<std::int16_t>(x);
      if (found) {
        const std::size_t key = ((x - static_cast<std::size_t>(p)) << 4) + (length - 3);
        dest[y] = static_cast<std::uint8_t>(key >> 8);
        dest[y + 1] = static_cast<std::uint8_t>(key & 0xFF);
        y += 2;
        x += length;
        control = static_cast<std::uint16_t>(control * 2 + 1);
      } else {
        dest[y] = src[x];
        y += 1;
        x += 1;
        control = static_cast<std::uint16_t>(control * 2);
      }
    }
    ++count;
  }
  control = count == 0 ? 0 : static_cast<std::uint16_t>(control << (16 - count));
  dest[z] = static_cast<std::uint8_t>(control >> 8);
  dest[z + 1] = static_cast<std::uint8_t>(control & 0xFF);
  if (y > n) {
    std::copy(input.begin(), input.end(), dest.begin() + 1);
    dest[0] = 0x80;
    y = n + 1;
  }
  dest.resize(y);
  return dest;
}

// The decoder step by step, with a check before every read and write.
std::optional<Bytes> ModelDecompress(const Bytes& block, std::size_t capacity) {
  const std::size_t n = block.size();
  Bytes out;
  if (n < 2) return out;
  if (block[0] == 0x80) {
    if (n - 1 > capacity) return std::nullopt;
    return Bytes(block.begin() + 1, block.end());
  }
  if (n < 3) return out;
  std::size_t x = 3;
  std::uint16_t control = static_cast<std::uint16_t>(block[1] * 256 + block[2]);
  int bitsLeft = 16;
  while (x < n) {
    if (bitsLeft == 0) {
      if (x + 2 > n) return std::nullopt;
      control = static_cast<std::uint16_t>(block[x] * 256 + block[x + 1]);
      x += 2;
      bitsLeft = 16;
      if (x >= n) break;
    }
    if ((control & 0x8000) == 0) {
      if (out.size() + 1 > capacity) return std::nullopt;
      out.push_back(block[x]);
      x += 1;
    } else {
      if (x + 2 > n) return std::nullopt;
      const std::size_t offset = block[x] * 16u + (block[x + 1] >> 4);
      if (offset == 0) {
        if (x + 4 > n) return std::nullopt;
        const std::size_t count = block[x + 1] * 256u + block[x + 2] + 16;
        if (out.size() + count > capacity) return std::nullopt;
        out.insert(out.end(), count, block[x + 3]);
        x += 4;
      } else {
        const std::size_t count = (block[x + 1] & 0x0F) + 3u;
        if (offset > out.size() || out.size() + count > capacity) return std::nullopt;
        for (std::size_t k = 0; k < count; ++k) out.push_back(out[out.size() - offset]);
        x += 2;
      }
    }
    control = static_cast<std::uint16_t>(control << 1);
    --bitsLeft;
  }
  return out;
}

// ---------------------------------------------------------------------------------------------
// Exact blocks

struct ExactCase {
  const char* name;
  Bytes source;
  Bytes block;
};

std::vector<ExactCase> ExactCases() {
  const Bytes run4095 = Hex("00 0F EF 41");
  return {
      {"empty", {}, Hex("80")},
      {"one byte", Text("a"), Hex("80 61")},
      {"two bytes", Text("ab"), Hex("80 61 62")},
      {"three bytes", Text("abc"), Hex("80 61 62 63")},
      {"overlapping copy", Text("abcabcabcabc"), Hex("40 10 00 61 62 63 00 36")},
      {"as long as its source stays compressed", Text("aababbaabbabb"),
       Hex("40 03 00 61 61 62 61 62 62 00 60 00 71")},
      {"15 equal bytes are a literal and a copy", Bytes(15, 0x41), Hex("40 40 00 41 00 1B")},
      {"16 equal bytes are a run", Bytes(16, 0x41), Hex("40 80 00 00 00 00 41")},
      {"32768 equal bytes", Bytes(32768, 0x41),
       Concat({Hex("40 FF 40"), Repeat(run4095, 8), Hex("41 00 14")})},
      {"offset 4095 is allowed", Concat({Text("XYZ"), Bytes(4092, 'Q'), Text("XYZ!")}),
       Hex("40 18 00 58 59 5A 00 0F EC 51 FF F0 21")},
      {"offset 4096 is refused", Concat({Text("XYZ"), Bytes(4093, 'Q'), Text("XYZ!")}),
       Hex("40 10 00 58 59 5A 00 0F ED 51 58 59 5A 21")},
      {"match stops at the source end", Text("abcdefghabcdefgh"),
       Hex("40 00 80 61 62 63 64 65 66 67 68 00 85")},
      // 16 literals fill the first group; the 17th item opens a second control word.
      {"second control word",
       Concat({Text("ABCDEFGHIJKLMNOP"), Text("ABCDEFGHIJKLMNOP"), Text("ABCD")}),
       Concat({Hex("40 00 00"), Text("ABCDEFGHIJKLMNOP"), Hex("80 00 01 0F 43 44")})},
  };
}

TEST(Lzrw1KhCompress, GivesTheExactBlocks) {
  for (const ExactCase& c : ExactCases()) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Compress(c.source), c.block);
    EXPECT_EQ(ModelCompress(c.source), c.block);  // the model agrees with the hand-checked bytes
    EXPECT_EQ(Decompress(c.block), c.source);
  }
}

TEST(Lzrw1KhCompress, RandomBytesAreStored) {
  std::mt19937 random(200);
  Bytes source(200);
  for (auto& b : source) b = static_cast<std::uint8_t>(random());
  const Bytes block = Compress(source);
  ASSERT_EQ(block.size(), 201u);
  EXPECT_EQ(block[0], 0x80);
  EXPECT_TRUE(std::equal(source.begin(), source.end(), block.begin() + 1));
}

TEST(Lzrw1KhCompress, BytesBehindTheSourceDoNotMatter) {
  // The pattern goes on behind the 16 bytes given; the copy still ends at the source end.
  const Bytes longer = Text("abcdefghabcdefghabcdefgh");
  Bytes dest(16 + kLzrw1KhDestSlack);
  auto state = std::make_unique<Lzrw1KhState>();
  const std::size_t length = Lzrw1KhCompress(std::span(longer).first(16), dest, *state);
  dest.resize(length);
  EXPECT_EQ(dest, Hex("40 00 80 61 62 63 64 65 66 67 68 00 85"));
}

TEST(Lzrw1KhCompress, RefusesWhatTheFormatCannotHold) {
  Bytes big(kLzrw1KhMaxSource + 1);
  Bytes dest(big.size() + kLzrw1KhDestSlack);
  auto state = std::make_unique<Lzrw1KhState>();
  EXPECT_THROW(Lzrw1KhCompress(big, dest, *state), std::invalid_argument);
  Bytes small(10);
  Bytes tight(10 + kLzrw1KhDestSlack - 1);
  EXPECT_THROW(Lzrw1KhCompress(small, tight, *state), std::invalid_argument);
}

// ---------------------------------------------------------------------------------------------
// Agreement with the model and round trips over varied data

enum class Kind { kRandom, kText, kRuns, kSmallAlphabet, kShortPeriods, kMixed };

Bytes Generate(Kind kind, std::size_t size, std::mt19937& random) {
  static const char* const kWords[] = {"der ",   "die ", "das ",    "Kestravuna ", "CHIFF.CRY ",
                                       "Datei ", "\n",   "Ordner ", "und ",        "0123456789 "};
  Bytes out;
  out.reserve(size + 64);
  while (out.size() < size) {
    Kind k = kind;
    if (kind == Kind::kMixed) k = static_cast<Kind>(random() % 5);
    switch (k) {
      case Kind::kRandom:
        for (int i = 0; i < 37; ++i) out.push_back(static_cast<std::uint8_t>(random()));
        break;
      case Kind::kText: {
        const char* word = kWords[random() % std::size(kWords)];
        out.insert(out.end(), word, word + std::strlen(word));
        break;
      }
      case Kind::kRuns:
        out.insert(out.end(), random() % 40 + 1, static_cast<std::uint8_t>(random() % 4));
        break;
      case Kind::kSmallAlphabet:
        for (int i = 0; i < 20; ++i) out.push_back(static_cast<std::uint8_t>('a' + random() % 3));
        break;
      case Kind::kShortPeriods: {
        const std::size_t period = random() % 9 + 1;
        const std::size_t start = out.size();
        for (std::size_t i = 0; i < period; ++i) out.push_back(static_cast<std::uint8_t>(random()));
        for (std::size_t i = 0; i < random() % 60; ++i) out.push_back(out[start + i % period]);
        break;
      }
      case Kind::kMixed:
        break;
    }
  }
  out.resize(size);
  return out;
}

TEST(Lzrw1KhCompress, AgreesWithTheModelAndRoundTrips) {
  std::mt19937 random(4242);
  std::vector<std::size_t> sizes = {0,  1,  2,  3,   4,    5,    15,   16,   17,    18,    19,
                                    31, 32, 33, 100, 4095, 4096, 4097, 8191, 16384, 32767, 32768};
  for (int i = 0; i < 30; ++i) sizes.push_back(random() % 32769);
  for (Kind kind : {Kind::kRandom, Kind::kText, Kind::kRuns, Kind::kSmallAlphabet,
                    Kind::kShortPeriods, Kind::kMixed}) {
    for (std::size_t size : sizes) {
      SCOPED_TRACE(testing::Message() << "kind " << static_cast<int>(kind) << ", size " << size);
      const Bytes source = Generate(kind, size, random);
      const Bytes block = Compress(source);
      ASSERT_EQ(block, ModelCompress(source));
      ASSERT_LE(block.size(), size + 1);
      ASSERT_EQ(Decompress(block), source);
    }
  }
}

TEST(Lzrw1KhCompress, EachCallStartsWithAnEmptyTable) {
  // The same source gives the same block whatever was compressed before.
  std::mt19937 random(7);
  const Bytes source = Generate(Kind::kMixed, 5000, random);
  const Bytes first = Compress(source);
  Compress(Generate(Kind::kText, 32768, random));
  EXPECT_EQ(Compress(source), first);
}

TEST(Lzrw1KhDecompress, RoundTripsIntoAnExactDestination) {
  // A destination exactly as long as the output leaves the decoder no room for wide copies.
  std::mt19937 random(99);
  for (Kind kind : {Kind::kText, Kind::kRuns, Kind::kShortPeriods, Kind::kMixed}) {
    for (std::size_t size : {20u, 100u, 1000u, 32768u}) {
      const Bytes source = Generate(kind, size, random);
      EXPECT_EQ(Decompress(Compress(source), size), source);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Corrupt and unusual blocks

struct DecodeCase {
  const char* name;
  Bytes block;
  std::size_t capacity;
  std::optional<Bytes> expected;  // nullopt: refused
};

TEST(Lzrw1KhDecompress, HandlesEveryBlockShape) {
  const std::vector<DecodeCase> cases = {
      {"empty block", {}, 100, Bytes{}},
      {"flag alone", Hex("80"), 100, Bytes{}},
      {"compressed flag alone", Hex("40"), 100, Bytes{}},
      {"compressed flag and half a control word", Hex("40 00"), 100, Bytes{}},
      {"control word without items", Hex("40 00 00"), 100, Bytes{}},
      {"stored", Hex("80 61 62"), 100, Text("ab")},
      {"stored exactly filling the destination", Hex("80 61 62"), 2, Text("ab")},
      {"stored beyond the destination", Hex("80 61 62"), 1, std::nullopt},
      {"any other flag is compressed", Hex("00 00 00 61"), 100, Text("a")},
      {"run of the largest encodable count", Hex("40 80 00 00 0F FF 41"), 32768, Bytes(4111, 0x41)},
      {"run beyond the destination", Hex("40 80 00 00 00 00 41"), 15, std::nullopt},
      {"copy exactly filling the destination", Hex("40 40 00 41 00 1B"), 15, Bytes(15, 0x41)},
      {"copy beyond the destination", Hex("40 40 00 41 00 1B"), 14, std::nullopt},
      {"literal beyond the destination", Hex("40 00 00 61 62"), 1, std::nullopt},
      {"copy before the start", Hex("40 80 00 00 10"), 100, std::nullopt},
      {"copy reaching one byte too far back", Hex("40 40 00 61 00 20"), 100, std::nullopt},
      {"copy from offset 4095 at the start", Hex("40 80 00 FF F0"), 100, std::nullopt},
      {"copy cut off", Hex("40 80 00 00"), 100, std::nullopt},
      {"run cut off after its count", Hex("40 80 00 00 00 00"), 100, std::nullopt},
      {"run cut off after its first byte", Hex("40 80 00 00 00"), 100, std::nullopt},
      {"second control word cut in half", Concat({Hex("40 00 00"), Bytes(16, 0x61), Hex("00")}),
       100, std::nullopt},
      {"second control word without items",
       Concat({Hex("40 00 00"), Bytes(16, 0x61), Hex("FF FF")}), 100, Bytes(16, 0x61)},
      {"trailing control bits past the block end", Hex("40 00 01 61"), 100, Text("a")},
  };
  for (const DecodeCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Decompress(c.block, c.capacity), c.expected);
    EXPECT_EQ(ModelDecompress(c.block, c.capacity), c.expected);
  }
}

TEST(Lzrw1KhDecompress, ArbitraryBytesAgreeWithTheCheckedModel) {
  // Random blocks built mostly from valid-looking items, decoded into destinations of every
  // kind of size; the vectors are exactly as large as given, so a sanitizer build catches any
  // access outside them.
  std::mt19937 random(1234);
  for (int round = 0; round < 3000; ++round) {
    Bytes block;
    block.push_back(random() % 4 == 0 ? static_cast<std::uint8_t>(random()) : 0x40);
    const std::size_t groups = random() % 6 + 1;
    for (std::size_t g = 0; g < groups; ++g) {
      block.push_back(static_cast<std::uint8_t>(random()));
      block.push_back(static_cast<std::uint8_t>(random()));
      for (int item = 0; item < 16; ++item) {
        const std::size_t bytes = random() % 3 == 0 ? 1 : (random() % 5 == 0 ? 4 : 2);
        for (std::size_t k = 0; k < bytes; ++k) {
          std::uint8_t b = static_cast<std::uint8_t>(random());
          if (k == 0 && bytes == 4) b = 0;      // a run's zero byte
          if (k == 1 && bytes == 4) b &= 0x01;  // keep run counts small
          if (k == 0 && bytes == 2) b &= 0x03;  // offsets up to 63
          block.push_back(b);
        }
      }
    }
    block.resize(random() % (block.size() + 1));
    const std::size_t capacity = random() % 4 == 0 ? 32768 : random() % 700;
    SCOPED_TRACE(testing::Message() << "round " << round);
    ASSERT_EQ(Decompress(block, capacity), ModelDecompress(block, capacity));
  }
}

}  // namespace
}  // namespace kestravuna
