#include "unpack_archive.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "archive_error.h"
#include "archive_fixture.h"
#include "io_error.h"
#include "pack_folder.h"

namespace kestravuna::testing {
namespace {

class UnpackArchiveTest : public ArchiveFolderTest {
 protected:
  void Unpack() { UnpackArchive(restored_, archive_, "*.*", 0, progress_); }
  void Unpack(const std::vector<StoredFile>& files) {
    WriteBytes(archive_, BuildArchive(files));
    Unpack();
  }
};

TEST_F(UnpackArchiveTest, RoundTripOfAFolder) {
  struct Case {
    std::string name;
    std::size_t size;
    bool readOnly;
  };
  const Case cases[] = {
      {"leer", 0, false},
      {"fünftausend", 5000, false},
      {"genau.2048", 2048, true},
      {".versteckt", 10, false},
      {"mehrere Puffer", (3 << 20) + 12345, false},  // crosses copy buffers
      {"Grüße €", 3, true},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    WriteBytes(folder_ / cases[i].name, PatternBytes(cases[i].size, static_cast<std::uint32_t>(i)));
    if (cases[i].readOnly) MakeReadOnly(folder_ / cases[i].name);
  }
  PackFolder(folder_, "*.*", archive_, 0, progress_);
  const Bytes archive = ReadBytes(archive_);
  Unpack();

  EXPECT_EQ(FolderNames(restored_), FolderNames(folder_));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].name);
    EXPECT_EQ(ReadBytes(restored_ / cases[i].name),
              PatternBytes(cases[i].size, static_cast<std::uint32_t>(i)));
    EXPECT_EQ(IsReadOnly(restored_ / cases[i].name), cases[i].readOnly);
  }
  EXPECT_EQ(ReadBytes(archive_), archive);  // left as it was
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(UnpackArchiveTest, EmptyArchiveRecreatesNothing) {
  Unpack({});
  EXPECT_TRUE(FolderNames(restored_).empty());
  EXPECT_TRUE(TempFiles().empty());
  EXPECT_TRUE(events_.empty());
}

TEST_F(UnpackArchiveTest, AttributesFromTheFlags) {
  Unpack({{"ro", {'1'}, 33}, {"ohne", {'2'}, 0}, {"alles", {'3'}, 39}, {"normal", {'4'}, 32}});
  EXPECT_TRUE(IsReadOnly(restored_ / "ro"));
  EXPECT_FALSE(IsReadOnly(restored_ / "ohne"));
  EXPECT_TRUE(IsReadOnly(restored_ / "alles"));
  EXPECT_FALSE(IsReadOnly(restored_ / "normal"));
}

TEST_F(UnpackArchiveTest, ReplacesWhatStandsUnderTheName) {
  const fs::path outside = root_ / "draußen.txt";
  WriteText(outside, "unberührt");
  WriteBytes(restored_ / "länger", PatternBytes(10000, 7));
  WriteText(restored_ / "schreibgeschützt", "alt und lang");
  MakeReadOnly(restored_ / "schreibgeschützt");
  fs::create_symlink(outside, restored_ / "verweis");
  WriteText(restored_ / "bleibt", "nicht im Archiv");

  Unpack({{"l\xE4nger", {'n', 'e', 'u'}}, {"schreibgesch\xFCtzt", {'n'}, 33}, {"verweis", {'v'}}});
  EXPECT_EQ(ReadBytes(restored_ / "länger"), (Bytes{'n', 'e', 'u'}));
  EXPECT_EQ(ReadBytes(restored_ / "schreibgeschützt"), Bytes{'n'});
  EXPECT_TRUE(IsReadOnly(restored_ / "schreibgeschützt"));
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(restored_ / "verweis")));
  EXPECT_EQ(ReadBytes(restored_ / "verweis"), Bytes{'v'});
  EXPECT_EQ(ReadBytes(outside),
            Bytes(std::string_view("unberührt").begin(), std::string_view("unberührt").end()));
  EXPECT_EQ(ReadBytes(restored_ / "bleibt").size(), 15u);
}

