// A protect or restore run may be stopped at any file operation, by a power cut or a kill,
// or have that operation fail. Whatever the point, every file of the folder must either
// still be there or come back with a restore, and the folder must then protect and restore
// as usual. The runs go through kestravuna-cli; the platform's test hook kills the process
// (or fails the operation) at the N-th file change, for N = 1, 2, ... until a run gets
// through untouched.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "test_support/cli_runner.h"
#include "test_support/temp_folder.h"

namespace kestravuna {
namespace {

using test_support::CliOutcome;
using test_support::Fault;
using test_support::RunCli;
using test_support::Snapshot;
using test_support::TempFolder;
using test_support::WriteFile;
namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

// No run of this folder takes anywhere near as many file changes; reaching it means the
// hook never fired and the loop would not end.
constexpr long kMaxFaultPoints = 2000;

// A kill keeps whatever the process handed to the kernel, so a memory-backed file system
// shows the same states as a disk, without the waits of a few hundred runs' fsync calls.
fs::path FastTemporaryBase() {
#ifdef _WIN32
  return fs::temp_directory_path();
#endif
  std::error_code error;
  return fs::is_directory("/dev/shm", error) ? fs::path("/dev/shm") : fs::temp_directory_path();
}

class InterruptionTest : public testing::Test {
 protected:
  void SetUp() override {
    WriteFile(area / "password", "Kennwort\n");
    MakeFolder(area / "original");
    original = Snapshot(area / "original");
  }

