#include "archive/unpack_archive.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <set>

#include "archive/archive_error.h"
#include "archive/pack_folder.h"
#include "archive/tests/archive_fixture.h"
#include "platform/io_error.h"
#include "platform/utf8_path.h"

namespace kestravuna::test_support {
namespace {

class UnpackArchiveTest : public ArchiveFolderTest {
 protected:
  void Unpack() { UnpackArchive(restored_, archive_, progress_); }
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
  // The names are UTF-8: a narrow path would take them in Windows' ANSI code page.
  const auto name = [&](std::size_t i) { return platform::PathFromUtf8(cases[i].name); };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    WriteBytes(folder_ / name(i), RandomBytes(cases[i].size, static_cast<std::uint32_t>(i)));
    if (cases[i].readOnly) MakeReadOnly(folder_ / name(i));
  }
  PackFolder(folder_, archive_, progress_);
  const Bytes archive = ReadBytes(archive_);
  Unpack();

  EXPECT_EQ(FolderNames(restored_), FolderNames(folder_));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].name);
    EXPECT_EQ(ReadBytes(restored_ / name(i)),
              RandomBytes(cases[i].size, static_cast<std::uint32_t>(i)));
    EXPECT_EQ(IsReadOnly(restored_ / name(i)), cases[i].readOnly);
  }
  EXPECT_EQ(ReadBytes(archive_), archive);  // left as it was
  EXPECT_TRUE(TempFiles().empty());
}

// An archive arriving in pieces, as a decompressor writes it: wherever the pieces break (in
// the header, in a record, in a file, between files), the files are the same, and none takes
// its name before Finish.
TEST_F(UnpackArchiveTest, PiecesOfAnyLengthGiveTheSameFiles) {
  const Bytes archive = Concat({BuildArchive({{"leer", {}},
                                              {"eins", RandomBytes(3000, 1)},
                                              {"auch leer", {}},
                                              {"zwei", RandomBytes(70000, 2)},
                                              {"zuletzt leer", {}}}),
                                BytesOf("hinter der letzten Datei")});
  WriteBytes(archive_, archive);
  const auto access = platform::File::OpenRead(archive_).Access();
  for (const std::size_t piece :
       {std::size_t{1}, std::size_t{275}, std::size_t{277}, std::size_t{4096}, archive.size()}) {
    SCOPED_TRACE(piece);
    fs::remove_all(restored_);
    fs::create_directories(restored_);
    ArchiveUnpacker unpacker(restored_, static_cast<std::int64_t>(archive.size()), access, {});
    for (std::size_t at = 0; at < archive.size(); at += piece) {
      unpacker.Write(std::span(archive).subspan(at, std::min(piece, archive.size() - at)));
    }
    for (const std::string& name : FolderNames(restored_)) {
      EXPECT_TRUE(name.starts_with(".CHIFF.NEU-")) << name;
    }

    const UnpackedFiles unpacked = unpacker.Finish();

    EXPECT_EQ(FolderNames(restored_),
              (std::vector<std::string>{"auch leer", "eins", "leer", "zuletzt leer", "zwei"}));
    EXPECT_EQ(ReadBytes(restored_ / "eins"), RandomBytes(3000, 1));
    EXPECT_EQ(ReadBytes(restored_ / "zwei"), RandomBytes(70000, 2));
    EXPECT_EQ(unpacked.files.size(), 5u);
    EXPECT_TRUE(unpacked.kept.empty());
  }
}