// Root may write into read-only files: run as an ordinary user (nobody) for the duration.
class OrdinaryUser {
 public:
  static constexpr uid_t kNobody = 65534;
  OrdinaryUser() : wasRoot_(::geteuid() == 0) {
    if (wasRoot_ && ::seteuid(kNobody) != 0) throw std::runtime_error("seteuid");
  }
  ~OrdinaryUser() {
    if (wasRoot_ && ::seteuid(0) != 0) std::abort();
  }
  OrdinaryUser(const OrdinaryUser&) = delete;
  OrdinaryUser& operator=(const OrdinaryUser&) = delete;

  // What the ordinary user must own when the test runs as root.
  static void GiveAway(const fs::path& path) {
    if (::geteuid() == 0 && ::chown(path.c_str(), kNobody, kNobody) != 0) {
      throw std::runtime_error("chown");
    }
  }

 private:
  bool wasRoot_;
};

TEST_F(UnpackArchiveTest, ReplacesAReadOnlyFileAsAnOrdinaryUser) {
  WriteBytes(archive_, BuildArchive({{"alt", {'n', 'e', 'u'}, 33}}));
  WriteText(restored_ / "alt", "alter Inhalt");
  MakeReadOnly(restored_ / "alt");
  fs::create_directories(tempDir_);
  for (const fs::path& path : {restored_, restored_ / "alt", cacheHome_, tempDir_}) {
    OrdinaryUser::GiveAway(path);
  }
  {
    const OrdinaryUser user;
    EXPECT_NO_THROW(Unpack());
  }
  EXPECT_EQ(ReadBytes(restored_ / "alt"), (Bytes{'n', 'e', 'u'}));
  EXPECT_TRUE(IsReadOnly(restored_ / "alt"));
}

TEST_F(UnpackArchiveTest, StatusBeforeEachFileAfterPumpingEvents) {
  Unpack({{"brief.txt", {}},
          {"Gr\xFC\xDF"
           "e.txt",
           {}},
          {std::string(250, 'n'), {}}});
  const std::vector<std::string> expected = {
      "pump",
      "status Dekodiere brief.txt...",
      "pump",
      "status Dekodiere Grüße.txt...",
      // The status line holds 255 characters: "Dekodiere " and the first 245 of the name.
      "pump",
      "status Dekodiere " + std::string(245, 'n'),
  };
  EXPECT_EQ(events_, expected);
}

