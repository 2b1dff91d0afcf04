#include "archive/pack_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>

#include "archive/archive_error.h"
#include "archive/detail/archive_io.h"
#include "archive/tests/archive_fixture.h"
#include "platform/file_system.h"
#include "platform/io_error.h"

namespace kestravuna::test_support {
namespace {

class PackFolderTest : public ArchiveFolderTest {
 protected:
  void Pack() { PackFolder(folder_, archive_, progress_); }

  // Name -> record of every directory entry of the packed archive, after checking that the
  // header counts them and that each offset continues where the previous file ended.
  std::map<std::string, ArchiveRecord> PackedRecords() {
    const Bytes archive = ReadBytes(archive_);
    const ArchiveRecord header = RecordAt(archive, 0);
    EXPECT_EQ(header.Name(), "Kestravuna");
    const std::size_t count = static_cast<std::size_t>(header.count);
    EXPECT_EQ(header.offset, DataAreaStart(count));
    std::map<std::string, ArchiveRecord> records;
    std::int64_t previousEnd = DataAreaStart(count);
    for (std::size_t i = 1; i <= count; ++i) {
      const ArchiveRecord record = RecordAt(archive, i);
      EXPECT_GE(record.offset, previousEnd);
      previousEnd = record.offset;
      records.emplace(std::string(record.Name()), record);
    }
    EXPECT_EQ(static_cast<std::int64_t>(archive.size()), previousEnd);
    return records;
  }
};

TEST_F(PackFolderTest, EmptyFolderGivesTheHeaderAlone) {
  fs::create_directory(folder_ / "subfolder");
  Pack();
  EXPECT_EQ(ReadBytes(archive_), BuildArchive({}));
  EXPECT_TRUE(events_.empty());
}

TEST_F(PackFolderTest, TwoFilesOfThreeAndFiveBytes) {
  WriteFile(folder_ / "a", "abc");
  WriteFile(folder_ / "b", "defgh");
  Pack();
  const Bytes archive = ReadBytes(archive_);
  ASSERT_EQ(archive.size(), 836u);
  EXPECT_EQ(RecordAt(archive, 0).offset, 828);
  // The listing decides the order; data and offsets follow it.
  const bool aFirst = RecordAt(archive, 1).Name() == "a";
  EXPECT_EQ(RecordAt(archive, 1).offset, aFirst ? 831 : 833);
  EXPECT_EQ(RecordAt(archive, 2).offset, 836);
  EXPECT_EQ(std::string(archive.begin() + 828, archive.end()), aFirst ? "abcdefgh" : "defghabc");
}

TEST_F(PackFolderTest, WhichEntriesArePacked) {
  struct Case {
    std::string name;
    bool packed;
  };
  const Case cases[] = {
      {"brief.txt", true},  {"temp1.cry", true},
      {"TEMP1.CRY", false}, {"oldTEMP2.CRY.bak", false},
      {".versteckt", true}, {"Grüße €.txt", true},
      {"leer", true},
  };
  for (const Case& c : cases) WriteFile(folder_ / c.name, c.name == "leer" ? "" : c.name);
  fs::create_directory(folder_ / "Unterordner");
  WriteFile(folder_ / "Unterordner" / "inside.txt", "x");
  fs::create_directory(folder_ / ".hidden folder");
  fs::create_symlink(folder_ / "brief.txt", folder_ / "link");

  Pack();
  const auto records = PackedRecords();
  for (const Case& c : cases) {
    const std::string stored = c.name == "Grüße €.txt" ? std::string(
                                                             "Gr\xFC\xDF"
                                                             "e \x80.txt")
                                                       : c.name;
    EXPECT_EQ(records.count(stored), c.packed ? 1u : 0u) << c.name;
  }
  EXPECT_EQ(records.size(), 5u);  // neither folders nor the link
}

TEST_F(PackFolderTest, FlagsFollowTheAttributes) {
  WriteFile(folder_ / u8"schreibgeschützt", "r");
  MakeReadOnly(folder_ / u8"schreibgeschützt");
  WriteFile(folder_ / ".versteckt", "h");
  WriteFile(folder_ / "normal", "n");
  Pack();
  const auto records = PackedRecords();
  struct Case {
    std::string name;
    std::uint32_t attributes;
  };
  for (const Case& c :
       {Case{"schreibgesch\xFCtzt", 33}, Case{".versteckt", 34}, Case{"normal", 32}}) {
    ASSERT_EQ(records.count(c.name), 1u) << c.name;
    EXPECT_EQ(records.at(c.name).Attributes(), c.attributes) << c.name;
    EXPECT_EQ(records.at(c.name).directoryFlag, 0) << c.name;
  }
}

TEST_F(PackFolderTest, StatusBeforeEachFileAfterPumpingEvents) {
  WriteFile(folder_ / "brief.txt", "x");
  WriteFile(folder_ / u8"Grüße.txt", "y");
  WriteFile(folder_ / std::string(250, 'n'), "z");
  Pack();
  const std::map<std::string, std::string> statusByStoredName = {
      {"brief.txt", "Kodiere brief.txt..."},
      {"Gr\xFC\xDF"
       "e.txt",
       "Kodiere Grüße.txt..."},
      // "Kodiere " and the name fill the 255 characters of the status line; "..." is cut.
      {std::string(250, 'n'), "Kodiere " + std::string(247, 'n')},
  };
  // The listing decides the order.
  std::vector<std::string> expected;
  const Bytes archive = ReadBytes(archive_);
  for (std::size_t i = 1; i <= 3; ++i) {
    expected.push_back("pump");
    expected.push_back("status " + statusByStoredName.at(std::string(RecordAt(archive, i).Name())));
  }
  EXPECT_EQ(events_, expected);
}

// The bytes packed are told piece by piece, within a large file too, and end at the whole.
TEST_F(PackFolderTest, BytesPackedGrowToTheSumOfTheFiles) {
  const std::size_t large = 3 * kCopyBufferSize + 100;
  WriteFile(folder_ / "gross.bin", std::string(large, 'g'));
  WriteFile(folder_ / "klein.txt", "klein");
  WriteFile(folder_ / "leer", "");
  const auto total = static_cast<std::int64_t>(large + 5);
  std::vector<std::int64_t> done;
  progress_.bytesPacked = [&](std::int64_t packed, std::int64_t all) {
    EXPECT_EQ(all, total);
    done.push_back(packed);
  };
  Pack();
  ASSERT_GE(done.size(), 4u);  // the large file alone takes four pieces
  EXPECT_TRUE(std::ranges::is_sorted(done));
  EXPECT_GT(done.front(), 0);
  EXPECT_EQ(done.back(), total);
}

TEST_F(PackFolderTest, ReplacesTheTargetAndRemovesItsTemporaryFiles) {
  WriteBytes(archive_, RandomBytes(100000, 1));
  const Bytes content = RandomBytes(3 * (1 << 20) + 17, 2);  // several copy buffers
  WriteBytes(folder_ / u8"groß.bin", content);
  Pack();
  const Bytes archive = ReadBytes(archive_);
  ASSERT_EQ(archive.size(), 2 * kArchiveRecordSize + content.size());
  EXPECT_TRUE(std::equal(content.begin(), content.end(), archive.begin() + 2 * kArchiveRecordSize));
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(PackFolderTest, SkipsTheRunningProgram) {
  // A hard link is the program's own file under another name.
  std::error_code error;
  fs::create_hard_link(platform::OwnExecutable(), folder_ / "kopie", error);
  // Across file systems Wine makes a copy instead, which is not the program.
  if (error || !fs::equivalent(platform::OwnExecutable(), folder_ / "kopie", error)) {
    GTEST_SKIP() << "no hard link to the test program possible here";
  }
  WriteFile(folder_ / "brief.txt", "x");
  Pack();
  const auto records = PackedRecords();
  EXPECT_EQ(records.size(), 1u);
  EXPECT_EQ(records.count("brief.txt"), 1u);
}

// What the format cannot hold is refused before anything is written.
TEST_F(PackFolderTest, RefusesWhatTheArchiveCannotHold) {
  struct Case {
    const char* what;
    std::function<void(const fs::path&)> makeFolder;
    std::string message;
  };
  const Case cases[] = {
      {"256 files",
       [](const fs::path& folder) {
         for (int i = 0; i < 256; ++i) WriteFile(folder / ("f" + std::to_string(i)), "");
       },
       "Der Ordner enthält mehr als 255 Dateien; das Archiv kann sie nicht aufnehmen."},
      {"a file of 2 GiB",
       [](const fs::path& folder) {
         WriteFile(folder / "klein", "x");
         WriteFile(folder / "riesig", "");
         fs::resize_file(folder / "riesig", std::uintmax_t{1} << 31);  // sparse
       },
       "Die Datei ist zu groß für das Archiv (2 GiB oder mehr): riesig"},
      {"2 GiB together",
       [](const fs::path& folder) {
         for (const char* name : {"eins", "zwei"}) {
           WriteFile(folder / name, "");
           fs::resize_file(folder / name, std::uintmax_t{1} << 30);
         }
       },
       "Die Dateien des Ordners sind zusammen zu groß für das Archiv (2 GiB oder mehr)."},
      {"a name outside the code page",
       [](const fs::path& folder) { WriteFile(folder / u8"日本.txt", "x"); },
       "Der Dateiname lässt sich nicht im Archiv speichern: 日本.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(folder_);
    fs::create_directory(folder_);
    c.makeFolder(folder_);
    try {
      Pack();
      ADD_FAILURE() << "packed";
    } catch (const EArchiveError& error) {
      EXPECT_STREQ(error.what(), c.message.c_str());
    }
    EXPECT_FALSE(fs::exists(archive_));
    EXPECT_TRUE(TempFiles().empty());
    EXPECT_TRUE(events_.empty());
  }
}

TEST_F(PackFolderTest, AFileThatChangesSizeWhilePackedStopsThePacking) {
  for (const bool grows : {true, false}) {
    SCOPED_TRACE(grows ? "grows" : "shrinks");
    WriteFile(folder_ / "wechselnd", "12345");
    // The status line shows just before the file is read: change it there.
    progress_.status = [&](std::string_view) {
      WriteFile(folder_ / "wechselnd", grows ? "123456" : "1234");
    };
    try {
      Pack();
      ADD_FAILURE() << "packed";
    } catch (const EArchiveError& error) {
      EXPECT_STREQ(error.what(), "Die Datei wurde während des Packens verändert: wechselnd");
    }
    EXPECT_FALSE(fs::exists(archive_));
  }
}

TEST_F(PackFolderTest, IoFailuresRaiseTheRunTimeError) {
  // A missing folder cannot be listed.
  EXPECT_THROW(PackFolder(folder_ / "fehlt", archive_, progress_), platform::EInOutError);

  // A file that vanished after the listing: "Datei nicht gefunden".
  WriteFile(folder_ / "weg", "x");
  progress_.status = [&](std::string_view) { fs::remove(folder_ / "weg"); };
  try {
    Pack();
    ADD_FAILURE() << "packed";
  } catch (const platform::EInOutError& error) {
    EXPECT_EQ(error.ErrorNumber(), platform::io_error::kFileNotFound);
  }

  // A target in a folder that does not exist.
  progress_.status = nullptr;
  WriteFile(folder_ / "weg", "x");
  EXPECT_THROW(PackFolder(folder_, root_ / "fehlt" / "a.cry", progress_), platform::EInOutError);
}

}  // namespace
}  // namespace kestravuna::test_support
