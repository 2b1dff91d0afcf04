// The method advice: where it samples, what it recommends and says, how it leaves the source,
// and mode Auto in Compress.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <memory>

#include <algorithm>
#include <functional>

#include "compress/lzrw1kh.h"
#include "compress/tests/zarlz_test_support.h"
#include "compress/zarlz.h"

namespace kestravuna {
namespace {

using test_support::Bytes;
using test_support::MessageOf;
using test_support::ProbeStream;
using test_support::RandomBytes;
using test_support::TempFolder;
using test_support::TextBytes;
using test_support::WriteBytes;
using testing::ElementsAre;
using testing::IsEmpty;

constexpr std::size_t kMiB = 1 << 20;

struct Advice {
  TCompressMode result;
  std::vector<std::string> captions;
};

Advice AdviseOn(ProbeStream& source, TZarLZ& zarlz) {
  Advice advice{};
  zarlz.UseStream = true;
  zarlz.InputStream = &source;
  zarlz.SetStatusSink(
      [&advice](std::string_view caption) { advice.captions.emplace_back(caption); });
  advice.result = zarlz.Advise();
  return advice;
}

// ---------------------------------------------------------------------------------------------
// Sampling

struct SamplingCase {
  std::size_t size;
  std::vector<std::int64_t> readPositions;
};

class AdviseSamplingTest : public testing::TestWithParam<SamplingCase> {};

// The samples start on chunk boundaries at a third and two thirds of the source.
TEST_P(AdviseSamplingTest, ReadsOneChunkAtEachSample) {
  ProbeStream source(Bytes(GetParam().size, 0));
  TZarLZ zarlz;
  AdviseOn(source, zarlz);
  EXPECT_EQ(source.readPositions, GetParam().readPositions);
}

INSTANTIATE_TEST_SUITE_P(Sizes, AdviseSamplingTest,
                         testing::Values(SamplingCase{98303, {}},
                                         SamplingCase{98304, {32768, 65536}},
                                         SamplingCase{300000, {98304, 196608}}));

// ---------------------------------------------------------------------------------------------
// Recommendations

TEST(Advise, SmallSourceGetsGoodWithoutReadingAndSwitchesAutoToGood) {
  ProbeStream source(TextBytes(98303));
  TZarLZ zarlz;
  zarlz.CompressMode = TCompressMode::Auto;
  const Advice advice = AdviseOn(source, zarlz);
  EXPECT_EQ(advice.result, TCompressMode::Good);
  EXPECT_EQ(zarlz.CompressMode, TCompressMode::Good);
  EXPECT_THAT(advice.captions, ElementsAre("Wähle die beste Kompressionsmethode für die Daten.",
                                           "Es wird gute Kompression empfohlen:  keine Datei !"));
  EXPECT_THAT(source.readPositions, IsEmpty());
}

struct RecommendationCase {
  const char* name;
  Bytes source;
  std::int32_t threshold;
  TCompressMode result;
  std::string caption;
};

// Test names show the case by its name rather than as raw bytes.
void PrintTo(const RecommendationCase& c, std::ostream* out) { *out << c.name; }

class AdviseRecommendationTest : public testing::TestWithParam<RecommendationCase> {};

// Captions come whether or not the component is visible; sampling never changes the mode.
TEST_P(AdviseRecommendationTest, RecommendsAndSaysWhy) {
  const RecommendationCase& c = GetParam();
  ProbeStream source(c.source);
  TZarLZ zarlz;
  zarlz.Threshold = c.threshold;
  zarlz.CompressMode = TCompressMode::Auto;
  const Advice advice = AdviseOn(source, zarlz);
  EXPECT_EQ(advice.result, c.result);
  EXPECT_THAT(advice.captions,
              ElementsAre("Wähle die beste Kompressionsmethode für die Daten.", c.caption));
  EXPECT_EQ(zarlz.CompressMode, TCompressMode::Auto);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AdviseRecommendationTest,
    testing::Values(
        // Each zero sample becomes a 38-byte block: 76 of 65,536.
        RecommendationCase{"ZerosAreFast", Bytes(kMiB, 0), 40, TCompressMode::Fast,
                           "Es wird schnelle Kompression empfohlen: 0%."},
        // Each random sample is stored as 32,769 bytes: 65,538 of 65,536.
        RecommendationCase{"RandomIsGood", RandomBytes(kMiB), 40, TCompressMode::Good,
                           "Es wird gute Kompression empfohlen: 100%."},
        RecommendationCase{"ThresholdZeroIsNeverFast", Bytes(kMiB, 0), 0, TCompressMode::Good,
                           "Es wird gute Kompression empfohlen: 0%."}),
    [](const testing::TestParamInfo<RecommendationCase>& testCase) {
      return std::string(testCase.param.name);
    });

// Fast needs the packed samples strictly below the truncated Threshold share of what was
// sampled. A source made of one repeated chunk (k random bytes, then zeros) gives two equal
// samples; the test looks for a k whose packed size lands exactly on the bound of some
// threshold T, where T must still say Good and T + 1 Fast.
TEST(Advise, ThresholdIsAStrictBoundOnThePackedSize) {
  constexpr std::int64_t kSampled = 2 * 32768;
  const Bytes noise = RandomBytes(32768);
  Bytes chunk(32768, 0);
  Bytes block(32768 + 16);
  std::int32_t boundary = -1;
  auto state = std::make_unique<Lzrw1KhState>();
  for (std::size_t k = 100; k < 20000 && boundary < 0; ++k) {
    std::copy_n(noise.begin(), k, chunk.begin());
    const auto packed = 2 * static_cast<std::int64_t>(Lzrw1KhCompress(chunk, block, *state));
    const auto threshold = static_cast<std::int32_t>(packed * 100 / kSampled + 1);
    if (std::int64_t{threshold} * kSampled / 100 == packed) boundary = threshold;
  }
  ASSERT_GT(boundary, 0) << "no chunk lands on a bound";

  Bytes source;
  for (int i = 0; i < 4; ++i) source.insert(source.end(), chunk.begin(), chunk.end());
  for (const auto& [threshold, expected] :
       {std::pair{boundary, TCompressMode::Good}, std::pair{boundary + 1, TCompressMode::Fast}}) {
    ProbeStream stream(source);
    TZarLZ zarlz;
    zarlz.Threshold = threshold;
    EXPECT_EQ(AdviseOn(stream, zarlz).result, expected) << "threshold " << threshold;
  }
}

// ---------------------------------------------------------------------------------------------
// The source afterwards, and failures

TEST(Advise, StreamIsBackAtItsEntryPosition) {
  ProbeStream source(Bytes(300000, 0));
  ASSERT_EQ(source.Seek(12345, SeekOrigin::Begin), 12345);
  TZarLZ zarlz;
  AdviseOn(source, zarlz);
  EXPECT_EQ(source.Position(), 12345);
}

TEST(Advise, StreamIsBackAtItsEntryPositionWhenASampleReadFails) {
  for (const int failingRead : {1, 2}) {
    ProbeStream source(Bytes(300000, 0));
    source.failingRead = failingRead;
    ASSERT_EQ(source.Seek(777, SeekOrigin::Begin), 777);
    TZarLZ zarlz;
    EXPECT_EQ(MessageOf([&] { AdviseOn(source, zarlz); }), "Fehler beim Lesen der Qzelldaten.");
    EXPECT_EQ(source.Position(), 777);
  }
}

TEST(Advise, StreamFailuresBeforeSampling) {
  TZarLZ zarlz;
  ProbeStream noSize(Bytes(300000, 0));
  noSize.sizeOverride = -1;
  EXPECT_EQ(MessageOf([&] { AdviseOn(noSize, zarlz); }),
            "Die Größe der Daten konnte nicht festgestellt werden.");
  ProbeStream noSeek(Bytes(300000, 0));
  noSeek.failSeeks = true;
  EXPECT_EQ(MessageOf([&] { AdviseOn(noSeek, zarlz); }),
            "Fehler bei der Initialisierung der Prüfungsroutine.");
}

TEST(Advise, FileModeNamesTheFile) {
  TempFolder folder;
  const std::string path = (folder / "daten.bin").string();
  WriteBytes(path, Bytes(300000, 0));
  TZarLZ zarlz;
  zarlz.InputFile = path;
  std::vector<std::string> captions;
  zarlz.SetStatusSink([&captions](std::string_view caption) { captions.emplace_back(caption); });
  EXPECT_EQ(zarlz.Advise(), TCompressMode::Fast);
  EXPECT_THAT(captions, ElementsAre("Wähle die beste Kompressionsmethode für " + path,
                                    "Es wird schnelle Kompression empfohlen: 0%."));

  zarlz.InputFile = (folder / "missing").string();
  EXPECT_EQ(MessageOf([&] { zarlz.Advise(); }),
            "Fehler beim Feststellen der Größe von " + zarlz.InputFile);
}

// ---------------------------------------------------------------------------------------------
// Mode Auto

struct AutoCase {
  const char* name;
  Bytes source;
  std::uint8_t identifierFirstByte;  // 57 for LZRW1/KH, 21 for LZH
};

void PrintTo(const AutoCase& c, std::ostream* out) { *out << c.name; }

class AutoModeTest : public testing::TestWithParam<AutoCase> {};

TEST_P(AutoModeTest, CompressUsesTheAdviceAndTheContainerRoundTrips) {
  const AutoCase& c = GetParam();
  MemoryStream input(c.source);
  MemoryStream container;
  MemoryStream restored;
  TZarLZ zarlz;
  zarlz.UseStream = true;
  zarlz.CompressMode = TCompressMode::Auto;
  zarlz.InputStream = &input;
  zarlz.OutputStream = &container;
  zarlz.Compress();
  ASSERT_FALSE(container.Data().empty());
  EXPECT_EQ(container.Data()[0], c.identifierFirstByte);

  ASSERT_EQ(container.Seek(0, SeekOrigin::Begin), 0);
  zarlz.InputStream = &container;
  zarlz.OutputStream = &restored;
  zarlz.Decompress();
  EXPECT_EQ(restored.Data(), c.source);
}

INSTANTIATE_TEST_SUITE_P(Cases, AutoModeTest,
                         testing::Values(AutoCase{"Zeros", Bytes(kMiB, 0), 0x57},
                                         AutoCase{"Random", RandomBytes(200000), 0x21},
                                         AutoCase{"Small", Bytes(1000, 0), 0x21}),
                         [](const testing::TestParamInfo<AutoCase>& testCase) {
                           return std::string(testCase.param.name);
                         });

}  // namespace
}  // namespace kestravuna
