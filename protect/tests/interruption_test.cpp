// A protect or restore run may be stopped at any file operation, by a power cut or a kill,
// or have that operation fail. Whatever the point, every file of the folder must either
// still be there or come back with a restore, and the folder must then protect and restore
// as usual. The runs go through kestravuna-cli; the platform's test hook kills the process
// (or fails the operation) at the N-th file change, for every N the undisturbed run reaches.
// Every sweep runs for the legacy container and for the encrypted one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "protect/container_check.h"
#include "protect/tests/container_kinds.h"
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

// The parameter: whether protect encrypts. Restore tells the containers apart by itself.
class InterruptionTest : public testing::TestWithParam<bool> {
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
    std::vector<std::string> args{std::string(command)};
    if (command == "protect" && GetParam()) args.emplace_back("--encrypt");
    args.insert(args.end(), {"--password-file", (area / "password").string(), folder.string()});
    return RunCli(args, area / "cache", fault, at);
  }

  // Protects `folder` undisturbed, with the container of this test's kind.
  void Protect(const fs::path& folder, const std::string& point = "protect") {
    const CliOutcome protect = Run("protect", folder);
    ASSERT_EQ(protect.exitCode, 0) << point << ":\n" << protect.output;
    ASSERT_EQ(IsSealedFile(folder / "CHIFF.CRY"), GetParam()) << point << ": the wrong container";
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
    Protect(folder, point + ": protect afterwards");
    if (HasFatalFailure()) return;
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

  // The file changes a sweep interrupts of a run that makes `changes`. The legacy container's
  // sweeps take every one. An encrypted run derives its key from the password, about 0.4 s, in
  // each of the three or four runs a point costs, so its sweeps take the first point past every
  // tenth of the run, as the restore is sampled below, and always the last. Each step of an
  // encrypted run of this folder (the archive; the compressor output cut short, and whole; the
  // record; the container under its name and the deletions; the staged files, their names)
  // spans more than a tenth of it and is met; the file changes within a step are the legacy
  // run's, which its sweeps take one by one.
  std::vector<long> PointsOf(long changes) const {
    constexpr long kEncryptedSamples = 10;
    std::vector<long> points;
    for (long at = 1; at <= changes; ++at) {
      const bool sampled =
          at * kEncryptedSamples / changes != (at - 1) * kEncryptedSamples / changes;
      if (!GetParam() || sampled) points.push_back(at);
    }
    return points;
  }

  // Kills `command` at the sweep's points of its run; returns the number of file changes the
  // run makes.
  long KillAtEveryPoint(std::string_view command, const fs::path& start) {
    const long changes = CountFileChanges(command, start);
    for (const long at : PointsOf(changes)) {
      const fs::path folder = CopyOf(start);
      const std::string point = std::string(command) + " killed at file change " +
                                std::to_string(at) + " of " + std::to_string(changes);
      const CliOutcome outcome = Run(command, folder, Fault::Kill, at);
      EXPECT_TRUE(outcome.killed) << point << ":\n" << outcome.output;
      RecoverAndCheck(folder, point);
      if (HasFatalFailure()) break;
    }
    return changes;
  }

  // Fails each of the sweep's points of the `changes` file changes of `command` in turn.
  void FailAtEveryPoint(std::string_view command, const fs::path& start, long changes) {
    for (const long at : PointsOf(changes)) {
      const fs::path folder = CopyOf(start);
      const std::string point = std::string(command) + " failed at file change " +
                                std::to_string(at) + " of " + std::to_string(changes);
      const CliOutcome outcome = Run(command, folder, Fault::Fail, at);
      EXPECT_FALSE(outcome.killed) << point;
      RecoverAndCheck(folder, point);
      if (HasFatalFailure()) break;
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
    Protect(folder);
    return folder;
  }

  TempFolder area{FastTemporaryBase()};
  Files original;
};

TEST_P(InterruptionTest, ProtectKilledAtEveryFileChangeLosesNothing) {
  const long changes = KillAtEveryPoint("protect", Fresh("start"));
  std::printf("protect killed at %zu of its %ld file changes\n", PointsOf(changes).size(), changes);
  EXPECT_GT(changes, 20);
}

TEST_P(InterruptionTest, RestoreKilledAtEveryFileChangeLosesNothing) {
  const long changes = KillAtEveryPoint("restore", Protected());
  std::printf("restore killed at %zu of its %ld file changes\n", PointsOf(changes).size(), changes);
  EXPECT_GT(changes, 20);
}

// Protect compresses on one thread while a second decodes the container behind it; restore
// decodes the container's code bits on one thread while the other writes the files. Killed at
// file changes that fall while both threads work, well into the output of the run, neither
// loses anything.
TEST_P(InterruptionTest, KilledWhileBothThreadsWorkNothingIsLost) {
  const fs::path start = Fresh("start");
  // About 1.5 MB of container: dozens of writes while both threads work.
  WriteFile(start / "gross.bin", test_support::TextOf(test_support::RandomBytes(1'000'000, 9)) +
                                     std::string(1'000'000, 'w'));
  original = Snapshot(start);
  Protect(CopyOf(start));
  if (HasFatalFailure()) return;
  const fs::path protectedStart = area / "protected";
  TempFolder::RemoveEverything(protectedStart);
  fs::rename(area / "run", protectedStart);

  // Protect: killed as its CHIFF.TMP passes 256, 384, 512 and 640 KiB, while the compressor
  // writes and the check decodes behind it. Spaced by bytes, not file changes: the encrypted
  // output goes out in chunks of 64 KiB, far fewer writes than the legacy compressor's.
  constexpr std::uintmax_t kWellUnderWay = 256 * 1024;
  constexpr std::uintmax_t kApart = 128 * 1024;
  std::uintmax_t next = kWellUnderWay;
  int pointsWhileBothWork = 0;
  for (long at = 1; at < kMaxFaultPoints && pointsWhileBothWork < 4; ++at) {
    const fs::path folder = CopyOf(start);
    const CliOutcome outcome = Run("protect", folder, Fault::Kill, at);
    ASSERT_TRUE(outcome.killed) << "protect finished before its output grew:\n" << outcome.output;
    std::error_code missing;
    const std::uintmax_t size = fs::file_size(folder / "CHIFF.TMP", missing);
    if (missing || size < next) continue;
    ++pointsWhileBothWork;
    next += kApart;
    RecoverAndCheck(folder, "protect killed at file change " + std::to_string(at) + " with " +
                                std::to_string(size) + " bytes written");
    if (HasFatalFailure()) return;
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

TEST_P(InterruptionTest, ProtectAndRestoreWithAFailingFileChangeLoseNothing) {
  const fs::path plain = Fresh("start");
  const long protectChanges = CountFileChanges("protect", plain);
  FailAtEveryPoint("protect", plain, protectChanges);
  const fs::path protectedFolder = Protected();
  const long restoreChanges = CountFileChanges("restore", protectedFolder);
  FailAtEveryPoint("restore", protectedFolder, restoreChanges);
  std::printf("failed file changes: %zu of protect's %ld, %zu of restore's %ld\n",
              PointsOf(protectChanges).size(), protectChanges, PointsOf(restoreChanges).size(),
              restoreChanges);
  EXPECT_GT(protectChanges, 20);
  EXPECT_GT(restoreChanges, 20);
}

INSTANTIATE_TEST_SUITE_P(Containers, InterruptionTest, testing::Bool(),
                         test_support::ContainerKindName);

}  // namespace
}  // namespace kestravuna
