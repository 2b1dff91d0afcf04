// The folder changes under a run: it is moved away and another takes its path, files are
// written to while they are being deleted, names a run would take for its own are the user's,
// names do not fit, files share their inode with files elsewhere, ACLs say more than modes.
// Whatever happens, nothing is lost, and nothing outside what the run made and checked changes.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/utf8_path.h"
#include "protect/folder_protector.h"
#include "protect/protect_error.h"
#include "protect/tests/recording_view.h"
#include "test_support/environment.h"
#include "test_support/temp_folder.h"

#ifndef _WIN32
#include <sys/stat.h>

#include <cstdlib>

#include "test_support/ordinary_user.h"
#endif

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

class ChangingFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(area / "cache");
    WriteFile(folder / "brief.txt", "Sehr geehrte Damen und Herren,\n");
    WriteFile(folder / "daten.bin", test_support::TextOf(test_support::RandomBytes(70'000, 1)));
    WriteFile(folder / "notizen.txt", "erste Fassung");
    WriteFile(folder / "liste.txt", "Äpfel, Birnen");
    WriteFile(folder / ".versteckt", "hidden");
    original = Snapshot(folder);
    protector.ChooseFolder(folder);
  }

  // Runs `action` once, at the first pump while the status line shows a text that begins with
  // `status`.
  void AtFirstPumpDuring(std::string_view status, std::function<void()> action) {
    view.onPump = [this, status = std::string(status), action = std::move(action)] {
      if (!view.labels[Shown::Status].starts_with(status)) return;
      const std::function<void()> once = action;  // clearing onPump ends this lambda
      view.onPump = nullptr;
      once();
    };
  }

  void Restore(const fs::path& where) {
    view.onPump = nullptr;
    protector.ChooseFolder(where);
    protector.DecodeFolder(kPassword);
  }

  TempFolder area;
  test_support::ScopedEnvironment cacheVariable{"XDG_CACHE_HOME", (area / "cache").string()};
  test_support::ScopedEnvironment localAppDataVariable{"LOCALAPPDATA", (area / "cache").string()};
  test_support::ScopedWorkingDirectory workingDirectoryPutBack;
  fs::path folder = area / "ordner";
  fs::path away = area / "verschoben";
  Files original;
  RecordingView view;
  FolderProtector protector{view};
};

// Moved away while it is packed (or decoded) and another folder put in its place: the run
// finishes on the folder it locked, and the other folder's files are never touched. On Windows
// the folder cannot be moved while a run holds it.
TEST_F(ChangingFolderTest, ARunStaysWithTheFolderItLockedWhenAnotherTakesItsPath) {
  const Files decoy = {{"fremd.txt", "nie archiviert"}, {"CHIFF.CRY", "kein Container"}};
  bool swapped = false;
  const auto swap = [&] {
    std::error_code refused;
    fs::rename(folder, away, refused);
    swapped = !refused;
    if (!swapped) return;
    for (const auto& [name, contents] : decoy) WriteFile(folder / name, contents);
  };

  AtFirstPumpDuring("Kodiere", swap);
  protector.EncodeFolder(kPassword);
#ifdef _WIN32
  EXPECT_FALSE(swapped) << "the locked folder was moved";
#else
  ASSERT_TRUE(swapped);
#endif
  const fs::path protectedFolder = swapped ? away : folder;
  if (swapped) {
    EXPECT_EQ(Snapshot(folder), decoy);
  }
  EXPECT_TRUE(fs::exists(protectedFolder / "CHIFF.CRY"));
  EXPECT_FALSE(fs::exists(protectedFolder / "brief.txt"));

  // The same while a restore decodes: the files come back where the container was.
  if (swapped) {
    fs::remove_all(folder);
    fs::rename(away, folder);
  }
  protector.ChooseFolder(folder);
  AtFirstPumpDuring("Dekodiere", swap);
  protector.DecodeFolder(kPassword);
  const fs::path restoredFolder = swapped ? away : folder;
  if (swapped) {
    EXPECT_EQ(Snapshot(folder), decoy);
  }
  EXPECT_EQ(Snapshot(restoredFolder), original);
}

// Written to after the last check, while the files are being deleted: each file is looked at
// once more right before it goes, so an edited one stays with its edit, the run says which,
// and the restore brings the packed state back beside it.
TEST_F(ChangingFolderTest, AFileEditedWhileFilesAreDeletedStaysAndIsNamed) {
  std::vector<std::string> edited;
  view.onPump = [&] {
    if (view.labels[Shown::Status] != "Moment..." || !edited.empty()) return;
    // After the first deletion: every archived file still there gets an edit.
    for (const char* name : {"brief.txt", "daten.bin", "notizen.txt", "liste.txt"}) {
      if (!fs::exists(folder / name)) continue;
      WriteFile(folder / name, std::string("bearbeitet: ") + name);
      edited.push_back(name);
    }
  };

  try {
    protector.EncodeFolder(kPassword);
    ADD_FAILURE() << "the edits went unmentioned";
  } catch (const EProtectError& error) {
    EXPECT_EQ(error.Fault(), ProtectFault::ChangedWhileDeleting);
    for (const std::string& name : edited) {
      EXPECT_NE(std::string(error.what()).find(name), std::string::npos) << error.what();
    }
  }
  ASSERT_EQ(edited.size(), 3u) << "one file was deleted before the edits";
  for (const std::string& name : edited) {
    EXPECT_EQ(ReadFile(folder / name), "bearbeitet: " + name);
  }

  Restore(folder);
  Files expected = original;
  for (const std::string& name : edited) {
    expected[name] = "bearbeitet: " + name;
    expected[name + " (archiviert)"] = original[name];
  }
  EXPECT_EQ(Snapshot(folder), expected);
}

// A user's file that looks like one a restore might write is the user's: it is packed, comes
// back, and no run removes it.
TEST_F(ChangingFolderTest, ALookAlikeOfAStagingNameIsTheUsers) {
  WriteFile(folder / ".CHIFF.NEU-abc123", "meine Notizen");
  protector.ChooseFolder(folder);
  protector.EncodeFolder(kPassword);
  Restore(folder);
  Files expected = original;
  expected[".CHIFF.NEU-abc123"] = "meine Notizen";
  EXPECT_EQ(Snapshot(folder), expected);
}

// An edited file with a name of the longest length: the archived copy beside it gets a name
// that fits, and the restore completes.
TEST_F(ChangingFolderTest, AKeptCopyOfALongNameGetsANameThatFits) {
  const std::string longName(255, 'v');
  ASSERT_TRUE(platform::NameFits(folder, longName));
  WriteFile(folder / longName, "vorher");
  protector.EncodeFolder(kPassword);
  WriteFile(folder / longName, "nachher");
  Restore(folder);

  EXPECT_EQ(ReadFile(folder / longName), "nachher");
  const std::string copyName = std::string(255 - 13, 'v') + " (archiviert)";
  EXPECT_EQ(ReadFile(folder / copyName), "vorher");
  EXPECT_FALSE(fs::exists(folder / "CHIFF.CRY"));
}

#ifndef _WIN32
// A folder file hard-linked to a write-protected file elsewhere: deleting it needs no change
// of the file, so the other name keeps its mode.
TEST_F(ChangingFolderTest, AHardLinkedFileKeepsItsModeElsewhere) {
  const fs::path elsewhere = area / "schreibgeschützt.txt";
  WriteFile(elsewhere, "geteilt");
  fs::permissions(elsewhere, fs::perms::owner_read | fs::perms::group_read);
  fs::create_hard_link(elsewhere, folder / "verknüpft.txt");
  const mode_t before = test_support::ModeOf(elsewhere);

  protector.EncodeFolder(kPassword);

  EXPECT_FALSE(fs::exists(folder / "verknüpft.txt"));
  EXPECT_EQ(test_support::ModeOf(elsewhere), before);
  EXPECT_EQ(ReadFile(elsewhere), "geteilt");
  Restore(folder);
  EXPECT_EQ(ReadFile(folder / "verknüpft.txt"), "geteilt");
}

// A file with an ACL entry for one more user shows the ACL's mask as its group bits. Nothing
// the program writes may open it further: the container and the restored files are
// owner-only.
TEST_F(ChangingFolderTest, AnExtendedAclMakesEverythingWrittenOwnerOnly) {
  const fs::path secret = folder / "geheim.txt";
  WriteFile(secret, "nur für zwei");
  fs::permissions(secret, fs::perms::owner_read | fs::perms::owner_write);
  const std::string command = "setfacl -m u:nobody:r '" + secret.string() + "' 2>/dev/null";
  if (std::system(command.c_str()) != 0) GTEST_SKIP() << "no ACLs on this file system";
  ASSERT_EQ(test_support::ModeOf(secret) & 070, 040u) << "the mask shows as the group's bits";
  for (const char* name : {"brief.txt", "notizen.txt", "liste.txt", "daten.bin"}) {
    fs::permissions(folder / name, fs::perms(0640));
  }

  protector.EncodeFolder(kPassword);
  EXPECT_EQ(test_support::ModeOf(folder / "CHIFF.CRY") & 077, 0u);
  Restore(folder);
  for (const char* name : {"geheim.txt", "brief.txt", "liste.txt"}) {
    EXPECT_EQ(test_support::ModeOf(folder / name) & 077, 0u) << name;
  }
  EXPECT_EQ(ReadFile(secret), "nur für zwei");
}

// A name whose bytes are no UTF-8 (written under another encoding) is refused, and the message
// shows those bytes escaped instead of passing them on raw.
TEST_F(ChangingFolderTest, ARefusedNameShowsItsStrayBytesEscaped) {
  WriteFile(folder /
                "Gr\xFC\xDF"
                "e.txt",
            "Latin-1");
  const Files before = Snapshot(folder);
  try {
    protector.EncodeFolder(kPassword);
    ADD_FAILURE() << "a name outside the code page was packed";
  } catch (const std::exception& error) {
    const std::string message = error.what();
    EXPECT_NE(message.find("Gr\\xFC\\xDFe.txt"), std::string::npos) << message;
    EXPECT_EQ(message.find('\xFC'), std::string::npos) << "raw byte in the message";
  }
  EXPECT_EQ(Snapshot(folder), before);
}

// An immutable file cannot be deleted whatever its mode says: the run is refused before it
// writes anything, naming the file.
TEST_F(ChangingFolderTest, AnImmutableFileIsSeenBeforeAnythingIsWritten) {
  const fs::path fixed = folder / "fest.txt";
  WriteFile(fixed, "unveränderlich");
  const std::string quoted = "'" + fixed.string() + "'";
  if (std::system(("chattr +i " + quoted + " 2>/dev/null").c_str()) != 0) {
    GTEST_SKIP() << "no immutable flag here (needs root and a file system that has it)";
  }
  const Files before = Snapshot(folder);

  try {
    protector.EncodeFolder(kPassword);
    ADD_FAILURE() << "protected a folder with an immutable file";
  } catch (const EProtectError& error) {
    EXPECT_EQ(error.Fault(), ProtectFault::FileNotDeletable);
    EXPECT_NE(std::string(error.what()).find("fest.txt"), std::string::npos) << error.what();
  }
  EXPECT_EQ(std::system(("chattr -i " + quoted).c_str()), 0);
  EXPECT_EQ(Snapshot(folder), before);
}
#endif

}  // namespace
}  // namespace kestravuna