  // A dozen files as users have them: empty, tiny, text, noise, more than one 32 KiB
  // block, umlauts in names (u8: a narrow path is not UTF-8 on Windows), read-only, hidden,
  // and a subfolder.
  static void MakeFolder(const fs::path& folder) {
    WriteFile(folder / "leer", "");
    WriteFile(folder / "eins.txt", "1");
    WriteFile(folder / "brief.txt", "Sehr geehrte Damen und Herren,\nanbei die Unterlagen.\n");
    std::string report;
    for (int i = 0; i < 200; ++i) report += "Zeile " + std::to_string(i) + ": Äpfel und Birnen\n";
    WriteFile(folder / u8"Bericht über Äpfel.txt", report);
    WriteFile(folder / "zufall.bin", test_support::TextOf(test_support::RandomBytes(40'000, 7)));
    WriteFile(folder / "gemischt.bin", test_support::TextOf(test_support::RandomBytes(20'000, 8)) +
                                           std::string(30'000, 'g'));
    WriteFile(folder / "daten.dat", std::string(33'000, 'd'));
    WriteFile(folder / u8"Grüße.md", "# Grüße\n");
    WriteFile(folder / u8"schreibgeschützt.txt", "nur lesen");
    fs::permissions(folder / u8"schreibgeschützt.txt",
                    fs::perms::owner_read | fs::perms::group_read);
    WriteFile(folder / ".versteckt", "versteckt");
    WriteFile(folder / "unter" / "innen.txt", "im Unterordner");
  }

  fs::path Fresh(std::string_view name) {
    const fs::path folder = area / name;
    TempFolder::RemoveEverything(folder);
    fs::copy(area / "original", folder, fs::copy_options::recursive);
    return folder;
  }

  CliOutcome Run(std::string_view command, const fs::path& folder, Fault fault = Fault::None,
                 long at = 0) {
    return RunCli(
        {std::string(command), "--password-file", (area / "password").string(), folder.string()},
        area / "cache", fault, at);
  }

  // Restore until no container is left, then check every file and run one more round.
  void RecoverAndCheck(const fs::path& folder, const std::string& point) {
    for (int attempt = 0; fs::exists(folder / "CHIFF.CRY"); ++attempt) {
      ASSERT_LT(attempt, 2) << point << ": restore does not finish";
      const CliOutcome restore = Run("restore", folder);
      ASSERT_EQ(restore.exitCode, 0) << point << ": restore failed:\n" << restore.output;
    }
    Files now = Snapshot(folder);
    for (const auto& [name, contents] : original) {
      ASSERT_EQ(now[name], contents) << point << ": " << name << " lost or damaged";
      now.erase(name);
    }
    for (const auto& [name, contents] : now) {
      // Without a container these are an interrupted run's own output; the next protect
      // clears them away.
      EXPECT_TRUE(name == "CHIFF.TMP" || name == "CHIFF.CRD") << point << ": stray " << name;
    }
    const CliOutcome protect = Run("protect", folder);
    ASSERT_EQ(protect.exitCode, 0) << point << ": protect afterwards:\n" << protect.output;
    ASSERT_FALSE(fs::exists(folder / "brief.txt")) << point;
    const CliOutcome restore = Run("restore", folder);
    ASSERT_EQ(restore.exitCode, 0) << point << ": restore afterwards:\n" << restore.output;
    ASSERT_EQ(Snapshot(folder), original) << point;
  }

  fs::path CopyOf(const fs::path& start) {
    const fs::path folder = area / "run";
    TempFolder::RemoveEverything(folder);
    fs::copy(start, folder, fs::copy_options::recursive);
    return folder;
  }

  // Kills `command` at every file change in turn, until a run gets through; returns the
  // number of file changes the run makes.
  long KillAtEveryPoint(std::string_view command, const fs::path& start) {
    for (long at = 1; at < kMaxFaultPoints; ++at) {
      const fs::path folder = CopyOf(start);
      const std::string point =
          std::string(command) + " killed at file change " + std::to_string(at);
      const CliOutcome outcome = Run(command, folder, Fault::Kill, at);
      EXPECT_TRUE(outcome.killed || outcome.exitCode == 0) << point << ":\n" << outcome.output;
      RecoverAndCheck(folder, point);
      if (HasFatalFailure() || !outcome.killed) return at - 1;
    }
    ADD_FAILURE() << command << " was never left undisturbed";
    return 0;
  }

  // Fails each of the `changes` file changes of `command` in turn.
  void FailAtEveryPoint(std::string_view command, const fs::path& start, long changes) {
    for (long at = 1; at <= changes && !HasFatalFailure(); ++at) {
      const fs::path folder = CopyOf(start);
      const std::string point =
          std::string(command) + " failed at file change " + std::to_string(at);
      const CliOutcome outcome = Run(command, folder, Fault::Fail, at);
      EXPECT_FALSE(outcome.killed) << point;
      RecoverAndCheck(folder, point);
    }
  }

  // The number of file changes of an undisturbed run: the first kill point that is never
  // reached, found by bisection.
  long CountFileChanges(std::string_view command, const fs::path& start) {
    long reached = 0;
    long missed = kMaxFaultPoints;
    while (missed - reached > 1) {
      const long at = (reached + missed) / 2;
      (Run(command, CopyOf(start), Fault::Kill, at).killed ? reached : missed) = at;
    }
    return reached;
  }

  fs::path Protected() {
    const fs::path folder = Fresh("protected");
    const CliOutcome protect = Run("protect", folder);
    EXPECT_EQ(protect.exitCode, 0) << protect.output;
    return folder;
  }

  TempFolder area{FastTemporaryBase()};
  Files original;
};

TEST_F(InterruptionTest, ProtectKilledAtEveryFileChangeLosesNothing) {
  const long changes = KillAtEveryPoint("protect", Fresh("start"));
  std::printf("protect killed at each of its %ld file changes\n", changes);
  EXPECT_GT(changes, 20);
}

TEST_F(InterruptionTest, RestoreKilledAtEveryFileChangeLosesNothing) {
  const long changes = KillAtEveryPoint("restore", Protected());
  std::printf("restore killed at each of its %ld file changes\n", changes);
  EXPECT_GT(changes, 20);
}

// Protect compresses on one thread while a second decodes the container behind it; restore
// decodes the container's code bits on one thread while the other writes the files. Killed at
// file changes that fall while both threads work, well into the output of the run, neither
// loses anything.
TEST_F(InterruptionTest, KilledWhileBothThreadsWorkNothingIsLost) {
  const fs::path start = Fresh("start");
  // About 1.5 MB of container: dozens of writes while both threads work.
  WriteFile(start / "gross.bin", test_support::TextOf(test_support::RandomBytes(1'000'000, 9)) +
                                     std::string(1'000'000, 'w'));
  original = Snapshot(start);
  const CliOutcome protect = Run("protect", CopyOf(start));
  ASSERT_EQ(protect.exitCode, 0) << protect.output;
  const fs::path protectedStart = area / "protected";
  TempFolder::RemoveEverything(protectedStart);
  fs::rename(area / "run", protectedStart);

  // Protect: killed once its CHIFF.TMP is well under way, while the compressor writes and the
  // check decodes behind it.
  constexpr std::uintmax_t kWellUnderWay = 256 * 1024;
  int pointsWhileBothWork = 0;
  for (long at = 1; at < kMaxFaultPoints && pointsWhileBothWork < 4; ++at) {
    const fs::path folder = CopyOf(start);
    const CliOutcome outcome = Run("protect", folder, Fault::Kill, at);
    ASSERT_TRUE(outcome.killed) << "protect finished before its output grew:\n" << outcome.output;
    std::error_code missing;
    const std::uintmax_t size = fs::file_size(folder / "CHIFF.TMP", missing);
    if (missing || size < kWellUnderWay) continue;
    ++pointsWhileBothWork;
    RecoverAndCheck(folder, "protect killed at file change " + std::to_string(at) + " with " +
                                std::to_string(size) + " bytes written");
    if (HasFatalFailure()) return;
    at += 7;  // a few points spread over the run suffice
  }
  EXPECT_EQ(pointsWhileBothWork, 4);

  // Restore: its staged files have no names to measure, but nearly all its file changes are
  // writes of decoded bytes, so the middle of its run falls while both decoder threads work.
  const long restoreChanges = CountFileChanges("restore", protectedStart);
  ASSERT_GT(restoreChanges, 40);
  for (const long percent : {30, 45, 60, 75}) {
    const long at = restoreChanges * percent / 100;
    const fs::path folder = CopyOf(protectedStart);
    const CliOutcome outcome = Run("restore", folder, Fault::Kill, at);
    ASSERT_TRUE(outcome.killed) << "restore finished before file change " << at;
    RecoverAndCheck(folder, "restore killed at file change " + std::to_string(at) + " of " +
                                std::to_string(restoreChanges));
    if (HasFatalFailure()) return;
  }
}

TEST_F(InterruptionTest, ProtectAndRestoreWithAFailingFileChangeLoseNothing) {
  const fs::path plain = Fresh("start");
  const long protectChanges = CountFileChanges("protect", plain);
  FailAtEveryPoint("protect", plain, protectChanges);
  const fs::path protectedFolder = Protected();
  const long restoreChanges = CountFileChanges("restore", protectedFolder);
  FailAtEveryPoint("restore", protectedFolder, restoreChanges);
  std::printf("failed each file change: %ld of protect, %ld of restore\n", protectChanges,
              restoreChanges);
  EXPECT_GT(protectChanges, 20);
  EXPECT_GT(restoreChanges, 20);
}

}  // namespace
}  // namespace kestravuna
