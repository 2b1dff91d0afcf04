#include "compress/lzh_codec.h"
#include "test_support/bytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestravuna {
namespace {

using test_support::Bytes;
using test_support::Fnv1a;
using test_support::RandomBytes;

Bytes FromText(std::string_view text) { return Bytes(text.begin(), text.end()); }

struct Encoded {
  Bytes stream;
  std::int32_t bytesRead = -1;
};

Encoded Encode(std::span<const std::uint8_t> input) {
  Encoded result;
  std::size_t next = 0;
  LzhEncode(
      result.bytesRead,
      [&](std::uint8_t& byte) {
        if (next == input.size()) return false;
        byte = input[next++];
        return true;
      },
      [&](std::uint8_t byte) { result.stream.push_back(byte); });
  return result;
}

struct Decoded {
  Bytes output;
  std::uint64_t usedBits = 0;
  std::size_t delivered = 0;  // bytes the read callback actually handed out
  std::size_t readCalls = 0;
};

Decoded Decode(std::span<const std::uint8_t> stream, std::int32_t size) {
  Decoded result;
  result.usedBits = LzhDecode(
      size,
      [&](std::uint8_t& byte) {
        ++result.readCalls;
        if (result.delivered == stream.size()) return false;
        byte = stream[result.delivered++];
        return true;
      },
      [&](std::uint8_t byte) { result.output.push_back(byte); });
  return result;
}

// ---------------------------------------------------------------------------------------------
// Test inputs

// Words, numbers, random binary stretches and runs: long enough to take the Huffman model
// through several rebuilds and the window through many turns.
Bytes MixedInput(std::size_t size, std::uint32_t seed) {
  static constexpr std::string_view kWords[] = {
      "Datei ",           "Ordner ", "Kodierung ", "läuft", "...\n",  "static_cast<int>(",
      "0x20, ",           "return ", "{\n  ",      "}\n",   "Größe ", "#include <vector>\n",
      "Wiederherstellen "};
  std::mt19937 random(seed);
  Bytes bytes;
  while (bytes.size() < size) {
    switch (random() % 8) {
      case 0: {
        const std::size_t length = random() % 300;
        for (std::size_t i = 0; i < length; ++i)
          bytes.push_back(static_cast<std::uint8_t>(random()));
        break;
      }
      case 1: {
        // Drawn one after the other: the order of evaluation of arguments varies by compiler,
        // and the pinned streams below need the same input everywhere.
        const auto byte = static_cast<std::uint8_t>(random());
        bytes.insert(bytes.end(), random() % 200, byte);
        break;
      }
      case 2: {
        const std::string number = std::to_string(random());
        bytes.insert(bytes.end(), number.begin(), number.end());
        break;
      }
      default: {
        const auto word = kWords[random() % std::size(kWords)];
        bytes.insert(bytes.end(), word.begin(), word.end());
      }
    }
  }
  bytes.resize(size);
  return bytes;
}

// A byte pattern repeated with a period shorter than the matches that copy it.
Bytes Run(std::size_t size, std::size_t period) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>('A' + i % period);
  return bytes;
}

// ---------------------------------------------------------------------------------------------
// Streams of known bytes

struct KnownStream {
  const char* name;
  Bytes input;
  Bytes stream;
};

// Test names show the case by its name rather than as raw bytes.
void PrintTo(const KnownStream& c, std::ostream* out) { *out << c.name; }

class LzhKnownStream : public testing::TestWithParam<KnownStream> {};

TEST_P(LzhKnownStream, EncodesToTheExactBytesAndBack) {
  const auto& [name, input, stream] = GetParam();
  const Encoded encoded = Encode(input);
  EXPECT_EQ(encoded.stream, stream);
  EXPECT_EQ(encoded.bytesRead, static_cast<std::int32_t>(input.size()));

  const Decoded decoded = Decode(stream, static_cast<std::int32_t>(input.size()));
  EXPECT_EQ(decoded.output, input);
}