// An archive that stops before its last file is complete, or an unpacker left without Finish
// (the decompressor failed), leaves no file behind.
TEST_F(UnpackArchiveTest, AnUnfinishedUnpackLeavesNothing) {
  const Bytes archive = BuildArchive({{"eins", RandomBytes(3000, 1)}, {"zwei", {'z'}}});
  WriteBytes(archive_, archive);
  const auto access = platform::File::OpenRead(archive_).Access();
  for (const std::size_t arrived : {std::size_t{100}, archive.size() - 1, archive.size()}) {
    SCOPED_TRACE(arrived);
    {
      ArchiveUnpacker unpacker(restored_, static_cast<std::int64_t>(archive.size()), access, {});
      unpacker.Write(std::span(archive).first(arrived));
      if (arrived < archive.size()) {
        try {
          unpacker.Finish();
          ADD_FAILURE() << "finished";
        } catch (const platform::EInOutError& error) {
          EXPECT_EQ(std::string(error.what()), "Lesen nach Dateiende (EOF)");
        }
      }
    }
    EXPECT_TRUE(FolderNames(restored_).empty());
  }
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

// What the folder holds under an archived name is never overwritten unless it has the archived
// contents: anything else keeps its name, and the archived copy goes beside it.
TEST_F(UnpackArchiveTest, NeverOverwritesWhatDiffersFromTheArchivedCopy) {
  const fs::path outside = root_ / u8"draußen.txt";
  WriteFile(outside, "unberührt");
  WriteBytes(restored_ / u8"länger", RandomBytes(10000, 7));
  WriteFile(restored_ / "gleich", "g");
  fs::create_symlink(outside, restored_ / "verweis");
  fs::create_directory(restored_ / "ordner");
  WriteFile(restored_ / "zweimal", "meins");
  WriteFile(restored_ / "zweimal (archiviert)", "auch meins");
  WriteFile(restored_ / "schon", "geändert");
  WriteFile(restored_ / "schon (archiviert)", "s");  // put there by a restore that was stopped
  WriteFile(restored_ / "bleibt", "nicht im Archiv");

  WriteBytes(archive_, BuildArchive({{"l\xE4nger", {'n', 'e', 'u'}},
                                     {"gleich", {'g'}, 33},
                                     {"verweis", {'v'}},
                                     {"ordner", {'o'}},
                                     {"zweimal", {'z'}},
                                     {"schon", {'s'}}}));
  const std::vector<KeptFile> kept = UnpackArchive(restored_, archive_, progress_).kept;

  const struct {
    const char* name;
    const char* archivedCopy;
    Bytes copy;
  } keptFiles[] = {{"länger", "länger (archiviert)", {'n', 'e', 'u'}},
                   {"verweis", "verweis (archiviert)", {'v'}},
                   {"ordner", "ordner (archiviert)", {'o'}},
                   {"zweimal", "zweimal (archiviert 2)", {'z'}},
                   {"schon", "schon (archiviert)", {'s'}}};
  ASSERT_EQ(kept.size(), std::size(keptFiles));
  for (std::size_t i = 0; i < kept.size(); ++i) {
    EXPECT_EQ(kept[i].name, keptFiles[i].name);
    EXPECT_EQ(kept[i].archivedCopy, keptFiles[i].archivedCopy);
    EXPECT_EQ(ReadBytes(restored_ / keptFiles[i].archivedCopy), keptFiles[i].copy);
  }
  EXPECT_EQ(ReadBytes(restored_ / u8"länger"), RandomBytes(10000, 7));
  EXPECT_EQ(ReadBytes(restored_ / "gleich"), Bytes{'g'});
  EXPECT_TRUE(IsReadOnly(restored_ / "gleich")) << "the archived attributes apply";
  EXPECT_TRUE(fs::is_symlink(restored_ / "verweis"));
  EXPECT_TRUE(fs::is_directory(restored_ / "ordner"));
  EXPECT_EQ(ReadBytes(restored_ / "zweimal (archiviert)").size(), std::string("auch meins").size());
  EXPECT_EQ(ReadBytes(outside),
            Bytes(std::string_view("unberührt").begin(), std::string_view("unberührt").end()));
  EXPECT_EQ(ReadBytes(restored_ / "bleibt").size(), 15u);
  EXPECT_EQ(FolderNames(restored_).size(), 13u) << "no staging file is left";
}

// A user's file whose name looks like one the unpacker might use is the user's: it stays.
// Restored files are opened to others no further than the archive was.
#ifndef _WIN32  // POSIX permission bits and users
TEST_F(UnpackArchiveTest, KeepsLookAlikeNamesAndGivesFilesTheArchivesAccess) {
  WriteFile(restored_ / ".CHIFF.NEU-a1b2c3", "meine Datei");
  WriteBytes(archive_, BuildArchive({{"offen", {'o'}}, {"nur lesen", {'r'}, 33}}));
  fs::permissions(archive_, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  Unpack();
  EXPECT_EQ(FolderNames(restored_),
            (std::vector<std::string>{".CHIFF.NEU-a1b2c3", "nur lesen", "offen"}));
  EXPECT_EQ(ReadFile(restored_ / ".CHIFF.NEU-a1b2c3"), "meine Datei");
  EXPECT_EQ(fs::status(restored_ / "offen").permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(fs::status(restored_ / "nur lesen").permissions(),
            fs::perms::owner_read | fs::perms::group_read);
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

// A read-only file that already has the archived contents is no obstacle, even where the
// user could not replace it.
TEST_F(UnpackArchiveTest, AReadOnlyFileWithTheArchivedContentsIsNoObstacleAsAnOrdinaryUser) {
  WriteBytes(archive_, BuildArchive({{"alt", {'n', 'e', 'u'}, 33}}));
  WriteFile(restored_ / "alt", "neu");
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
  EXPECT_EQ(FolderNames(restored_), std::vector<std::string>{"alt"});
}
#endif  // _WIN32

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
  EXPECT_FALSE(fs::exists(root_ / u8"draußen"));
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
                                      RandomBytes(5000, 1), 33},
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

#ifndef _WIN32  // POSIX permission bits
TEST_F(UnpackArchiveTest, IoFailuresRaiseTheRunTimeError) {
  EXPECT_THROW(UnpackArchive(restored_, root_ / "fehlt.cry", progress_), platform::EInOutError);
  WriteBytes(archive_, BuildArchive({{"a", {'a'}}}));
  EXPECT_THROW(UnpackArchive(root_ / "fehlt", archive_, progress_), platform::EInOutError);
  // A folder that cannot take a new file.
  fs::permissions(restored_, fs::perms::owner_read | fs::perms::owner_exec);
  if (::geteuid() != 0) {
    EXPECT_THROW(Unpack(), platform::EInOutError);
  }
  fs::permissions(restored_, fs::perms::owner_all);
}
#endif  // _WIN32

// Names the caller removes at its end (a restore's own files): an archived file of such a name
// comes back beside it, so that the cleanup never removes a restored file.
TEST_F(UnpackArchiveTest, ReservedNamesComeBackBeside) {
  WriteBytes(archive_, BuildArchive({{"CHIFF.TMP", {'t'}}, {"CHIFF.CRD", {'d'}}, {"frei", {'f'}}}));
  UnpackArchive(restored_, archive_, progress_, {"CHIFF.TMP", "CHIFF.CRD"});
  EXPECT_EQ(FolderNames(restored_),
            (std::vector<std::string>{"CHIFF.CRD (archiviert)", "CHIFF.TMP (archiviert)", "frei"}));
  EXPECT_EQ(ReadBytes(restored_ / "CHIFF.TMP (archiviert)"), Bytes{'t'});
}

// A name this folder cannot hold (130 "ä" are 130 bytes in the archive's code page, 260 in
// UTF-8, more than a Linux name may have) stops the unpack before any file takes its name.
#ifndef _WIN32
TEST_F(UnpackArchiveTest, ANameTheFolderCannotHoldPlacesNoFileAtAll) {
  WriteBytes(archive_, BuildArchive({{"zuerst", {'z'}}, {std::string(130, '\xE4'), {'a'}}}));
  try {
    Unpack();
    ADD_FAILURE() << "a name of 260 bytes was placed";
  } catch (const platform::EInOutError& error) {
    EXPECT_EQ(error.ErrorNumber(), platform::io_error::kInvalidFileName);
  }
  EXPECT_TRUE(FolderNames(restored_).empty());
}
#endif

}  // namespace
}  // namespace kestravuna::test_support
