// The ways a hostile situation used to lose or expose a file, tried through kestravuna-cli as a
// careless user and a second user on the same machine would try them (two processes at once:
// concurrency_test.cpp).
// Permission cases run the program as an ordinary user: root ignores file modes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/folder_lock.h"
#include "test_support/cli_runner.h"
#include "test_support/ordinary_user.h"
#include "test_support/temp_folder.h"

namespace kestravuna {
namespace {

using test_support::CliOutcome;
using test_support::Fault;
using test_support::GiveToOrdinaryUser;
using test_support::ModeOf;
using test_support::ReadFile;
using test_support::RunCli;
using test_support::RunningAsRoot;
using test_support::Snapshot;
using test_support::TempFolder;
using test_support::WriteFile;
namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

class HostileTest : public testing::Test {
 protected:
  void SetUp() override {
    fs::permissions(area.path(), fs::perms(0755));
    WriteFile(area / "password", "Kennwort\n");
    fs::permissions(area / "password", fs::perms(0644));
  }

  CliOutcome Run(std::string_view command, const fs::path& folder, bool asOrdinaryUser = false) {
    return RunCli(
        {std::string(command), "--password-file", (area / "password").string(), folder.string()},
        area / "cache", Fault::None, 0, {}, asOrdinaryUser);
  }

  // A folder of a few files, owned by the ordinary user when the tests run as root.
  fs::path MakeFolder(std::string_view name, unsigned seed = 1, std::size_t size = 5000) {
    const fs::path folder = area / name;
    WriteFile(folder / "brief.txt", "Sehr geehrte Damen und Herren");
    WriteFile(folder / "daten.bin", test_support::TextOf(test_support::RandomBytes(size, seed)));
    WriteFile(folder / ".versteckt", "versteckt");
    return folder;
  }

  // What the ordinary user needs: its folder, its files and the cache.
  void GiveAway(const fs::path& folder) {
    if (!RunningAsRoot()) return;
    fs::create_directories(area / "cache");
    for (const fs::path& path : {folder, area / "cache"}) {
      GiveToOrdinaryUser(path);
      for (const auto& entry : fs::recursive_directory_iterator(path)) {
        GiveToOrdinaryUser(entry.path());
      }
    }
  }