INSTANTIATE_TEST_SUITE_P(
    Lzh, LzhKnownStream,
    testing::Values(
        // Three literals of 9 bits each, then 5 zero bits of padding.
        KnownStream{"ThreeLiterals", FromText("abc"), {0xF6, 0xFB, 0xBD, 0xE0}},
        // A literal, then a match of 19 bytes at position 0 that copies its own output.
        KnownStream{"RunOfTwenty", Bytes(20, 'a'), {0xF6, 0xCE, 0x00, 0x00}},
        // The leading blanks match the blanks the window starts with.
        KnownStream{"BlanksMatchInitialWindow",
                    FromText("    abcabcabcabc"),
                    {0x8D, 0x00, 0x7B, 0x7D, 0xDE, 0xF9, 0x20, 0x10}}),
    [](const auto& testInfo) { return testInfo.param.name; });

// The position prefix code, at the first value of each group of code lengths and the last.
TEST(LzhPositionCode, MatchesTheCanonicalPrefixCode) {
  struct Case {
    int upper;
    int length;
    int code;
  };
  constexpr Case kCases[] = {{0, 3, 0x00},  {1, 4, 0x20},  {3, 4, 0x40},  {4, 5, 0x50},
                             {11, 5, 0x88}, {12, 6, 0x90}, {24, 7, 0xC0}, {47, 7, 0xEE},
                             {48, 8, 0xF0}, {63, 8, 0xFF}};
  const auto& tables = lzh_detail::kPositionTables;
  for (const auto& [upper, length, code] : kCases) {
    SCOPED_TRACE(upper);
    EXPECT_EQ(tables.length[upper], length);
    EXPECT_EQ(tables.code[upper], code);
    // Every 8-bit value starting with the code maps back to it.
    for (int low = 0; low < 1 << (8 - length); ++low) {
      EXPECT_EQ(tables.upper[code + low], upper);
      EXPECT_EQ(tables.lengthOf[code + low], length);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Round trips

struct RoundTripCase {
  const char* name;
  Bytes input;
};

void PrintTo(const RoundTripCase& c, std::ostream* out) { *out << c.name; }

class LzhRoundTrip : public testing::TestWithParam<RoundTripCase> {};

TEST_P(LzhRoundTrip, DecodesToTheInput) {
  const Bytes& input = GetParam().input;
  const auto size = static_cast<std::int32_t>(input.size());
  const Encoded encoded = Encode(input);
  EXPECT_EQ(encoded.bytesRead, size);

  const Decoded decoded = Decode(encoded.stream, size);
  EXPECT_EQ(decoded.output, input);
  // A complete stream: every bit the decoder used was delivered, and the last byte holds at
  // least one of them (the padding is shorter than a byte).
  EXPECT_LE(decoded.usedBits, 8 * encoded.stream.size());
  EXPECT_GT(decoded.usedBits, 8 * (encoded.stream.size() - 1));
}

INSTANTIATE_TEST_SUITE_P(
    Lzh, LzhRoundTrip,
    testing::Values(RoundTripCase{"OneByte", FromText("x")},
                    RoundTripCase{"ShorterThanLookAhead", RandomBytes(59, 1)},
                    RoundTripCase{"LookAhead", RandomBytes(60, 2)},
                    RoundTripCase{"LongerThanLookAhead", RandomBytes(61, 3)},
                    RoundTripCase{"WindowMinusOne", MixedInput(4095, 4)},
                    RoundTripCase{"Window", MixedInput(4096, 5)},
                    RoundTripCase{"WindowPlusOne", MixedInput(4097, 6)},
                    RoundTripCase{"SeveralWindows", MixedInput(12345, 7)},
                    RoundTripCase{"Incompressible", RandomBytes(20000, 8)},
                    RoundTripCase{"RunOfOneByte", Bytes(10000, 0x00)},
                    RoundTripCase{"RunOfBlanks", Bytes(5000, ' ')},
                    RoundTripCase{"RunWithPeriodThree", Run(7000, 3)},
                    RoundTripCase{"RunWithPeriodFiftyNine", Run(7000, 59)},
                    // Well over 32,454 symbols: the Huffman model is rebuilt several times.
                    RoundTripCase{"ManyModelRebuilds", MixedInput(600000, 9)}),
    [](const auto& testInfo) { return testInfo.param.name; });

TEST(LzhRoundTrip, EmptyInputSendsOneLiteralAndDecodesToNothing) {
  const Encoded encoded = Encode({});
  EXPECT_EQ(encoded.bytesRead, 0);
  // The one literal the encoder always sends is a single code of at most 9 bits.
  EXPECT_GE(encoded.stream.size(), 1u);
  EXPECT_LE(encoded.stream.size(), 2u);
  EXPECT_TRUE(Decode(encoded.stream, 0).output.empty());
}

// ---------------------------------------------------------------------------------------------
// Codes longer than 16 bits

// A symbol sequence whose counts fall off by a fixed ratio, spread evenly: it drives the
// adaptive tree to depths beyond 16 before the first rebuild.
std::vector<int> SkewedSymbols(std::size_t count) {
  constexpr int kHeavy = 8;
  constexpr double kRatio = 0.6;
  std::vector<double> share(kHeavy);
  std::vector<double> owed(kHeavy, 0.0);
  double total = 0;
  for (int i = 0; i < kHeavy; ++i) total += share[i] = std::pow(kRatio, i);
  std::vector<int> symbols;
  for (std::size_t n = 0; n < count; ++n) {
    int next = 0;
    for (int i = 0; i < kHeavy; ++i) {
      owed[i] += share[i] / total;
      if (owed[i] > owed[next]) next = i;
    }
    owed[next] -= 1;
    symbols.push_back('a' + next);
  }
  return symbols;
}

TEST(LzhLongCodes, TreeWalksAgreeBeyondSixteenBits) {
  lzh_detail::HuffmanModel model;
  lzh_detail::HuffmanModel::Path path;
  int longest = 0;
  for (const int symbol : SkewedSymbols(20000)) {
    model.Update(symbol);
    for (int s = 0; s < lzh_detail::kSymbolCount; ++s) {
      const auto code = model.CodeOf(s);
      longest = std::max(longest, code.length);
      const auto decoded =
          model.Decode(static_cast<std::uint64_t>(code.bits) << (64 - code.length), path);
      ASSERT_EQ(decoded.symbol, s);
      ASSERT_EQ(decoded.length, code.length);
    }
  }
  EXPECT_GT(longest, 16);
  EXPECT_LE(longest, lzh_detail::kMaxCodeLength);
}

// The decoder updates the model along the path it has just walked; that must leave the same tree
// as the update that starts from the leaf, through swaps, long codes and rebuilds.
std::vector<int> UniformSymbols(std::size_t count) {
  std::mt19937 random(11);
  std::vector<int> symbols;
  for (std::size_t n = 0; n < count; ++n) symbols.push_back(static_cast<int>(random() % 314));
  return symbols;
}

// Skewed symbols whose favourites change every 5000 symbols, so that each rebuild reorders the
// leaves.
std::vector<int> DriftingSymbols(std::size_t count) {
  std::vector<int> symbols = SkewedSymbols(count);
  for (std::size_t n = 0; n < count; ++n) {
    symbols[n] = static_cast<int>((static_cast<std::size_t>(symbols[n]) + n / 5000 * 37) % 314);
  }
  return symbols;
}

TEST(LzhModel, UpdateAlongDecodedPathMatchesUpdateFromLeaf) {
  const struct {
    const char* name;
    std::vector<int> symbols;
  } kCases[] = {
      {"skewed, codes beyond 16 bits", SkewedSymbols(20000)},
      {"uniform, three rebuilds", UniformSymbols(100000)},
      {"drifting, rebuilds", DriftingSymbols(100000)},
  };
  for (const auto& [name, symbols] : kCases) {
    SCOPED_TRACE(name);
    lzh_detail::HuffmanModel fromLeaf;
    lzh_detail::HuffmanModel alongPath;
    lzh_detail::HuffmanModel::Path path;
    for (std::size_t n = 0; n < symbols.size(); ++n) {
      const auto code = alongPath.CodeOf(symbols[n]);
      const auto decoded =
          alongPath.Decode(static_cast<std::uint64_t>(code.bits) << (64 - code.length), path);
      ASSERT_EQ(decoded.symbol, symbols[n]);
      alongPath.UpdateAlong(path, decoded.length, decoded.symbol);
      fromLeaf.Update(symbols[n]);
      if (n % 97 != 0 && n + 1 != symbols.size()) continue;
      for (int s = 0; s < lzh_detail::kSymbolCount; ++s) {
        const auto expected = fromLeaf.CodeOf(s);
        const auto actual = alongPath.CodeOf(s);
        ASSERT_EQ(actual.bits, expected.bits) << "symbol " << s << " after " << n + 1;
        ASSERT_EQ(actual.length, expected.length) << "symbol " << s << " after " << n + 1;
      }
    }
  }
}

// Copies of stretches of the last 4000 bytes, 6 bytes long or more with lengths falling off
// geometrically, and a fresh random byte after every 700th copy: match-length symbols with
// steeply falling counts above many rarely seen literals, which puts those literals deep in
// the tree. These parameters give a stream with 17-bit codes.
Bytes SkewedCopies() {
  std::mt19937 random(5);
  Bytes bytes;
  for (int i = 0; i < 4096; ++i) bytes.push_back(static_cast<std::uint8_t>(random()));
  for (int copy = 1; bytes.size() < 900000; ++copy) {
    int length = 6;
    while (length < 60 && random() < 0x6B851EB8u) ++length;  // on with probability 0.42
    const std::size_t from = bytes.size() - 4000 + random() % (4000 - 64);
    for (int i = 0; i < length; ++i) bytes.push_back(bytes[from + i]);
    if (copy % 700 == 0) bytes.push_back(static_cast<std::uint8_t>(random()));
  }
  return bytes;
}

// The longest Huffman code in a complete stream for `size` bytes, found by following it with
// the model.
int LongestCode(std::span<const std::uint8_t> stream, std::size_t size) {
  std::size_t next = 0;
  auto read = [&](std::uint8_t& byte) {
    if (next == stream.size()) return false;
    byte = stream[next++];
    return true;
  };
  lzh_detail::BitReader<decltype(read)> bits(read);
  lzh_detail::HuffmanModel model;
  lzh_detail::HuffmanModel::Path path;
  int longest = 0;
  for (std::size_t written = 0; written < size;) {
    bits.Refill();
    const auto [symbol, length] = model.Decode(bits.Peek(), path);
    bits.Skip(length);
    model.UpdateAlong(path, length, symbol);
    longest = std::max(longest, length);
    if (symbol < 256) {
      ++written;
    } else {
      bits.Skip(lzh_detail::kPositionTables.lengthOf[bits.Peek() >> 56] + 6);
      written += static_cast<std::size_t>(symbol - lzh_detail::kFirstLengthSymbol);
    }
  }
  return longest;
}

TEST(LzhLongCodes, EncoderRoundTripsCodesBeyondSixteenBits) {
  const Bytes input = SkewedCopies();
  const Encoded encoded = Encode(input);
  ASSERT_GT(LongestCode(encoded.stream, input.size()), 16);
  EXPECT_EQ(Decode(encoded.stream, static_cast<std::int32_t>(input.size())).output, input);
}

// Round trips cannot tell when encoder and decoder drift from the stream format together, and
// the known streams above are too short to reach a swap deep in the tree or a rebuild. Long
// inputs are pinned by a checksum of their streams, taken from an encoder checked against the
// format.

TEST(LzhEncode, LongInputsGiveThePinnedStreams) {
  const struct {
    const char* name;
    Bytes input;
    std::size_t streamSize;
    std::uint64_t streamHash;
  } kCases[] = {
      {"mixed, many rebuilds", MixedInput(600000, 9), 351104, 0x5096FCC9383A391Au},
      {"skewed copies, long codes", SkewedCopies(), 251456, 0x7FE24F45AE581CE5u},
  };
  for (const auto& [name, input, streamSize, streamHash] : kCases) {
    SCOPED_TRACE(name);
    const Encoded encoded = Encode(input);
    EXPECT_EQ(encoded.stream.size(), streamSize);
    EXPECT_EQ(Fnv1a(encoded.stream), streamHash);
  }
}

// ---------------------------------------------------------------------------------------------
// Streams that do not match the size

TEST(LzhDecode, SizeZeroReadsAndWritesNothing) {
  for (const std::int32_t size : {0, -1}) {
    const Decoded decoded = Decode(Bytes{0xF6, 0xFB, 0xBD, 0xE0}, size);
    EXPECT_TRUE(decoded.output.empty());
    EXPECT_EQ(decoded.readCalls, 0u);
    EXPECT_EQ(decoded.usedBits, 0u);
  }
}

TEST(LzhDecode, TruncatedStreamEndsWithZeroBitsAndIsDetectable) {
  const Bytes input = MixedInput(50000, 10);
  const auto size = static_cast<std::int32_t>(input.size());
  const Bytes stream = Encode(input).stream;
  for (const std::size_t kept :
       {std::size_t{0}, std::size_t{1}, stream.size() / 2, stream.size() - 1}) {
    SCOPED_TRACE(kept);
    const Decoded decoded = Decode(std::span(stream).first(kept), size);
    // The last match is copied whole, so up to 59 bytes may follow the size.
    EXPECT_GE(decoded.output.size(), input.size());
    EXPECT_LE(decoded.output.size(), input.size() + 59);
    EXPECT_EQ(decoded.delivered, kept);
    EXPECT_GT(decoded.usedBits, 8 * kept);
    // What was delivered decodes as before the cut: a symbol and its position take at most
    // 35 bits and give at least one byte.
    const std::size_t sure = kept * 8 / 35;
    EXPECT_TRUE(std::equal(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(sure),
                           decoded.output.begin()));
  }
}

// Past the end of the input a zero byte stands in, whatever the callback left in its argument.
TEST(LzhDecode, EndOfInputMeansZeroBytes) {
  constexpr std::int32_t kSize = 300;
  // Zero bits walk the code tree to the same leaf every time; the stream decodes to the byte
  // 0x74 throughout, 46 bytes past the size because the last match is copied whole.
  const Bytes expected(346, 0x74);
  ASSERT_EQ(Decode(Bytes(64, 0x00), kSize).output, expected);

  Bytes output;
  LzhDecode(
      kSize,
      [](std::uint8_t& byte) {
        byte = 0xA5;
        return false;
      },
      [&output](std::uint8_t byte) { output.push_back(byte); });
  EXPECT_EQ(output, expected);
}

// ---------------------------------------------------------------------------------------------
// Callback failures

TEST(LzhEncode, ExceptionFromCallbackPassesThroughAndLeavesCountUnset) {
  const Bytes input = MixedInput(5000, 11);
  std::size_t next = 0;
  std::int32_t bytesRead = -7;
  const auto read = [&](std::uint8_t& byte) {
    if (next == 3000) throw std::runtime_error("Lesefehler");
    byte = input[next++];
    return true;
  };
  const auto write = [](std::uint8_t) {};
  EXPECT_THROW(LzhEncode(bytesRead, read, write), std::runtime_error);
  EXPECT_EQ(bytesRead, -7);
}

// The decoder's second thread is stopped and the exception reaches the caller unchanged,
// whichever callback throws and whether the thread is then waiting for input or for room.
TEST(LzhDecode, ExceptionFromEitherCallbackPassesThrough) {
  const Bytes stream = Encode(MixedInput(200000, 12)).stream;
  struct Case {
    std::size_t failingRead;   // the read that throws, or none
    std::size_t failingWrite;  // the write that throws, or none
  };
  constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();
  for (const Case failure : {Case{kNone, 2000}, Case{kNone, 150000}, Case{3000, kNone},
                             Case{stream.size() - 1, kNone}}) {
    SCOPED_TRACE(testing::Message() << failure.failingRead << " " << failure.failingWrite);
    std::size_t next = 0;
    std::size_t written = 0;
    const auto read = [&](std::uint8_t& byte) {
      if (next == failure.failingRead) throw std::runtime_error("Lesefehler");
      if (next == stream.size()) return false;
      byte = stream[next++];
      return true;
    };
    const auto write = [&](std::uint8_t) {
      if (++written == failure.failingWrite) throw std::runtime_error("Schreibfehler");
    };
    EXPECT_THROW(LzhDecode(200000, read, write), std::runtime_error);
    if (failure.failingWrite != kNone) {
      EXPECT_EQ(written, failure.failingWrite);
    }
    if (failure.failingRead != kNone) {
      EXPECT_EQ(next, failure.failingRead);
    }
  }
}

}  // namespace
}  // namespace kestravuna
