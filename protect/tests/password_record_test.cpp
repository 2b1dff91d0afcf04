#include "protect/password_record.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/io_error.h"
#include "test_support/bytes.h"
#include "test_support/temp_folder.h"

namespace kestravuna {
namespace {

namespace fs = std::filesystem;
using test_support::Bytes;
using test_support::ReadBytes;
using test_support::TempFolder;
using test_support::WriteBytes;

std::string Text(const Bytes& bytes) { return test_support::TextOf(bytes); }

class PasswordRecordTest : public testing::Test {
 protected:
  fs::path Path(const char* name = "CHIFF.CRD") const { return folder_ / name; }

  static std::int32_t Int32At(const Bytes& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) value |= std::uint32_t{bytes[at + i]} << (8 * i);
    return static_cast<std::int32_t>(value);
  }

  TempFolder folder_;
};

TEST(RandomGenerator, FollowsTheLinearCongruentialSequence) {
  // Values worked out by hand from seed := seed * 134775813 + 1 and (seed * range) >> 32.
  RandomSeed = 0;
  EXPECT_EQ(NextRandom(100), 0u);
  EXPECT_EQ(NextRandom(100), 3u);
  EXPECT_EQ(NextRandom(100), 86u);
  EXPECT_EQ(NextRandom(100), 20u);
  EXPECT_EQ(NextRandom(100), 27u);
  EXPECT_EQ(RandomSeed, 1172187917u);

  // The three numbers of a record drawn right after seeding with 12345.
  RandomSeed = 12345;
  EXPECT_EQ(NextRandom(32368), 12473u);
  EXPECT_EQ(NextRandom(32366) + 2, 9367u);
  EXPECT_EQ(NextRandom(32364) + 3, 2583u);

  // Range 256 yields the top byte of the new state.
  RandomSeed = 0xFFFFFFFF;
  const std::uint32_t next = 0xFFFFFFFFu * 134775813u + 1u;
  EXPECT_EQ(NextRandom(256), next >> 24);
}

TEST(RandomGenerator, StaysWithinItsRange) {
  RandomSeed = 987654321;
  for (std::uint32_t range : {1u, 2u, 255u, 256u, 32364u, 0xFFFFFFFFu}) {
    for (int i = 0; i < 1000; ++i) ASSERT_LT(NextRandom(range), range) << "range " << range;
  }
}

TEST(RandomGenerator, FillerHasTheCountAndNoZeroByte) {
  RandomSeed = 12345;
  EXPECT_EQ(RandomFiller(5), Text({99, 74, 21, 142, 162}));

  RandomSeed = 42;
  const std::string filler = RandomFiller(100000);
  ASSERT_EQ(filler.size(), 100000u);
  bool sawHighest = false;
  for (char c : filler) {
    ASSERT_NE(c, '\0');
    sawHighest = sawHighest || static_cast<std::uint8_t>(c) == 255;
  }
  EXPECT_TRUE(sawHighest);  // 255 is reachable: the byte is NextRandom(255) + 1
}

TEST(RandomGenerator, ClockSeedIsTheMillisecondOfTheDayInUtc) {
  const auto millisecondOfDay = [](const platform::TimeOfDay& time) {
    return static_cast<std::uint32_t>(((time.hour * 60 + time.minute) * 60 + time.second) * 1000 +
                                      time.millisecond);
  };
  const std::uint32_t before = millisecondOfDay(platform::UtcTimeOfDay());
  SeedFromClock();
  const std::uint32_t after = millisecondOfDay(platform::UtcTimeOfDay());
  if (after < before) GTEST_SKIP() << "midnight passed during the test";
  EXPECT_GE(RandomSeed, before);
  EXPECT_LE(RandomSeed, after);
  EXPECT_LT(RandomSeed, 86'400'000u);
}

TEST(ScrambleText, KnownBytesAndSelfInverse) {
  struct Case {
    std::string plain;
    Bytes scrambled;
  };
  const Case cases[] = {
      {"", {}},
      {"abc", {0x79, 0xE7, 0x81}},
      {"Geheim", {0x77, 0x67, 0x81, 0xFA, 0xC3, 0xE0}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ScrambleText(c.plain), Text(c.scrambled)) << c.plain;
    EXPECT_EQ(ScrambleText(Text(c.scrambled)), c.plain) << c.plain;
  }
  std::string everyByte;
  for (int b = 0; b < 256; ++b) everyByte.push_back(static_cast<char>(b));
  EXPECT_EQ(ScrambleText(ScrambleText(everyByte)), everyByte);
}

TEST_F(PasswordRecordTest, LayoutOfTheRecord) {
  WritePasswordRecord(Path(), "Geheim");
  const Bytes record = ReadBytes(Path());
  ASSERT_EQ(record.size(), 256u);

  EXPECT_EQ(Bytes(record.begin(), record.begin() + 7), (Bytes{6, 'T', 'r', 'a', 'v', 'u', 'n'}));
  EXPECT_EQ(Bytes(record.begin() + 244, record.begin() + 251),
            (Bytes{6, 'T', 'R', 'A', 'V', 'U', 'N'}));
  for (auto [from, to] : {std::pair{7, 11}, std::pair{240, 244}, std::pair{251, 256}}) {
    for (int i = from; i < to; ++i) EXPECT_EQ(record[i], 0) << "reserved byte " << i;
  }
  for (std::size_t filler = 0; filler < 6; ++filler) {
    const std::size_t at = 11 + 31 * filler;
    EXPECT_EQ(record[at], 30) << "filler " << filler;
    for (std::size_t i = at + 1; i <= at + 30; ++i) EXPECT_NE(record[i], 0) << "filler byte " << i;
  }
  EXPECT_EQ(record[197], 6);
  EXPECT_EQ(Bytes(record.begin() + 198, record.begin() + 204),
            (Bytes{0x77, 0x67, 0x81, 0xFA, 0xC3, 0xE0}));
  for (int i = 204; i < 228; ++i) EXPECT_EQ(record[i], 0) << "unused password byte " << i;

  const std::int32_t first = Int32At(record, 228), second = Int32At(record, 232),
                     third = Int32At(record, 236);
  EXPECT_TRUE(first >= 0 && first <= 32367) << first;
  EXPECT_TRUE(second >= 2 && second <= 32367) << second;
  EXPECT_TRUE(third >= 3 && third <= 32366) << third;
}

TEST_F(PasswordRecordTest, PasswordFieldDependsOnlyOnThePassword) {
  WritePasswordRecord(Path("first"), "Kennwort");
  std::this_thread::sleep_for(std::chrono::milliseconds(5));  // another clock seed
  WritePasswordRecord(Path("second"), "Kennwort");
  const Bytes first = ReadBytes(Path("first")), second = ReadBytes(Path("second"));
  ASSERT_EQ(first.size(), 256u);
  ASSERT_EQ(second.size(), 256u);
  EXPECT_EQ(Bytes(first.begin() + 197, first.begin() + 228),
            Bytes(second.begin() + 197, second.begin() + 228));
  EXPECT_NE(Bytes(first.begin() + 11, first.begin() + 197),
            Bytes(second.begin() + 11, second.begin() + 197));
}

TEST_F(PasswordRecordTest, RoundTrip) {
  const std::string thirty(30, 'x');
  const std::string longer = "abcdefghijklmnopqrstuvwxyz0123456789";
  struct Case {
    std::string written;
    std::string read;
  };
  const Case cases[] = {
      {"", ""},
      {"Geheim", "Geheim"},
      {"\xE4\xF6\xFC\xDF\x80\xFF",
       "\xE4\xF6\xFC\xDF\x80\xFF"},  // umlauts, euro sign, 0xFF in the code page
      {thirty, thirty},
      {longer, longer.substr(0, 30)},  // only the first 30 are stored
  };
  for (const Case& c : cases) {
    WritePasswordRecord(Path(), c.written);
    EXPECT_EQ(ReadBytes(Path())[197], c.read.size()) << c.written;
    const std::string stored = ReadPasswordRecord(Path());
    EXPECT_EQ(stored, c.read) << c.written;
    // Restore accepts an entered password that contains the stored one.
    EXPECT_NE(c.written.find(stored), std::string::npos) << c.written;
  }
}

TEST_F(PasswordRecordTest, UnreadableRecordsGiveTheEmptyText) {
  EXPECT_EQ(ReadPasswordRecord(Path("missing")), "");
  fs::create_directory(Path("a folder"));
  EXPECT_EQ(ReadPasswordRecord(Path("a folder")), "");

  // A record cut short, even with an intact password field, reads nothing.
  WritePasswordRecord(Path(), "Geheim");
  Bytes record = ReadBytes(Path());
  record.resize(255);
  WriteBytes(Path(), record);
  EXPECT_EQ(ReadPasswordRecord(Path()), "");
}

TEST_F(PasswordRecordTest, DamagedLengthByteReadsOnlyTheField) {
  WritePasswordRecord(Path(), "Geheim");
  Bytes record = ReadBytes(Path());
  for (std::uint8_t length : {31, 200, 255}) {
    record[197] = length;
    WriteBytes(Path(), record);
    const std::string field(record.begin() + 198, record.begin() + 228);
    EXPECT_EQ(ReadPasswordRecord(Path()), ScrambleText(field)) << int{length};
  }
}

TEST_F(PasswordRecordTest, FailedWriteRaisesTheIoError) {
  EXPECT_THROW(WritePasswordRecord(folder_ / "no such folder" / "CHIFF.CRD", "Geheim"),
               platform::EInOutError);
  fs::create_directory(Path("CHIFF.CRD"));  // a folder where the record should go
  EXPECT_THROW(WritePasswordRecord(Path("CHIFF.CRD"), "Geheim"), platform::EInOutError);
}

}  // namespace
}  // namespace kestravuna