// Damaged archives end in a clear error before any file is written.
TEST_F(UnpackArchiveTest, DamagedArchivesWriteNothing) {
  const Bytes good = BuildArchive({{"gut", {'g', 'u', 't'}}, {"auch", {'a'}}});
  const auto withOffset = [&good](std::size_t record, std::int32_t offset) {
    Bytes bytes = good;
    for (std::size_t i = 0; i < 4; ++i) {
      bytes[record * kArchiveRecordSize + 272 + i] =
          static_cast<std::uint8_t>(static_cast<std::uint32_t>(offset) >> (8 * i));
    }
    return bytes;
  };
  struct Case {
    const char* what;
    Bytes archive;
    std::string message;
  };
  const Case cases[] = {
      {"shorter than a header", Bytes(good.begin(), good.begin() + 100),
       "Lesen nach Dateiende (EOF)"},
      {"directory cut short", Bytes(good.begin(), good.begin() + 2 * kArchiveRecordSize),
       "Lesen nach Dateiende (EOF)"},
      {"data cut short", Bytes(good.begin(), good.end() - 1),
       "Das Archiv ist beschädigt: seine Daten enden vor dem Ende der letzten Datei."},
      {"offset beyond the end", withOffset(2, 0x7FFFFFFF),
       "Das Archiv ist beschädigt: seine Daten enden vor dem Ende der letzten Datei."},
      {"offsets shrink", withOffset(2, 830),
       "Das Archiv ist beschädigt: eine Datei hat eine negative Größe: auch"},
      {"negative offset", withOffset(1, -5),
       "Das Archiv ist beschädigt: eine Datei hat eine negative Größe: gut"},
      {"empty name", BuildArchive({{"gut", {}}, {"", {}}}),
       "Das Archiv enthält einen unzulässigen Dateinamen: \"\""},
      {"dot", BuildArchive({{"gut", {}}, {".", {}}}),
       "Das Archiv enthält einen unzulässigen Dateinamen: \".\""},
      {"dot dot", BuildArchive({{"gut", {}}, {"..", {}}}),
       "Das Archiv enthält einen unzulässigen Dateinamen: \"..\""},
      {"path",
       BuildArchive({{"gut", {}},
                     {"../drau\xDF"
                      "en",
                      {}}}),
       "Das Archiv enthält einen unzulässigen Dateinamen: \"../draußen\""},
      {"windows path", BuildArchive({{"gut", {}}, {"..\\x", {}}}),
       "Das Archiv enthält einen unzulässigen Dateinamen: \"..\\x\""},
      {"NUL", BuildArchive({{"gut", {}}, {std::string("a\0b", 3), {}}}),
       "Das Archiv enthält einen unzulässigen Dateinamen: \"a\\0b\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteBytes(archive_, c.archive);
    try {
      Unpack();
      ADD_FAILURE() << "unpacked";
    } catch (const std::runtime_error& error) {
      EXPECT_EQ(std::string(error.what()), c.message);
    }
    EXPECT_TRUE(FolderNames(restored_).empty());
    EXPECT_THROW(ReadArchiveDirectory(archive_), std::runtime_error);
  }
  EXPECT_FALSE(fs::exists(root_ / "draußen"));
}

TEST_F(UnpackArchiveTest, CountUsesTheLowEightBitsOfBothCountFields) {
  Bytes archive = BuildArchive({{"eins", {'1'}}, {"zwei", {'2', '2'}}});
  archive[264] = 1;  // count 1 + second count 1 = 2
  archive[268] = 1;
  archive[265] = 1;  // 257 + 1: still 2 after keeping the low eight bits
  WriteBytes(archive_, archive);
  Unpack();
  EXPECT_EQ(FolderNames(restored_), (std::vector<std::string>{"eins", "zwei"}));
  EXPECT_EQ(ReadBytes(restored_ / "zwei"), (Bytes{'2', '2'}));
}

TEST_F(UnpackArchiveTest, TrailingBytesBehindTheLastFileAreIgnored) {
  Bytes archive = BuildArchive({{"eins", {'1'}}});
  archive.push_back('x');
  WriteBytes(archive_, archive);
  Unpack();
  EXPECT_EQ(ReadBytes(restored_ / "eins"), Bytes{'1'});
}

TEST_F(UnpackArchiveTest, ReadArchiveDirectoryGivesNamesFlagsAndSizes) {
  WriteBytes(archive_, BuildArchive({{"Gr\xFC\xDF"
                                      "e",
                                      PatternBytes(5000, 1), 33},
                                     {".h", {}, 34},
                                     {"\x80", {'x'}, 0}}));
  const std::vector<ArchiveEntry> entries = ReadArchiveDirectory(archive_);
  ASSERT_EQ(entries.size(), 3u);
  struct Expected {
    std::string name;
    std::uint32_t attributes, size;
  };
  const Expected expected[] = {{"Grüße", 33, 5000}, {".h", 34, 0}, {"€", 0, 1}};
  for (std::size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(entries[i].name, expected[i].name);
    EXPECT_EQ(entries[i].attributes, expected[i].attributes);
    EXPECT_EQ(entries[i].size, expected[i].size);
  }
}

TEST_F(UnpackArchiveTest, IoFailuresRaiseTheRunTimeError) {
  EXPECT_THROW(UnpackArchive(restored_, root_ / "fehlt.cry", "*.*", 0, progress_),
               platform::EInOutError);
  WriteBytes(archive_, BuildArchive({{"a", {'a'}}}));
  EXPECT_THROW(UnpackArchive(root_ / "fehlt", archive_, "*.*", 0, progress_),
               platform::EInOutError);
  // A folder under the stored name cannot be replaced by the file.
  fs::create_directory(restored_ / "a");
  EXPECT_THROW(Unpack(), platform::EInOutError);
  EXPECT_TRUE(fs::is_directory(restored_ / "a"));
}

}  // namespace
}  // namespace kestravuna::testing