  TempFolder area;
};

// A link under one of the program's names, planted by someone else, must never lead a write
// out of the folder: the run stops before it writes anything and names the entry.
TEST_F(HostileTest, LinksUnderTheProgramsNamesAreNeverFollowed) {
  for (const char* name : {"CHIFF.TMP", "CHIFF.CRD", "CHIFF.CRY"}) {
    const fs::path folder = MakeFolder(std::string("ordner-") + name);
    WriteFile(area / "opfer.txt", "private Daten");
    fs::permissions(area / "opfer.txt", fs::perms(0600));
    GiveAway(folder);
    if (RunningAsRoot()) GiveToOrdinaryUser(area / "opfer.txt");
    fs::create_symlink("../opfer.txt", folder / name);
    const Files before = Snapshot(folder);

    const CliOutcome protect = Run("protect", folder, RunningAsRoot());
    EXPECT_EQ(protect.exitCode, 1) << name << protect.output;
    EXPECT_NE(protect.err.find(std::string("fremde Datei ") + name), std::string::npos)
        << protect.err;
    EXPECT_EQ(ReadFile(area / "opfer.txt"), "private Daten") << name;
    EXPECT_EQ(Snapshot(folder), before) << name;
    EXPECT_TRUE(fs::is_symlink(folder / name)) << name;
  }

  // A restore writes no CHIFF.TMP: a link under that name is neither followed nor removed.
  const fs::path folder = MakeFolder("geschützt");
  GiveAway(folder);
  ASSERT_EQ(Run("protect", folder, RunningAsRoot()).exitCode, 0);
  fs::create_symlink("../opfer.txt", folder / "CHIFF.TMP");
  const CliOutcome restore = Run("restore", folder, RunningAsRoot());
  EXPECT_EQ(restore.exitCode, 0) << restore.output;
  EXPECT_EQ(ReadFile(area / "opfer.txt"), "private Daten");
  EXPECT_TRUE(fs::is_symlink(folder / "CHIFF.TMP"));
  EXPECT_FALSE(fs::exists(folder / "CHIFF.CRY"));
}

// A plain archive named CHIFF.CRY without a record, made by someone with `pack`, whose files
// are gone from the folder: the only copy, never removed.
TEST_F(HostileTest, APlainArchiveWithoutRecordIsNeverRemoved) {
  const fs::path docs = MakeFolder("docs");
  fs::create_directories(area / "bk");
  ASSERT_EQ(RunCli({"pack", docs.string(), (area / "bk" / "CHIFF.CRY").string()}, area / "cache")
                .exitCode,
            0);
  fs::remove_all(docs);
  const Files before = Snapshot(area / "bk");
  const CliOutcome restore = Run("restore", area / "bk");
  EXPECT_EQ(restore.exitCode, 1) << restore.output;
  EXPECT_NE(restore.err.find("unkomprimiertes Archiv ohne Passwort-Datensatz"), std::string::npos)
      << restore.err;
  EXPECT_EQ(Snapshot(area / "bk"), before);
}

// Files a protect leaves in the folder (hidden ones, names holding "CHIFF.CR") and edited
// afterwards keep the edit; the archived copy comes back beside them, and the user is told.
TEST_F(HostileTest, FilesEditedSinceTheProtectKeepTheirChanges) {
  const fs::path folder = MakeFolder("ordner");
  WriteFile(folder / "Notiz zu CHIFF.CRD", "erste Fassung");
  WriteFile(folder / ".unverändert", "bleibt gleich");
  ASSERT_EQ(Run("protect", folder).exitCode, 0);
  WriteFile(folder / ".versteckt", "nach dem Schützen geändert");
  WriteFile(folder / "Notiz zu CHIFF.CRD", "zweite Fassung");

  const CliOutcome restore = Run("restore", folder);
  ASSERT_EQ(restore.exitCode, 0) << restore.output;
  EXPECT_NE(restore.err.find(".versteckt → .versteckt (archiviert)"), std::string::npos)
      << restore.err;
  const Files after = Snapshot(folder);
  EXPECT_EQ(after.at(".versteckt"), "nach dem Schützen geändert");
  EXPECT_EQ(after.at(".versteckt (archiviert)"), "versteckt");
  EXPECT_EQ(after.at("Notiz zu CHIFF.CRD"), "zweite Fassung");
  EXPECT_EQ(after.at("Notiz zu CHIFF.CRD (archiviert)"), "erste Fassung");
  EXPECT_EQ(after.at(".unverändert"), "bleibt gleich");
  EXPECT_EQ(after.count(".unverändert (archiviert)"), 0u);
  EXPECT_EQ(after.at("brief.txt"), "Sehr geehrte Damen und Herren");
}

// Nothing the program writes is readable by anyone who could not read the files it came from.
TEST_F(HostileTest, FileModesNeverWiden) {
  const struct {
    const char* name;
    mode_t first, second, container, restored;
  } cases[] = {
      {"one private file", 0600, 0644, 0600, 0600},
      {"all readable", 0644, 0644, 0644, 0644},
      {"group readable", 0640, 0644, 0640, 0640},
  };
  for (const auto& c : cases) {
    const fs::path folder = area / c.name;
    WriteFile(folder / "eins", "1");
    WriteFile(folder / "zwei", "2");
    fs::permissions(folder / "eins", fs::perms(c.first));
    fs::permissions(folder / "zwei", fs::perms(c.second));
    GiveAway(folder);
    ASSERT_EQ(Run("protect", folder, RunningAsRoot()).exitCode, 0) << c.name;
    EXPECT_EQ(ModeOf(folder / "CHIFF.CRY"), c.container) << c.name;
    EXPECT_EQ(ModeOf(folder / "CHIFF.CRD"), 0600u) << c.name;
    ASSERT_EQ(Run("restore", folder, RunningAsRoot()).exitCode, 0) << c.name;
    EXPECT_EQ(ModeOf(folder / "eins"), c.restored) << c.name;
    EXPECT_EQ(ModeOf(folder / "zwei"), c.restored) << c.name;
  }
}

// A run that fails halfway leaves no copy of the folder in the private temporary folder, and
// its message names the file at fault.
TEST_F(HostileTest, AFailedRunLeavesNoTemporaryFileAndNamesTheFile) {
  const fs::path folder = MakeFolder("ordner", 3, 2'000'000);
  WriteFile(folder / "zz-geheim", "unlesbar");
  fs::permissions(folder / "zz-geheim", fs::perms::none);
  GiveAway(folder);
  const CliOutcome protect = Run("protect", folder, RunningAsRoot());
  EXPECT_EQ(protect.exitCode, 1) << protect.output;
  EXPECT_NE(protect.err.find("Dateizugriff verweigert: " + (folder / "zz-geheim").string()),
            std::string::npos)
      << protect.err;
  EXPECT_FALSE(fs::exists(folder / "CHIFF.CRY"));
  EXPECT_TRUE(fs::is_empty(area / "cache" / "kestravuna"));
}

// A password source that cannot be read is an error, not an empty password.
TEST_F(HostileTest, AnUnreadablePasswordFileIsAnError) {
  const fs::path folder = MakeFolder("ordner");
  fs::create_directories(area / "kein-passwort");
  fs::create_symlink(area / "password", area / "verweis");
  const Files before = Snapshot(folder);
  for (const fs::path& source : {area / "kein-passwort", area / "verweis", area / "fehlt"}) {
    const CliOutcome protect =
        RunCli({"protect", "--password-file", source.string(), folder.string()}, area / "cache");
    EXPECT_EQ(protect.exitCode, 1) << source;
    EXPECT_NE(protect.err.find("Passwortdatei nicht lesbar"), std::string::npos) << protect.err;
    EXPECT_EQ(Snapshot(folder), before) << source;
  }
}

// A protect that would stop at a file the user may not delete is refused before it writes
// anything; a restore is never blocked by a file that already has the archived contents.
TEST_F(HostileTest, FilesTheUserMayNotDeleteStopProtectBeforeAnythingIsWritten) {
  if (!RunningAsRoot()) GTEST_SKIP() << "needs a second user";
  const fs::path shared = area / "gemeinsam";
  fs::create_directories(shared);
  fs::permissions(shared, fs::perms(01777));
  WriteFile(shared / "meins.txt", "von nobody");
  GiveToOrdinaryUser(shared / "meins.txt");
  WriteFile(shared / "fremd.txt", "von root");
  fs::permissions(shared / "fremd.txt", fs::perms(0644));
  fs::create_directories(area / "cache");
  GiveToOrdinaryUser(area / "cache");
  const Files before = Snapshot(shared);
  const CliOutcome protect = Run("protect", shared, true);
  EXPECT_EQ(protect.exitCode, 1) << protect.output;
  EXPECT_NE(protect.err.find("Die Datei fremd.txt kann nicht gelöscht werden"), std::string::npos)
      << protect.err;
  EXPECT_EQ(Snapshot(shared), before);

  fs::remove(shared / "fremd.txt");
  ASSERT_EQ(Run("protect", shared, true).exitCode, 0);
  WriteFile(shared / "meins.txt", "von nobody");  // root's own copy, same contents
  const CliOutcome restore = Run("restore", shared, true);
  EXPECT_EQ(restore.exitCode, 0) << restore.output;
  EXPECT_EQ(Snapshot(shared), (Files{{"meins.txt", "von nobody"}}));
}

// What cannot be archived or restored is refused before anything is written.
TEST_F(HostileTest, NamesAndSourcesTheProgramCannotHandleAreRefusedFirst) {
  const fs::path folder = MakeFolder("ordner");
  WriteFile(folder / "a\\b.txt", "Rückstrich");
  const Files before = Snapshot(folder);
  const CliOutcome protect = Run("protect", folder);
  EXPECT_EQ(protect.exitCode, 1);
  EXPECT_NE(protect.err.find("Der Dateiname lässt sich nicht im Archiv speichern: a\\b.txt"),
            std::string::npos)
      << protect.err;
  EXPECT_EQ(Snapshot(folder), before);

  ASSERT_EQ(::mkfifo((area / "fifo").c_str(), 0600), 0);
  for (const char* source : {"/dev/zero", "fifo"}) {
    const fs::path in = source[0] == '/' ? fs::path(source) : area / source;
    const CliOutcome compress =
        RunCli({"compress", in.string(), (area / "out").string()}, area / "cache");
    EXPECT_EQ(compress.exitCode, 1) << source;
    EXPECT_FALSE(fs::exists(area / "out")) << source;
  }
}

}  // namespace
}  // namespace kestravuna
