// Two runs at once, through kestravuna-cli as separate processes: of two folders, of the same
// folder, and a restore started while a protect works. The same on POSIX and Windows.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/folder_lock.h"
#include "test_support/cli_runner.h"
#include "test_support/temp_folder.h"

namespace kestravuna {
namespace {

using test_support::CliOutcome;
using test_support::FinishCli;
using test_support::RunCli;
using test_support::Snapshot;
using test_support::StartCli;
using test_support::TempFolder;
using test_support::WriteFile;
namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

// Where the runs keep their temporary files, below the test's cache folder.
#ifdef _WIN32
constexpr const char* kPrivateFolder = "Kestravuna";  // %LOCALAPPDATA%\Kestravuna
#else
constexpr const char* kPrivateFolder = "kestravuna";  // $XDG_CACHE_HOME/kestravuna
#endif

class ConcurrencyTest : public testing::Test {
 protected:
  void SetUp() override { WriteFile(area / "password", "Kennwort\n"); }

  std::vector<std::string> ArgsFor(std::string_view command, const fs::path& folder) {
    return {std::string(command), "--password-file", (area / "password").string(), folder.string()};
  }
  CliOutcome Run(std::string_view command, const fs::path& folder) {
    return RunCli(ArgsFor(command, folder), area / "cache");
  }
  fs::path MakeFolder(std::string_view name, unsigned seed = 1, std::size_t size = 5000) {
    const fs::path folder = area / name;
    WriteFile(folder / "brief.txt", "Sehr geehrte Damen und Herren");
    WriteFile(folder / "daten.bin", test_support::TextOf(test_support::RandomBytes(size, seed)));
    return folder;
  }

  TempFolder area;
};

// Two protects of two folders at the same time share the private temporary folder; each
// container must hold its own folder's files.
TEST_F(ConcurrencyTest, ProtectsOfTwoFoldersAtOnceKeepTheirOwnFiles) {
  for (int round = 0; round < 3; ++round) {
    const std::string suffix = std::to_string(round);
    const fs::path first = MakeFolder("erster" + suffix, 10 + round, 3'000'000);
    const fs::path second = MakeFolder("zweiter" + suffix, 20 + round, 3'000'000);
    const Files firstFiles = Snapshot(first);
    const Files secondFiles = Snapshot(second);
    const auto a = StartCli(ArgsFor("protect", first), area / "cache");
    const auto b = StartCli(ArgsFor("protect", second), area / "cache");
    ASSERT_EQ(FinishCli(a).exitCode, 0);
    ASSERT_EQ(FinishCli(b).exitCode, 0);
    ASSERT_EQ(Run("restore", first).exitCode, 0);
    ASSERT_EQ(Run("restore", second).exitCode, 0);
    EXPECT_EQ(Snapshot(first), firstFiles) << "round " << round;
    EXPECT_EQ(Snapshot(second), secondFiles) << "round " << round;
  }
  EXPECT_TRUE(fs::is_empty(area / "cache" / kPrivateFolder)) << "no temporary file stays";
}

// While another process holds the folder (here the test itself), protect and restore are
// refused and change nothing; the lock ends with its holder.
TEST_F(ConcurrencyTest, ASecondRunOfTheSameFolderIsRefused) {
  const fs::path folder = MakeFolder("ordner");
  const Files before = Snapshot(folder);
  {
    const auto lock = platform::FolderLock::TryLock(folder);
    ASSERT_TRUE(lock.has_value());
    for (const char* command : {"protect", "restore"}) {
      const CliOutcome run = Run(command, folder);
      EXPECT_EQ(run.exitCode, 1) << command;
      if (std::string_view(command) == "protect") {
        EXPECT_NE(run.err.find("wird gerade von einem anderen Kestravuna-Vorgang bearbeitet"),
                  std::string::npos)
            << run.err;
      }
    }
    EXPECT_EQ(Snapshot(folder), before);
  }
  EXPECT_EQ(Run("protect", folder).exitCode, 0) << "the lock ends with its holder";
}

// A restore started while a protect of the same folder works: whichever way they meet, no file
// is lost, and the folder restores completely afterwards.
TEST_F(ConcurrencyTest, ProtectAndRestoreOfOneFolderAtOnceLoseNothing) {
  for (int round = 0; round < 4; ++round) {
    const fs::path folder = MakeFolder("ordner" + std::to_string(round), round, 2'000'000);
    const Files original = Snapshot(folder);
    const auto protect = StartCli(ArgsFor("protect", folder), area / "cache");
    std::this_thread::sleep_for(std::chrono::milliseconds(round * 20));
    const CliOutcome restore = Run("restore", folder);
    const CliOutcome protected_ = FinishCli(protect);
    ASSERT_EQ(protected_.exitCode, 0) << protected_.output;
    // The restore met the protect's lock, or a folder not protected yet, and was refused; or it
    // started only once the protect had finished (a slow process start) and restored the folder.
    if (restore.exitCode != 0) {
      EXPECT_EQ(restore.exitCode, 1) << restore.output;
      ASSERT_EQ(Run("restore", folder).exitCode, 0);
    }
    EXPECT_EQ(Snapshot(folder), original) << "round " << round;
  }
}

}  // namespace
}  // namespace kestravuna
