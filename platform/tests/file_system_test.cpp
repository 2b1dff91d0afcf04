#include "platform/file_system.h"

#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <set>
#include <string>
#include <vector>

#include "platform/io_error.h"
#include "platform/tests/test_support.h"
#include "test_support/environment.h"

namespace kestravuna::platform {
namespace {

using test_support::IoErrorNumberOf;
using test_support::ModeOf;
using test_support::ReadFile;
using test_support::ScopedEnvironment;
using test_support::TempFolder;
using test_support::WriteFile;

class FileSystemTest : public testing::Test {
 protected:
  TempFolder folder_;
};

TEST_F(FileSystemTest, DeleteFileRemovesTheNameOnly) {
  WriteFile(folder_ / "ziel", "bleibt");
  WriteFile(folder_ / "weg", "x");
  std::filesystem::create_symlink("ziel", folder_ / "link");
  std::filesystem::create_directory(folder_ / "ordner");

  DeleteFile(folder_ / "weg");
  DeleteFile(folder_ / "link");
  EXPECT_FALSE(std::filesystem::exists(folder_ / "weg"));
  EXPECT_FALSE(std::filesystem::is_symlink(folder_ / "link"));
  EXPECT_EQ(ReadFile(folder_ / "ziel"), "bleibt") << "the link's target must survive";

  EXPECT_EQ(IoErrorNumberOf([&] { DeleteFile(folder_ / "weg"); }), io_error::kFileNotFound);
  EXPECT_EQ(IoErrorNumberOf([&] { DeleteFile(folder_ / "ordner"); }), io_error::kAccessDenied);
  EXPECT_TRUE(std::filesystem::is_directory(folder_ / "ordner"));
}

TEST_F(FileSystemTest, RenameFileMovesAndNeverReplaces) {
  WriteFile(folder_ / "alt", "inhalt");
  RenameFile(folder_ / "alt", folder_ / "neu");
  EXPECT_FALSE(std::filesystem::exists(folder_ / "alt"));
  EXPECT_EQ(ReadFile(folder_ / "neu"), "inhalt");

  WriteFile(folder_ / "zweite", "andere");
  EXPECT_EQ(IoErrorNumberOf([&] { RenameFile(folder_ / "zweite", folder_ / "neu"); }),
            io_error::kAccessDenied);
  EXPECT_EQ(ReadFile(folder_ / "neu"), "inhalt");
  EXPECT_EQ(ReadFile(folder_ / "zweite"), "andere");

  std::filesystem::create_symlink("nirgends", folder_ / "link");
  EXPECT_EQ(IoErrorNumberOf([&] { RenameFile(folder_ / "zweite", folder_ / "link"); }),
            io_error::kAccessDenied)
      << "a dangling link is an existing name too";

  EXPECT_EQ(IoErrorNumberOf([&] { RenameFile(folder_ / "fehlt", folder_ / "x"); }),
            io_error::kFileNotFound);
}

// Makes the given system calls fail with `error` in this process from now on, as they do
// on a file system without support for them.
void FailSystemCalls(std::initializer_list<long> numbers, int error) {
  std::vector<sock_filter> filter{{BPF_LD | BPF_W | BPF_ABS, 0, 0, offsetof(seccomp_data, nr)}};
  for (const long number : numbers) {
    filter.push_back({BPF_JMP | BPF_JEQ | BPF_K, 0, 1, static_cast<std::uint32_t>(number)});
    filter.push_back(
        {BPF_RET | BPF_K, 0, 0, SECCOMP_RET_ERRNO | static_cast<std::uint32_t>(error)});
  }
  filter.push_back({BPF_RET | BPF_K, 0, 0, SECCOMP_RET_ALLOW});
  const sock_fprog program{static_cast<unsigned short>(filter.size()), filter.data()};
  if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
      ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0) {
    std::_Exit(99);
  }
}

// File systems without RENAME_NOREPLACE: renaming by a link, and where links fail too,
// by a check before the rename. Either way an existing target is never replaced.
TEST_F(FileSystemTest, RenameFileWithoutNoReplaceSupportStillNeverReplaces) {
  const struct {
    const char* what;
    bool withoutLinks;
  } cases[] = {{"renaming by a hard link", false}, {"checking, then renaming", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile(folder_ / "alt", "alt");
    WriteFile(folder_ / "vorhanden", "vorhanden");
    const auto renameInChild = [&] {
      FailSystemCalls({SYS_renameat2}, EINVAL);
      if (c.withoutLinks) {
        FailSystemCalls({SYS_link, SYS_linkat}, EPERM);
      }
      RenameFile(folder_ / "alt", folder_ / "neu");
      const int refused =
          IoErrorNumberOf([&] { RenameFile(folder_ / "neu", folder_ / "vorhanden"); });
      std::_Exit(refused);
    };
    EXPECT_EXIT(renameInChild(), testing::ExitedWithCode(io_error::kAccessDenied), "");
    EXPECT_FALSE(std::filesystem::exists(folder_ / "alt"));
    EXPECT_EQ(ReadFile(folder_ / "neu"), "alt");
    EXPECT_EQ(ReadFile(folder_ / "vorhanden"), "vorhanden");
    std::filesystem::remove(folder_ / "neu");
  }
}

TEST_F(FileSystemTest, FileExistsOnlyForRegularFiles) {
  WriteFile(folder_ / "datei", "x");
  std::filesystem::create_directory(folder_ / "ordner");
  std::filesystem::create_symlink("datei", folder_ / "link");
  ::mkfifo((folder_ / "fifo").c_str(), 0600);
  const struct {
    const char* name;
    bool exists;
  } cases[] = {
      {"datei", true}, {"ordner", false}, {"link", false}, {"fifo", false}, {"fehlt", false}};
  for (const auto& c : cases) {
    EXPECT_EQ(FileExists(folder_ / c.name), c.exists) << c.name;
  }
}

TEST_F(FileSystemTest, WorkingDirectoryFollowsSetWorkingDirectory) {
  const kestravuna::test_support::ScopedWorkingDirectory putBack;
  SetWorkingDirectory(folder_.path());
  const std::filesystem::path now = WorkingDirectory();
  EXPECT_EQ(IoErrorNumberOf([&] { SetWorkingDirectory(folder_ / "fehlt"); }),
            io_error::kFileNotFound);
  const std::filesystem::path afterFailure = WorkingDirectory();
  EXPECT_EQ(now, std::filesystem::canonical(folder_.path()));
  EXPECT_EQ(afterFailure, now);
}

TEST_F(FileSystemTest, RecognisesTheOwnExecutableByIdentityNotName) {
  const std::filesystem::path own = OwnExecutable();
  ASSERT_TRUE(own.is_absolute());
  EXPECT_TRUE(std::filesystem::is_regular_file(own));
  EXPECT_TRUE(IsOwnExecutable(own));

  std::filesystem::copy_file(own, folder_ / "kopie");
  std::filesystem::create_symlink(own, folder_ / "link");
  WriteFile(folder_ / own.filename().string(), "gleicher Name");
  const struct {
    std::filesystem::path path;
    bool own;
  } cases[] = {
      {folder_ / "kopie", false},
      {folder_ / "link", false},  // links are never followed
      {folder_ / own.filename().string(), false},
      {folder_ / "fehlt", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsOwnExecutable(c.path), c.own) << c.path;
  }

  // The same file under another name, where the file system and its owner allow a link.
  std::error_code linkError;
  std::filesystem::create_hard_link(own, folder_ / "andere-name", linkError);
  if (!linkError) {
    EXPECT_TRUE(IsOwnExecutable(folder_ / "andere-name"));
  }
}

TEST(DrivesTest, RootFirstThenDistinctOpenableVolumes) {
  EXPECT_EQ(FirstDiskRoot(), "/");
  const auto drives = Drives();
  ASSERT_FALSE(drives.empty());
  EXPECT_EQ(drives.front(), "/");
  EXPECT_EQ(std::set(drives.begin(), drives.end()).size(), drives.size())
      << "a volume listed twice";
  for (const auto& drive : drives) {
    const std::string text = drive.string();
    EXPECT_TRUE(std::filesystem::is_directory(drive)) << text;
    for (const char* system : {"/proc", "/sys", "/dev"}) {
      EXPECT_FALSE(text.starts_with(system)) << text;
    }
  }
}

TEST(DrivesTest, AMountedVolumeAppearsUnderItsOwnName) {
  const TempFolder folder;
  const auto mountPoint = folder / "USB Stick";  // the table writes the blank as "\040"
  std::filesystem::create_directory(mountPoint);
  if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=64k") != 0) {
    GTEST_SKIP() << "cannot mount a tmpfs here (needs root and mount rights)";
  }
  const auto drives = Drives();
  ::umount(mountPoint.c_str());
  EXPECT_NE(std::find(drives.begin(), drives.end(), mountPoint), drives.end());
}

class PrivateTempDirTest : public testing::Test {
 protected:
  TempFolder folder_;
  const std::filesystem::path cacheHome_ = folder_ / "cache" / "tief";
  const std::filesystem::path expected_ = cacheHome_ / "kestravuna";
  ScopedEnvironment cacheVariable_{"XDG_CACHE_HOME", cacheHome_.string()};
};

TEST_F(PrivateTempDirTest, CreatedPrivateWithItsParents) {
  EXPECT_EQ(PrivateTempDir(), expected_);
  EXPECT_EQ(ModeOf(expected_), 0700u);
  EXPECT_EQ(ModeOf(cacheHome_), 0700u);
  EXPECT_EQ(PrivateTempDir(), expected_) << "an existing directory is used again";
}

TEST_F(PrivateTempDirTest, HomeCacheWhenTheVariableIsMissingOrRelative) {
  const ScopedEnvironment home("HOME", folder_.path().string());
  const std::optional<std::string> values[] = {std::nullopt, "relativ/cache"};
  for (const std::optional<std::string>& value : values) {
    const ScopedEnvironment cache("XDG_CACHE_HOME", value);
    EXPECT_EQ(PrivateTempDir(), folder_ / ".cache" / "kestravuna");
  }
}

TEST_F(PrivateTempDirTest, ReadableForOthersIsMadePrivate) {
  std::filesystem::create_directories(expected_);
  ::chmod(expected_.c_str(), 0755);
  EXPECT_EQ(PrivateTempDir(), expected_);
  EXPECT_EQ(ModeOf(expected_), 0700u);
}

TEST_F(PrivateTempDirTest, RefusesWhatIsNotTheUsersOwnPrivateDirectory) {
  std::filesystem::create_directories(cacheHome_);
  std::filesystem::create_directory(folder_ / "anderswo");
  const struct {
    const char* what;
    void (*prepare)(const std::filesystem::path& place, const std::filesystem::path& elsewhere);
  } cases[] = {
      {"symbolic link to a directory",
       [](const auto& place, const auto& elsewhere) {
         std::filesystem::create_directory_symlink(elsewhere, place);
       }},
      {"regular file", [](const auto& place, const auto&) { WriteFile(place, "x"); }},
      {"writable for others",
       [](const auto& place, const auto&) {
         std::filesystem::create_directory(place);
         ::chmod(place.c_str(), 0777);
       }},
      {"writable for the group",
       [](const auto& place, const auto&) {
         std::filesystem::create_directory(place);
         ::chmod(place.c_str(), 0770);
       }},
  };
  for (const auto& c : cases) {
    c.prepare(expected_, folder_ / "anderswo");
    EXPECT_EQ(IoErrorNumberOf([] { PrivateTempDir(); }), io_error::kAccessDenied) << c.what;
    std::filesystem::remove(expected_);
  }
}

TEST_F(PrivateTempDirTest, RefusesADirectoryOfAnotherUser) {
  if (!test_support::RunningAsRoot()) {
    GTEST_SKIP() << "only root can give a directory to another user";
  }
  std::filesystem::create_directories(expected_);
  ASSERT_EQ(::chmod(expected_.c_str(), 0700), 0);
  ASSERT_EQ(::chown(expected_.c_str(), 65534, 65534), 0);
  EXPECT_EQ(IoErrorNumberOf([] { PrivateTempDir(); }), io_error::kAccessDenied);
}

}  // namespace
}  // namespace kestravuna::platform
