// Protect and restore on a disk that runs full: the run stops with the error of the write
// that failed, and every file is still there or comes back once there is room again. The
// disk is a small tmpfs, which needs root (as the tests have in CI); without the right to
// mount, the tests are skipped. Each test runs for the legacy container and for the encrypted
// one.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include "protect/container_check.h"
#include "protect/folder_protector.h"
#include "protect/tests/container_kinds.h"
#include "protect/tests/recording_view.h"
#include "test_support/environment.h"
#include "test_support/temp_folder.h"

namespace kestravuna {
namespace {

using test_support::RecordingView;
using test_support::Snapshot;
using test_support::TempFolder;
using test_support::WriteFile;
namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

constexpr const char* kDiskFull = "Kapazität der Diskette/Festplatte erschöpft";

// A 2 MiB tmpfs at `mountPoint` for the lifetime of the object.
class SmallDisk {
 public:
  explicit SmallDisk(fs::path mountPoint) : mountPoint_(std::move(mountPoint)) {
    fs::create_directories(mountPoint_);
    mounted_ = mount("tmpfs", mountPoint_.c_str(), "tmpfs", 0, "size=2m,mode=0700") == 0;
    if (!mounted_) error_ = std::strerror(errno);
  }
  ~SmallDisk() {
    if (mounted_) umount2(mountPoint_.c_str(), MNT_DETACH);
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;

  bool Mounted() const { return mounted_; }
  const std::string& Error() const { return error_; }

 private:
  fs::path mountPoint_;
  bool mounted_ = false;
  std::string error_;
};

class DiskFullTest : public testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (!disk.Mounted()) GTEST_SKIP() << "cannot mount a small tmpfs: " << disk.Error();
  }

  void Protect() { protector.EncodeFolder("Kennwort", {.encrypt = GetParam()}); }

  // What `run` raised, or "" when it raised nothing.
  template <class Run>
  static std::string ErrorOf(Run run) {
    try {
      run();
    } catch (const std::exception& error) {
      return error.what();
    }
    return "";
  }

  // Restores (or clears the leftovers of a stopped protect) and checks every file.
  void ExpectEveryFileBack(const fs::path& folder, const Files& original) {
    if (fs::exists(folder / "CHIFF.CRY")) {
      protector.ChooseFolder(folder);
      protector.DecodeFolder("Kennwort");
    }
    EXPECT_EQ(Snapshot(folder), original);
  }

  TempFolder area;
  SmallDisk disk{area / "disk"};
  test_support::ScopedEnvironment cacheVariable{"XDG_CACHE_HOME", (area / "cache").string()};
  RecordingView view;
  FolderProtector protector{view};
  // Choosing a folder enters it; the working directory leaves the small disk before it goes.
  test_support::ScopedWorkingDirectory workingDirectoryPutBack;
};

TEST_P(DiskFullTest, ProtectOnAFullDiskStopsAndKeepsEveryFile) {
  struct Case {
    const char* what;
    std::size_t fileCount;
    // The error of the write that fails first, of the legacy and of the encrypted protect.
    const char* legacyError;
    const char* encryptedError;
  } cases[] = {
      // 1.2 MB of files leave no room for their archive.
      {"archive", 3, kDiskFull, kDiskFull},
      // 0.8 MB of files and their archive fit, the compressor's output does not. The compressor
      // reports its own write error; behind the encrypting stream the file's own error comes
      // through.
      {"container", 2, "Fehler beim Schreiben der Zieldatei: ", kDiskFull},
  };
  for (const Case& c : cases) {
    const fs::path folder = area / "disk" / c.what;
    for (std::size_t i = 0; i < c.fileCount; ++i) {
      WriteFile(folder / ("rauschen" + std::to_string(i)),
                test_support::TextOf(test_support::RandomBytes(400'000, static_cast<unsigned>(i))));
    }
    const Files original = Snapshot(folder);
    protector.ChooseFolder(folder);

    const std::string error = ErrorOf([&] { Protect(); });

    const std::string expected = GetParam() ? c.encryptedError : c.legacyError;
    if (expected == kDiskFull) {
      EXPECT_EQ(error, kDiskFull) << c.what;
    } else {
      EXPECT_EQ(error, expected + (folder / "CHIFF.TMP").string()) << c.what;
    }
    // Nothing of the failed run stays: the folder neither looks protected nor refuses the
    // next protect.
    EXPECT_EQ(Snapshot(folder), original) << c.what;
    fs::remove_all(folder);
  }
}

TEST_P(DiskFullTest, ProtectWithAFullTemporaryDirectoryStopsAndKeepsEveryFile) {
  const test_support::ScopedEnvironment fullCache("XDG_CACHE_HOME", (area / "disk").string());
  const fs::path folder = area / "ordner";
  for (unsigned i = 0; i < 3; ++i) {
    WriteFile(folder / ("rauschen" + std::to_string(i)),
              test_support::TextOf(test_support::RandomBytes(800'000, i)));
  }
  const Files original = Snapshot(folder);
  protector.ChooseFolder(folder);

  EXPECT_EQ(ErrorOf([&] { Protect(); }), kDiskFull);

  ExpectEveryFileBack(folder, original);
}

TEST_P(DiskFullTest, RestoreOnAFullDiskStopsAndCompletesOnceThereIsRoom) {
  struct Case {
    const char* what;
    std::size_t filler;  // bytes taken by another file after protecting
  } cases[] = {
      {"room for some of the files", 1'300'000},
      {"room for none of them", 1'750'000},
  };
  for (const Case& c : cases) {
    const fs::path folder = area / "disk" / "ordner";
    std::string text;
    for (int line = 0; text.size() < 300'000; ++line) {
      text += "Zeile " + std::to_string(line) + " des Berichts\n";
    }
    for (const char* name : {"eins.txt", "zwei.txt", "drei.txt"}) WriteFile(folder / name, text);
    const Files original = Snapshot(folder);
    protector.ChooseFolder(folder);
    Protect();
    ASSERT_FALSE(fs::exists(folder / "eins.txt")) << c.what;
    ASSERT_EQ(IsSealedFile(folder / "CHIFF.CRY"), GetParam()) << c.what;
    const Files protectedFolder = Snapshot(folder);
    WriteFile(area / "disk" / "belegt", std::string(c.filler, 'f'));

    EXPECT_EQ(ErrorOf([&] { protector.DecodeFolder("Kennwort"); }), kDiskFull) << c.what;

    // The files written so far are gone again, none took its name, and the container and its
    // record are as the protect left them.
    EXPECT_EQ(Snapshot(folder), protectedFolder) << c.what;
    fs::remove(area / "disk" / "belegt");
    ExpectEveryFileBack(folder, original);
    fs::remove_all(folder);
  }
}

INSTANTIATE_TEST_SUITE_P(Containers, DiskFullTest, testing::Bool(),
                         test_support::ContainerKindName);

}  // namespace
}  // namespace kestravuna
