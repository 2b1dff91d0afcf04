#include "protect/folder_protector.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "archive/archive_error.h"
#include "archive/pack_folder.h"
#include "platform/file_system.h"
#include "platform/folder_listing.h"
#include "platform/io_error.h"
#include "platform/utf8_path.h"
#include "protect/container_check.h"
#include "protect/password_record.h"
#include "protect/protect_error.h"
#include "protect/tests/protector_fixture.h"
#include "protect/tests/recording_view.h"
#include "test_support/environment.h"
#include "test_support/temp_folder.h"

namespace kestravuna {
namespace {

using test_support::ReadFile;
using test_support::RecordingView;
using test_support::Shown;
using test_support::Snapshot;
using test_support::TempFolder;
using test_support::WriteFile;
namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

constexpr const char* kPassword = "Geheim";

// Every event from `first` on that starts with one of the prefixes.
std::vector<std::string> EventsOf(const RecordingView& view,
                                  std::initializer_list<std::string_view> prefixes) {
  std::vector<std::string> picked;
  for (const std::string& event : view.events) {
    if (std::ranges::any_of(prefixes, [&](std::string_view p) { return event.starts_with(p); })) {
      picked.push_back(event);
    }
  }
  return picked;
}

void FlipByte(const fs::path& file, std::size_t offset) {
  std::string contents = ReadFile(file);
  contents.at(offset) = static_cast<char>(contents[offset] ^ 0x5A);
  WriteFile(file, contents);
}

class ProtectorTest : public test_support::ProtectorFixture {
 protected:
  // A folder as users have them: text and binary files, an empty and a read-only file, a
  // name with umlauts, a hidden file and a subfolder.
  void FillFolder() {
    WriteFile(folder / "brief.txt", "Sehr geehrte Damen und Herren,\n");
    WriteFile(folder / "daten.bin", test_support::TextOf(test_support::RandomBytes(70'000, 1)));
    WriteFile(folder / "leer", "");
    WriteFile(folder / "Größe ändern.txt", std::string(5'000, 'x'));
    WriteFile(folder / "schreibgeschützt.txt", "fest");
    fs::permissions(folder / "schreibgeschützt.txt", fs::perms::owner_read | fs::perms::group_read);
    WriteFile(folder / ".versteckt", "hidden");
    WriteFile(folder / "unter" / "innen.txt", "bleibt");
  }

  bool Exists(std::string_view name) const { return fs::exists(folder / name); }
};

TEST_F(ProtectorTest, ProtectKeepsHiddenFilesAndSubfoldersAndRestoreBringsEverythingBack) {
  FillFolder();
  const Files before = Snapshot(folder.path());

  protector.EncodeFolder(kPassword);

  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(folder.path())) {
    left.push_back(entry.path().filename().string());
  }
  std::ranges::sort(left);
  EXPECT_EQ(left, (std::vector<std::string>{".versteckt", "CHIFF.CRD", "CHIFF.CRY", "unter"}));
  EXPECT_TRUE(IsContainerFile(folder / "CHIFF.CRY"));
  EXPECT_EQ(ReadPasswordRecord(folder / "CHIFF.CRD"), kPassword);
  EXPECT_EQ(ReadFile(folder / "unter" / "innen.txt"), "bleibt");
  // The record is written before the files are deleted, so the closing scan counts it.
  EXPECT_EQ(protector.Scan().Statistics().fileCount, 3);  // CHIFF.CRY, CHIFF.CRD, innen.txt
  EXPECT_FALSE(view.actions[Action::Protect]);
  EXPECT_TRUE(view.actions[Action::Restore]);
  EXPECT_EQ(view.progress, 100);

  protector.DecodeFolder(kPassword);

  EXPECT_EQ(Snapshot(folder.path()), before);
  EXPECT_NE(platform::GetAttributes(folder / "schreibgeschützt.txt") & platform::attr::kReadOnly,
            0u);
  EXPECT_TRUE(view.actions[Action::Protect]);
  EXPECT_FALSE(view.actions[Action::Restore]);
  EXPECT_EQ(view.progress, 100);
  EXPECT_TRUE(fs::is_empty(platform::PrivateTempDir()));  // no temporary file stays behind
}

TEST_F(ProtectorTest, ProtectTellsTheWindowEveryStepInOrder) {
  WriteFile(folder / "a.txt", "a");

  protector.EncodeFolder(kPassword);

  const std::vector<std::string> expected = {"busy=1",
                                             "wait=shown",
                                             "status=Kodierung läuft...",
                                             "status=Kodiere a.txt...",
                                             "status=Prüfung...",
                                             "status=Moment...",
                                             "status=bereit",
                                             "status=Kodierung abgeschlossen.",
                                             "wait=hidden",
                                             "status=Analyse läuft...",
                                             "status=bereit",
                                             "progress=100",
                                             "busy=0"};
  EXPECT_EQ(EventsOf(view, {"busy", "wait", "status", "progress=100"}), expected);
}

TEST_F(ProtectorTest, RestoreTellsTheWindowEveryStepInOrder) {
  WriteFile(folder / "a.txt", "a");
  protector.EncodeFolder(kPassword);
  view.Clear();

  protector.DecodeFolder(kPassword);

  const std::vector<std::string> expected = {"busy=1",
                                             "wait=shown",
                                             "status=Dekodierung läuft...",
                                             "status=Dekodiere a.txt...",
                                             "wait=hidden",
                                             "status=Dekodierung abgeschlossen.",
                                             "status=Analyse läuft...",
                                             "status=bereit",
                                             "progress=100",
                                             "busy=0"};
  EXPECT_EQ(EventsOf(view, {"busy", "wait", "status", "progress=100"}), expected);
}

// While the wait window is up the bar follows the bytes packed and coded, or decoded: it only
// grows, passes through many positions, stays short of 100 until the run is done, then shows 100.
TEST_F(ProtectorTest, TheProgressBarFollowsTheBytesOfARun) {
  WriteFile(folder / "gross.bin", test_support::TextOf(test_support::RandomBytes(1'500'000, 3)));
  WriteFile(folder / "text", std::string(1'000'000, 't'));
  const auto duringTheRun = [&] {
    std::vector<int> positions;
    bool waiting = false;
    for (const std::string& event : view.events) {
      if (event == "wait=shown" || event == "wait=hidden") waiting = event == "wait=shown";
      if (waiting && event.starts_with("progress="))
        positions.push_back(std::stoi(event.substr(9)));
    }
    return positions;
  };
  struct Step {
    const char* what;
    std::function<void()> run;
    int last;  // the furthest the bar goes while the wait window is up
  } steps[] = {
      {"protect", [&] { protector.EncodeFolder(kPassword); }, kProgressCoded},
      {"restore", [&] { protector.DecodeFolder(kPassword); }, kProgressDecoded},
  };
  for (const Step& step : steps) {
    view.Clear();
    step.run();
    const std::vector<int> positions = duringTheRun();
    EXPECT_TRUE(std::ranges::is_sorted(positions)) << step.what;
    EXPECT_GE(std::set<int>(positions.begin(), positions.end()).size(), 20u) << step.what;
    ASSERT_FALSE(positions.empty()) << step.what;
    // The last pump of a step may come before its last chunk is counted.
    EXPECT_LE(positions.back(), step.last) << step.what;
    EXPECT_GE(positions.back(), step.last - 2) << step.what;
    EXPECT_EQ(view.progress, 100) << step.what;
  }
}

TEST_F(ProtectorTest, TheEnteredPasswordMustHoldTheStoredOne) {
  struct Case {
    const char* stored;
    const char* entered;
    bool accepted;
  } cases[] = {
      {"Geheim", "Geheim", true},
      {"Geheim", "xxGeheimyy", true},
      {"Geheim", "Geh", false},
      {"Geheim", "geheim", false},
      {"Schlüssel", "Schlüssel", true},  // stored in the code page, entered in UTF-8
      {"Schlüssel", "Schlussel", false},
      {"@VOID#", "@VOID#", true},  // what both dialogs pass for an empty field
      {"   ", "   ", true},
      // only the first 30 characters are stored, and the whole entry holds them
      {"0123456789012345678901234567890123456789", "0123456789012345678901234567890123456789",
       true},
  };
  for (const Case& c : cases) {
    TempFolder caseFolder;
    WriteFile(caseFolder / "f", "content");
    protector.ChooseFolder(caseFolder.path());
    protector.EncodeFolder(c.stored);
    view.Clear();

    protector.DecodeFolder(c.entered);

    EXPECT_EQ(fs::exists(caseFolder / "f"), c.accepted) << c.stored << " / " << c.entered;
    if (!c.accepted) {
      ASSERT_EQ(view.boxes.size(), 1u);
      EXPECT_EQ(view.boxes[0].caption, "Falsches Passwort !");
      EXPECT_EQ(view.boxes[0].text, "Sie haben keine Berechtigung zu dieser Aktion !");
      EXPECT_EQ(view.boxes[0].icon, BoxIcon::Error);
      EXPECT_EQ(view.boxes[0].owner, BoxOwner::None);
      EXPECT_EQ(view.events, std::vector<std::string>{"box=Falsches Passwort !"});  // nothing else
      EXPECT_TRUE(fs::exists(caseFolder / "CHIFF.CRY") && fs::exists(caseFolder / "CHIFF.CRD"));
    }
  }
}

TEST_F(ProtectorTest, WithoutItsRecordAProtectedFolderRefusesEveryPassword) {
  WriteFile(folder / "f", "content");
  protector.EncodeFolder(kPassword);
  fs::remove(folder / "CHIFF.CRD");
  view.Clear();

  for (const char* entered : {kPassword, "", "@VOID#"}) protector.DecodeFolder(entered);

  EXPECT_EQ(view.boxes.size(), 3u);
  EXPECT_TRUE(IsContainerFile(folder / "CHIFF.CRY"));
}

TEST_F(ProtectorTest, OnlyFilesTheArchiveHoldsAreDeleted) {
  WriteFile(folder / "gepackt", "1");
  WriteFile(folder / "TEMP1.CRY", "left out by the packer");
  WriteFile(folder / "altTEMP2.CRY.bak", "left out by the packer");
  const Files before = Snapshot(folder.path());

  protector.EncodeFolder(kPassword);

  EXPECT_FALSE(Exists("gepackt"));
  EXPECT_TRUE(Exists("TEMP1.CRY"));
  EXPECT_TRUE(Exists("altTEMP2.CRY.bak"));
  protector.DecodeFolder(kPassword);
  EXPECT_EQ(Snapshot(folder.path()), before);
}

TEST_F(ProtectorTest, ARestoresLeftoverRecordIsClearedBeforePacking) {
  WriteFile(folder / "a", "a");
  // What a restore stopped between removing the container and the record leaves.
  WriteFile(folder / "CHIFF.CRD", "");
  WriteFile(folder / "ALTCHIFF.CRD", "a user's file with the program's mark");

  protector.EncodeFolder(kPassword);

  EXPECT_EQ(ReadPasswordRecord(folder / "CHIFF.CRD"), kPassword);
  EXPECT_TRUE(Exists("ALTCHIFF.CRD"));  // packed, and kept by the survivor rule
  protector.DecodeFolder(kPassword);
  EXPECT_EQ(Snapshot(folder.path()),
            (Files{{"a", "a"}, {"ALTCHIFF.CRD", "a user's file with the program's mark"}}));
}

// A run of the program leaves CHIFF.TMP only beside the plain archive it came from. Found
// alone, even looking like a container cut short, it is someone else's: protect refuses and
// changes nothing, instead of deleting it or packing it.
TEST_F(ProtectorTest, ACompressorOutputWithoutContainerIsSomeoneElses) {
  WriteFile(folder / "a", "a");
  WriteFile(folder / "CHIFF.TMP", std::string("!HZL\x10\0\0\0", 8) + "cut off");
  const Files before = Snapshot(folder.path());

  try {
    protector.EncodeFolder(kPassword);
    ADD_FAILURE() << "protected beside someone else's CHIFF.TMP";
  } catch (const EProtectError& error) {
    EXPECT_EQ(error.Fault(), ProtectFault::ForeignFile);
    EXPECT_NE(std::string(error.what()).find("CHIFF.TMP"), std::string::npos) << error.what();
  }
  EXPECT_EQ(Snapshot(folder.path()), before);
}

TEST_F(ProtectorTest, DeletePlainFilesSparesWhatTheArchiveLacksAndTheProgramsOwnNames) {
  for (const char* name :
       {"archiviert", "neu", "ALTCHIFF.CRD", ".versteckt", "nurlesen", "danach geändert"}) {
    WriteFile(folder / name, "x");
  }
  fs::permissions(folder / "nurlesen", fs::perms::owner_read);
  const std::vector<platform::FolderEntry> packed = platform::ListFolder(folder.path());
  // Written to after it was packed: the container holds an older state.
  WriteFile(folder / "danach geändert", "a later edit");
  const std::vector<ArchiveEntry> archived = {{"archiviert", 32, 1},
                                              {"ALTCHIFF.CRD", 32, 1},
                                              {".versteckt", 34, 1},
                                              {"nurlesen", 33, 1},
                                              {"danach geändert", 32, 1}};

  EXPECT_EQ(protector.DeletePlainFiles(folder.path(), archived, packed),
            std::vector<std::string>{"danach geändert"});

  for (const auto& [name, kept] :
       std::vector<std::pair<const char*, bool>>{{"archiviert", false},
                                                 {"neu", true},
                                                 {"ALTCHIFF.CRD", true},
                                                 {".versteckt", true},
                                                 {"nurlesen", false},
                                                 {"danach geändert", true}}) {
    EXPECT_EQ(Exists(name), kept) << name;
  }
  EXPECT_EQ(view.LabelTexts(Shown::Status), (std::vector<std::string>{"Moment...", "bereit"}));
}

TEST_F(ProtectorTest, TheRecordIsOnDiskBeforeTheFirstFileIsDeleted) {
  WriteFile(folder / "a", "a");
  WriteFile(folder / "b", "b");
  bool checked = false;
  view.onPump = [&] {
    if (checked || view.labels[Shown::Status] != "Moment...") return;
    checked = true;
    EXPECT_EQ(ReadPasswordRecord(folder / "CHIFF.CRD"), kPassword);
    EXPECT_TRUE(IsContainerFile(folder / "CHIFF.CRY"));
    EXPECT_FALSE(Exists("CHIFF.TMP"));
  };

  protector.EncodeFolder(kPassword);

  EXPECT_TRUE(checked);
}

#ifdef _WIN32
// Windows marks files hidden or system by attribute, whatever their names: such files are no
// plain files and stay where they are; a read-only file comes back read-only.
TEST_F(ProtectorTest, RealHiddenAndSystemFilesStayAndReadOnlyComesBack) {
  WriteFile(folder / "brief.txt", "Sehr geehrte Damen und Herren,\n");
  WriteFile(folder / "versteckt.txt", "versteckt");
  WriteFile(folder / "system.dat", "system");
  WriteFile(folder / "fest.txt", "fest");
  platform::SetAttributes(folder / "versteckt.txt", platform::attr::kHidden);
  platform::SetAttributes(folder / "system.dat", platform::attr::kSystem);
  platform::SetAttributes(folder / "fest.txt", platform::attr::kReadOnly);

  protector.EncodeFolder(kPassword);
  EXPECT_FALSE(Exists("brief.txt"));
  EXPECT_FALSE(Exists("fest.txt"));
  EXPECT_EQ(ReadFile(folder / "versteckt.txt"), "versteckt");
  EXPECT_EQ(ReadFile(folder / "system.dat"), "system");

  protector.DecodeFolder(kPassword);
  EXPECT_EQ(ReadFile(folder / "brief.txt"), "Sehr geehrte Damen und Herren,\n");
  EXPECT_EQ(ReadFile(folder / "fest.txt"), "fest");
  EXPECT_NE(platform::GetAttributes(folder / "fest.txt") & platform::attr::kReadOnly, 0u);
  EXPECT_NE(platform::GetAttributes(folder / "system.dat") & platform::attr::kSystem, 0u);
  EXPECT_FALSE(Exists("CHIFF.CRY"));
}
#endif

TEST_F(ProtectorTest, AContainerThatDoesNotGiveBackTheArchiveStopsProtectBeforeAnyDeletion) {
  WriteFile(folder / "daten.bin", test_support::TextOf(test_support::RandomBytes(50'000, 2)));
  WriteFile(folder / "text", std::string(20'000, 't'));
  const Files before = Snapshot(folder.path());
  bool corrupted = false;
  view.onPump = [&] {
    // Damage the piece the compressor has just written, as a faulty write path would: the
    // check, which reads the file behind the compressor, has not read it yet.
    const fs::path compressed = folder / "CHIFF.TMP";
    if (corrupted || !fs::exists(compressed) || fs::file_size(compressed) < 1000) return;
    corrupted = true;
    FlipByte(compressed, fs::file_size(compressed) - 500);
  };

  try {
    protector.EncodeFolder(kPassword);
    FAIL() << "protect went on with a damaged container";
  } catch (const EProtectError& error) {
    EXPECT_EQ(error.Fault(), ProtectFault::VerifyFailed);
    EXPECT_EQ(view.labels[Shown::Status], "Prüfung...");
  }
  EXPECT_TRUE(corrupted);
  EXPECT_FALSE(Exists("CHIFF.CRD"));
  Files after = Snapshot(folder.path());
  for (const auto& [name, contents] : before) EXPECT_EQ(after[name], contents) << name;
  EXPECT_FALSE(view.waitShown);
  EXPECT_FALSE(protector.IsBusy());
}

TEST_F(ProtectorTest, AFileWrittenToAfterPackingStopsProtectAndKeepsTheChange) {
  WriteFile(folder / "brief.txt", "erste Fassung");
  WriteFile(folder / "notiz", std::string(20'000, 'n'));
  bool edited = false;
  view.onPump = [&] {
    // The user saves a new version while the container is being written.
    if (edited || view.labels[Shown::Status] != "Prüfung...") return;
    edited = true;
    WriteFile(folder / "brief.txt", "zweite Fassung, nach dem Packen gespeichert");
  };

  try {
    protector.EncodeFolder(kPassword);
    FAIL() << "protect deleted a file that changed after it was packed";
  } catch (const EProtectError& error) {
    EXPECT_EQ(error.Fault(), ProtectFault::ChangedWhileProtected);
    EXPECT_STREQ(error.what(),
                 "Die Datei brief.txt wurde während der Kodierung verändert. Der Ordner bleibt "
                 "unverschlüsselt; es wurde keine Datei gelöscht.");
  }
  EXPECT_TRUE(edited);
  EXPECT_EQ(Snapshot(folder.path()),
            (Files{{"brief.txt", "zweite Fassung, nach dem Packen gespeichert"},
                   {"notiz", std::string(20'000, 'n')}}));
}

TEST_F(ProtectorTest, FailuresBeforeTheDeletionLeaveEveryFile) {
  struct Case {
    const char* what;
    void (*prepare)(const TempFolder&);
    const char* password;
    const char* message;
  } cases[] = {
      {"already protected", [](const TempFolder& f) { WriteFile(f / "CHIFF.CRY", "old"); },
       kPassword,
       "Der Ordner enthält bereits eine Datei CHIFF.CRY und kann nur wiederhergestellt werden."},
      {"password outside the code page", [](const TempFolder&) {}, "密码",
       "Das Passwort enthält Zeichen, die nicht gespeichert werden können."},
      {"a folder named CHIFF.CRD",
       [](const TempFolder& f) { fs::create_directory(f / "CHIFF.CRD"); }, kPassword,
       "Der Ordner enthält eine fremde Datei CHIFF.CRD, die Kestravuna überschreiben müsste. "
       "Bitte benennen Sie sie um; es wurde nichts verändert."},
      {"a link named CHIFF.TMP",
       [](const TempFolder& f) { fs::create_symlink("behalten", f / "CHIFF.TMP"); }, kPassword,
       "Der Ordner enthält eine fremde Datei CHIFF.TMP, die Kestravuna überschreiben müsste. "
       "Bitte benennen Sie sie um; es wurde nichts verändert."},
      {"a folder named CHIFF.CRY",
       [](const TempFolder& f) { fs::create_directory(f / "CHIFF.CRY"); }, kPassword,
       "Der Ordner enthält eine fremde Datei CHIFF.CRY, die Kestravuna überschreiben müsste. "
       "Bitte benennen Sie sie um; es wurde nichts verändert."},
      {"a name the unpacker would refuse", [](const TempFolder& f) { WriteFile(f / "a\\b", "x"); },
       kPassword, "Der Dateiname lässt sich nicht im Archiv speichern: a\\b"},
      {"someone else's CHIFF.TMP",
       [](const TempFolder& f) { WriteFile(f / "CHIFF.TMP", "meine Notizen"); }, kPassword,
       "Der Ordner enthält eine fremde Datei CHIFF.TMP, die Kestravuna überschreiben müsste. "
       "Bitte benennen Sie sie um; es wurde nichts verändert."},
      {"someone else's CHIFF.CRD",
       [](const TempFolder& f) { WriteFile(f / "CHIFF.CRD", "Kundendaten"); }, kPassword,
       "Der Ordner enthält eine fremde Datei CHIFF.CRD, die Kestravuna überschreiben müsste. "
       "Bitte benennen Sie sie um; es wurde nichts verändert."},
      {"too many files",
       [](const TempFolder& f) {
         for (int i = 0; i < 256; ++i) WriteFile(f / ("n" + std::to_string(i)), "");
       },
       kPassword, "Der Ordner enthält mehr als 255 Dateien; das Archiv kann sie nicht aufnehmen."},
  };
  for (const Case& c : cases) {
    TempFolder caseFolder;
    WriteFile(caseFolder / "behalten", "keep me");
    c.prepare(caseFolder);
    const Files before = Snapshot(caseFolder.path());
    protector.ChooseFolder(caseFolder.path());

    try {
      protector.EncodeFolder(c.password);
      ADD_FAILURE() << c.what << ": no error";
    } catch (const std::exception& error) {
      EXPECT_STREQ(error.what(), c.message) << c.what;
    }

    Files after = Snapshot(caseFolder.path());
    for (const auto& [name, contents] : before) {
      EXPECT_EQ(after[name], contents) << c.what << ": " << name;
    }
    EXPECT_FALSE(view.waitShown) << c.what;
    EXPECT_FALSE(protector.IsBusy()) << c.what;
  }
}

// CHIFF.TMP is the compressor's name, but a restore writes none: a user's file under it, even
// a container made with the command-line tool, stays as it is, and so does a link.
TEST_F(ProtectorTest, RestoreLeavesSomeoneElsesFileNamedLikeTheCompressorOutputAlone) {
  FillFolder();
  const Files contents = Snapshot(folder.path());
  protector.EncodeFolder(kPassword);
  const fs::path own = folder / "eigen.cry";
  WriteFile(own, "nicht von diesem Ordner");
  TZarLZ compressor;
  compressor.InputFile = own.string();
  compressor.OutputFile = (folder / "CHIFF.TMP").string();
  compressor.Compress();
  fs::remove(own);
  const std::string foreignContainer = ReadFile(folder / "CHIFF.TMP");

  protector.DecodeFolder(kPassword);

  Files expected = contents;
  expected["CHIFF.TMP"] = foreignContainer;
  EXPECT_EQ(Snapshot(folder.path()), expected);
}

// The container is decoded straight into the files; one that turns out damaged only at its
// end must still leave the folder as it was: no file takes its name, none is half-written, and
// nothing written under a temporary name stays behind.
TEST_F(ProtectorTest, ADamagedContainerLeavesTheFolderAsItWas) {
  FillFolder();
  protector.EncodeFolder(kPassword);
  const std::string container = ReadFile(folder / "CHIFF.CRY");
  WriteFile(folder / "brief.txt", "seit dem Schützen neu geschrieben");
  struct Case {
    const char* what;
    std::string container;
  } cases[] = {
      {"cut in half", container.substr(0, container.size() / 2)},
      {"one byte short", container.substr(0, container.size() - 1)},
      {"size field too large", container.substr(0, 4) + '\xFF' + container.substr(5)},
  };
  for (const Case& c : cases) {
    WriteFile(folder / "CHIFF.CRY", c.container);
    const Files before = Snapshot(folder.path());

    EXPECT_THROW(protector.DecodeFolder(kPassword), std::runtime_error) << c.what;

    EXPECT_EQ(Snapshot(folder.path()), before) << c.what;
  }
}

TEST_F(ProtectorTest, AnInterruptedRestoreCompletesWhenRunAgain) {
  FillFolder();
  const Files before = Snapshot(folder.path());
  protector.EncodeFolder(kPassword);
  struct Interrupted {};
  // Stopped while the files are written, as the second begins.
  std::set<std::string> filesBegun;
  view.onPump = [&] {
    const std::string& status = view.labels[Shown::Status];
    if (status.starts_with("Dekodiere ") && filesBegun.insert(status).second &&
        filesBegun.size() == 2) {
      throw Interrupted{};
    }
  };

  EXPECT_THROW(protector.DecodeFolder(kPassword), Interrupted);

  EXPECT_TRUE(IsContainerFile(folder / "CHIFF.CRY"));
  EXPECT_EQ(ReadPasswordRecord(folder / "CHIFF.CRD"), kPassword);
  view.onPump = nullptr;
  protector.DecodeFolder(kPassword);
  EXPECT_EQ(Snapshot(folder.path()), before);
}

// The plain archive under the container's name, as an interrupted run leaves it.
class LeftoverTest : public ProtectorTest {
 protected:
  void SetUp() override {
    ProtectorTest::SetUp();
    WriteFile(folder / "eins", "1111");
    WriteFile(folder / "zwei", std::string(3000, '2'));
    before = Snapshot(folder.path());
    PackFolder(folder.path(), folder / "CHIFF.CRY", {});
  }
  Files before;
};

TEST_F(LeftoverTest, APlainArchiveWithoutRecordGoesWithoutAPassword) {
  protector.DecodeFolder("anything");

  EXPECT_TRUE(view.boxes.empty());
  EXPECT_EQ(Snapshot(folder.path()), before);
  EXPECT_TRUE(view.actions[Action::Protect]);
}

TEST_F(LeftoverTest, AForeignFileUnderTheContainerNameIsNeverTakenForALeftover) {
  fs::remove(folder / "CHIFF.CRY");
  WriteFile(folder / "CHIFF.CRY", "somebody else's notes, the only copy");
  before = Snapshot(folder.path());

  protector.DecodeFolder("anything");

  EXPECT_EQ(view.boxes.size(), 1u);  // no record: refused like any protected folder without one
  EXPECT_EQ(Snapshot(folder.path()), before);
}

TEST_F(LeftoverTest, APlainArchiveWhoseFilesAreAllPresentGoesWithoutAPassword) {
  WritePasswordRecord(folder / "CHIFF.CRD", kPassword);

  protector.DecodeFolder("wrong");

  EXPECT_TRUE(view.boxes.empty());
  EXPECT_EQ(Snapshot(folder.path()), before);
}

// A protect stopped after its record was written, and a file edited since: removing the plain
// archive would lose the archived version, so it is unpacked after the password test, keeping
// the edit and putting the archived version beside it.
TEST_F(LeftoverTest, APlainArchiveWhoseFileWasEditedSinceIsUnpackedKeepingTheEdit) {
  WritePasswordRecord(folder / "CHIFF.CRD", kPassword);
  TZarLZ compressor;
  compressor.InputFile = (folder / "CHIFF.CRY").string();
  compressor.OutputFile = (folder / "CHIFF.TMP").string();
  compressor.Compress();
  WriteFile(folder / "zwei", "edited after the interruption");
  const Files interrupted = Snapshot(folder.path());

  protector.DecodeFolder("wrong");
  EXPECT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(Snapshot(folder.path()), interrupted);

  protector.DecodeFolder(kPassword);
  EXPECT_EQ(Snapshot(folder.path()), (Files{{"eins", "1111"},
                                            {"zwei", "edited after the interruption"},
                                            {"zwei (archiviert)", std::string(3000, '2')}}));
  ASSERT_EQ(view.boxes.size(), 2u);
  EXPECT_EQ(view.boxes.back().caption, "Geänderte Dateien behalten");
  EXPECT_NE(view.boxes.back().text.find("zwei → zwei (archiviert)"), std::string::npos);
}

// Someone's plain archive named CHIFF.CRY, without a record, whose files are not all in the
// folder: the only copy of something, never removed.
TEST_F(LeftoverTest, AnArchiveOfAnotherFolderWithoutRecordIsNeverRemoved) {
  fs::remove(folder / "zwei");
  before = Snapshot(folder.path());
  try {
    protector.DecodeFolder("anything");
    ADD_FAILURE() << "no refusal";
  } catch (const EProtectError& error) {
    EXPECT_EQ(error.Fault(), ProtectFault::UnknownPlainArchive);
  }
  EXPECT_EQ(Snapshot(folder.path()), before);
}

// Cut short while it was packed (a protect killed then): whatever it holds is in the folder.
TEST_F(LeftoverTest, AnArchiveCutShortWhoseBytesAreAllInTheFolderGoesWithoutAPassword) {
  const std::string archive = ReadFile(folder / "CHIFF.CRY");
  for (const std::size_t length : {std::size_t{5}, std::size_t{300}, archive.size() - 1000}) {
    fs::remove(folder / "CHIFF.CRY");
    WriteFile(folder / "CHIFF.CRY", archive.substr(0, length));
    protector.DecodeFolder("anything");
    EXPECT_EQ(Snapshot(folder.path()), before) << length;
  }
}

TEST_F(LeftoverTest, APlainArchiveWithMissingFilesIsUnpackedAfterThePasswordTest) {
  // An earlier restore stopped half-way through unpacking the plain archive.
  WritePasswordRecord(folder / "CHIFF.CRD", kPassword);
  fs::remove(folder / "zwei");

  protector.DecodeFolder("wrong");
  EXPECT_EQ(view.boxes.size(), 1u);
  EXPECT_TRUE(Exists("CHIFF.CRY"));

  protector.DecodeFolder(kPassword);
  EXPECT_EQ(Snapshot(folder.path()), before);
}

TEST_F(ProtectorTest, ARunRefusesToStartAnotherOrToChangeTheFolderUnderIt) {
  WriteFile(folder / "a", "a");
  TempFolder other;
  WriteFile(other / "b", "b");
  bool tried = false;
  view.onPump = [&] {
    if (tried) return;
    tried = true;
    EXPECT_TRUE(view.busy);
    protector.EncodeFolder(kPassword);
    protector.DecodeFolder(kPassword);
    EXPECT_FALSE(protector.ChooseFolder(other.path()));
    protector.ChooseDrive(other.path());
    protector.WindowActivated();
  };

  protector.EncodeFolder(kPassword);

  EXPECT_TRUE(tried);
  EXPECT_EQ(protector.CurrentFolder(), folder.path());
  EXPECT_EQ(std::ranges::count(view.events, std::string("busy=1")), 1);
  EXPECT_EQ(std::ranges::count(view.events, std::string("wait=shown")), 1);
  EXPECT_EQ(ReadFile(other / "b"), "b");
  EXPECT_TRUE(IsContainerFile(folder / "CHIFF.CRY"));
  EXPECT_FALSE(view.busy);
}

TEST_F(ProtectorTest, AnEmptyPasswordFieldIsNotedOnProtectAndStandsForTheSameTextOnRestore) {
  const std::string note = "box=Sicherheitshinweis";
  struct Case {
    const char* typedOnProtect;
    const char* typedOnRestore;
    const char* stored;  // what the record holds
    bool noted;          // the "Sicherheitshinweis" box before the run
    bool restored;
  } cases[] = {
      {"", "", "@VOID#", true, true},
      {"", "@VOID#", "@VOID#", true, true},  // the empty field is that text, nothing else
      {"Geheim", "", "Geheim", false, false},
      {"   ", "   ", "   ", false, true},  // blanks are typed, not empty
  };
  for (const Case& c : cases) {
    TempFolder caseFolder;
    WriteFile(caseFolder / "f", "content");
    protector.ChooseFolder(caseFolder.path());
    view.Clear();

    protector.ProtectWithTypedPassword(c.typedOnProtect);

    const std::string what = std::string("'") + c.typedOnProtect + "' / '" + c.typedOnRestore + "'";
    EXPECT_EQ(std::ranges::count(view.events, note), c.noted ? 1 : 0) << what;
    if (c.noted) {
      EXPECT_EQ(view.events.front(), note) << what;  // before the run starts
      EXPECT_EQ(view.boxes.front().text,
                "Sie haben kein Passwort festgelegt. Das Verzeichnis wird ohne Passwort "
                "verschlüsselt!");
      EXPECT_EQ(view.boxes.front().icon, BoxIcon::Information);
      EXPECT_EQ(view.boxes.front().owner, BoxOwner::None);
    }
    EXPECT_EQ(ReadPasswordRecord(caseFolder / "CHIFF.CRD"), c.stored) << what;
    view.Clear();

    protector.RestoreWithTypedPassword(c.typedOnRestore);

    EXPECT_EQ(fs::exists(caseFolder / "f"), c.restored) << what;
    EXPECT_EQ(std::ranges::count(view.events, note), 0) << what;
    protector.ChooseFolder(folder.path());  // the case's folder is left before it goes
  }
}

TEST_F(ProtectorTest, AnEmptyFieldDuringARunIsNeitherNotedNorRun) {
  WriteFile(folder / "a", "a");
  bool tried = false;
  view.onPump = [&] {
    if (tried) return;
    tried = true;
    protector.ProtectWithTypedPassword("");
    protector.RestoreWithTypedPassword("");
  };

  protector.EncodeFolder(kPassword);

  EXPECT_TRUE(tried);
  EXPECT_TRUE(view.boxes.empty());
  EXPECT_EQ(ReadPasswordRecord(folder / "CHIFF.CRD"), kPassword);
}

TEST_F(ProtectorTest, AChosenFolderIsTheWorkingDirectoryBeforeItIsAnnounced) {
  WriteFile(folder / "unter" / "innen.txt", "x");
  fs::path workingDirectoryWhenShown;
  struct EnteringView : RecordingView {
    fs::path* seen = nullptr;
    void ShowFolder(const fs::path& shown) override {
      *seen = fs::current_path();
      RecordingView::ShowFolder(shown);
    }
  } enteringView;
  enteringView.seen = &workingDirectoryWhenShown;
  FolderProtector chooser(enteringView);

  const fs::path subfolder = fs::canonical(folder / "unter");
  EXPECT_TRUE(chooser.ChooseFolder(subfolder));
  EXPECT_EQ(workingDirectoryWhenShown, subfolder);
  EXPECT_EQ(fs::current_path(), subfolder);

  // A folder that cannot be entered changes nothing and says why.
  enteringView.Clear();
  try {
    chooser.ChooseFolder(folder / "fehlt");
    ADD_FAILURE() << "a missing folder was chosen";
  } catch (const platform::EInOutError& error) {
    EXPECT_EQ(error.ErrorNumber(), platform::io_error::kFileNotFound) << error.what();
  }
  EXPECT_TRUE(enteringView.events.empty());
  EXPECT_EQ(chooser.CurrentFolder(), subfolder);
  EXPECT_EQ(fs::current_path(), subfolder);

  FolderProtector::StartIn(folder.path());
  EXPECT_EQ(fs::current_path(), fs::canonical(folder.path()));
  EXPECT_THROW(FolderProtector::StartIn(folder / "fehlt"), platform::EInOutError);
}

TEST_F(ProtectorTest, TheFirstDisksRootIsRefused) {
  view.labels[Shown::Files] = "7";

  protector.ChooseFolder(platform::FirstDiskRoot());

  ASSERT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(view.boxes[0].caption, "Verbotener Zugriff");
  EXPECT_EQ(view.boxes[0].text,
            "Das Hauptverzeichnis der ersten Festplatte darf nicht verschlüsselt werden !");
  EXPECT_EQ(view.boxes[0].owner, BoxOwner::Application);
  EXPECT_FALSE(view.actions[Action::Protect]);
  EXPECT_FALSE(view.actions[Action::Restore]);
  EXPECT_EQ(view.labels[Shown::Folder], platform::Utf8Of(platform::FirstDiskRoot()));
  EXPECT_EQ(view.labels[Shown::Files], "7");  // not scanned
  EXPECT_TRUE(protector.Scan().cancelScan());

  protector.WindowActivated();
  EXPECT_EQ(view.labels[Shown::Files], "Scan abgebrochen");

  protector.ChooseFolder(folder.path());  // any other folder is scanned again
  EXPECT_FALSE(protector.Scan().cancelScan());
  EXPECT_EQ(view.labels[Shown::SubFolders], "0");
}

TEST_F(ProtectorTest, AnUnreachableDriveLeadsBackToTheLastDrive) {
  const fs::path workingDirectory = fs::current_path();
  TempFolder first;
  WriteFile(first / "f", "1");

  protector.ChooseDrive(first.path());
  EXPECT_EQ(protector.lastDrive(), first.path());
  EXPECT_EQ(protector.CurrentFolder(), first.path());
  view.Clear();

  protector.ChooseDrive(folder / "no medium");

  ASSERT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(view.boxes[0].caption, "Fehler beim Laufwerkswechsel");
  EXPECT_EQ(view.boxes[0].text, "Auf das Laufwerk kann nicht zugegriffen werden.");
  EXPECT_EQ(view.boxes[0].owner, BoxOwner::Application);
  EXPECT_EQ(view.events[1], "drive=" + first.path().string());
  EXPECT_EQ(protector.CurrentFolder(), first.path());
  EXPECT_EQ(protector.lastDrive(), first.path());
  EXPECT_EQ(view.labels[Shown::Files], "1");
  EXPECT_EQ(fs::current_path(), first.path());
  fs::current_path(workingDirectory);
}

// The drive list starts at the working directory's drive, whichever it is: on Windows every
// drive root is as long as the first disk's.
TEST(LastDriveTest, IsTheDriveThatHoldsTheWorkingDirectory) {
  const fs::path workingDirectory = fs::current_path();
  for (const fs::path& drive : platform::Drives()) {
    std::error_code unreachable;
    fs::current_path(drive, unreachable);
    if (unreachable) continue;
    RecordingView view;
    const FolderProtector protector(view);
    EXPECT_EQ(protector.lastDrive(), drive);
  }
  fs::current_path(workingDirectory);
}

}  // namespace
}  // namespace kestravuna
