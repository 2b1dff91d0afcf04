#include "archive/archive_record.h"
#include "test_support/bytes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kestravuna {
namespace {

using test_support::Bytes;

Bytes Slice(const std::array<std::uint8_t, kArchiveRecordSize>& bytes, std::size_t at,
            std::size_t size) {
  return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(at),
               bytes.begin() + static_cast<std::ptrdiff_t>(at + size));
}

TEST(ArchiveRecord, HeaderOfAnEmptyFolder) {
  const auto bytes = MakeArchiveHeader(0).Serialize();
  Bytes expected(kArchiveRecordSize, 0);
  const std::string id = "\x0AKestravuna";
  std::copy(id.begin(), id.end(), expected.begin());
  expected[272] = 0x14;  // offset field 276 = 0x114
  expected[273] = 0x01;
  EXPECT_EQ(Bytes(bytes.begin(), bytes.end()), expected);
}

TEST(ArchiveRecord, HeaderPlacesTheDataAreaBehindTheDirectory) {
  const auto bytes = MakeArchiveHeader(2).Serialize();
  EXPECT_EQ(Slice(bytes, 264, 12),
            (Bytes{2, 0, 0, 0, 0, 0, 0, 0, 0x3C, 0x03, 0, 0}));  // count 2, offset 828
  EXPECT_EQ(DataAreaStart(3), 1104);
}

TEST(ArchiveRecord, FieldsAreLittleEndianAtTheirOffsets) {
  ArchiveRecord record;
  record.SetName("a.txt");
  record.count = 0x01020304;
  record.secondCount = -2;
  record.offset = 836;
  const auto bytes = record.Serialize();
  EXPECT_EQ(Slice(bytes, 0, 6), (Bytes{5, 'a', '.', 't', 'x', 't'}));
  EXPECT_EQ(Slice(bytes, 261, 3), (Bytes{0, 0, 0}));
  EXPECT_EQ(Slice(bytes, 264, 12), (Bytes{4, 3, 2, 1, 0xFE, 0xFF, 0xFF, 0xFF, 0x44, 0x03, 0, 0}));

  const ArchiveRecord parsed = ArchiveRecord::Parse(bytes);
  EXPECT_EQ(parsed.Name(), "a.txt");
  EXPECT_EQ(parsed.count, 0x01020304);
  EXPECT_EQ(parsed.secondCount, -2);
  EXPECT_EQ(parsed.offset, 836);
  EXPECT_EQ(parsed.Serialize(), bytes);
}

TEST(ArchiveRecord, FlagsFromAttributes) {
  struct Case {
    std::uint32_t attributes;
    Bytes flags;  // system, hidden, archive, read-only, directory (offsets 256..260)
  };
  const Case cases[] = {
      {39, {1, 1, 1, 1, 0}},      // read-only, hidden, system and archive
      {128, {0, 0, 0, 0, 0}},     // "no attributes" has no flag
      {8224, {0, 0, 1, 0, 0}},    // archive plus a bit above 32
      {8, {0, 0, 0, 0, 0}},       // volume label has no flag
      {16 | 1, {0, 0, 0, 1, 1}},  // a read-only directory
      {1, {0, 0, 0, 1, 0}},
  };
  for (const Case& c : cases) {
    ArchiveRecord record;
    record.SetFlags(c.attributes);
    EXPECT_EQ(Slice(record.Serialize(), 256, 5), c.flags) << c.attributes;
  }
}

TEST(ArchiveRecord, AttributesFromFlagBytes) {
  struct Case {
    Bytes flags;  // system, hidden, archive, read-only, directory
    std::uint32_t attributes;
  };
  const Case cases[] = {
      {{0, 0, 1, 1, 0}, 33},
      {{0, 0, 0, 0, 0}, 0},
      {{1, 1, 1, 1, 1}, 39},        // the directory flag is not used
      {{2, 0xFF, 1, 0x81, 0}, 32},  // only a byte of exactly 1 is set
  };
  for (const Case& c : cases) {
    std::array<std::uint8_t, kArchiveRecordSize> bytes{};
    std::copy(c.flags.begin(), c.flags.end(), bytes.begin() + 256);
    EXPECT_EQ(ArchiveRecord::Parse(bytes).Attributes(), c.attributes);
  }
}

TEST(ArchiveRecord, DirectoryCountKeepsTheLowEightBitsOfBothCounts) {
  struct Case {
    std::int32_t count, secondCount;
    std::size_t directoryCount;
  };
  const Case cases[] = {
      {3, 0, 3},   {0, 3, 3},       {255, 0, 255}, {256, 0, 0},
      {255, 1, 0}, {0x1FF, 0, 255}, {-1, 1, 0},    {200, 100, 44},
  };
  for (const Case& c : cases) {
    ArchiveRecord header;
    header.count = c.count;
    header.secondCount = c.secondCount;
    EXPECT_EQ(header.DirectoryCount(), c.directoryCount) << c.count << " + " << c.secondCount;
  }
}

TEST(ArchiveRecord, LongNamesAreCutAndShortOnesLeaveTheRestOfTheField) {
  ArchiveRecord record;
  record.SetName(std::string(300, 'x'));
  EXPECT_EQ(record.nameLength, 255);
  EXPECT_EQ(record.Name(), std::string(255, 'x'));

  record.SetName(kArchiveIdentification);
  record.SetName("a.txt");
  const auto bytes = record.Serialize();
  EXPECT_EQ(Slice(bytes, 0, 12), (Bytes{5, 'a', '.', 't', 'x', 't', 'a', 'v', 'u', 'n', 'a', 'x'}));
}

}  // namespace
}  // namespace kestravuna
