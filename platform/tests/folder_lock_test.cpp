#include "platform/folder_lock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/io_error.h"
#include "platform/tests/test_support.h"

namespace kestravuna::platform {
namespace {

using test_support::IoErrorNumberOf;
using test_support::TempFolder;

// The lock is held by another process until it ends, however it ends.
TEST(FolderLockTest, AnotherProcessHoldsTheFolderUntilItEnds) {
  TempFolder folder;
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t holder = ::fork();
  if (holder == 0) {
    const auto lock = FolderLock::TryLock(folder.path());
    const char signal = lock ? '1' : '0';
    (void)!::write(ready[1], &signal, 1);
    ::pause();
    ::_exit(0);
  }
  char signal = 0;
  ASSERT_EQ(::read(ready[0], &signal, 1), 1);
  ASSERT_EQ(signal, '1');
  EXPECT_FALSE(FolderLock::TryLock(folder.path()).has_value());

  ::kill(holder, SIGKILL);
  ::waitpid(holder, nullptr, 0);
  EXPECT_TRUE(FolderLock::TryLock(folder.path()).has_value());
  ::close(ready[0]);
  ::close(ready[1]);
}

// Two runs in one process (two windows of one program) exclude each other as well, and the
// lock ends with its object.
TEST(FolderLockTest, OneHolderAtATimeWithinAProcess) {
  TempFolder folder;
  TempFolder other;
  {
    auto first = FolderLock::TryLock(folder.path());
    ASSERT_TRUE(first.has_value());
    EXPECT_FALSE(FolderLock::TryLock(folder.path()).has_value());
    EXPECT_TRUE(FolderLock::TryLock(other.path()).has_value()) << "another folder is free";
    FolderLock moved = std::move(*first);
    first.reset();
    EXPECT_FALSE(FolderLock::TryLock(folder.path()).has_value()) << "moving keeps the lock";
  }
  EXPECT_TRUE(FolderLock::TryLock(folder.path()).has_value());
  EXPECT_EQ(IoErrorNumberOf([&] { FolderLock::TryLock(folder / "missing"); }),
            io_error::kFileNotFound);
}

// The lock pins its folder: its path reaches the folder that was locked after that folder was
// moved and another took its old path, and messages name where it is now.
TEST(FolderLockTest, TheLockedFolderIsReachedWhereverItGoes) {
  TempFolder area;
  const std::filesystem::path folder = area / "ordner";
  const std::filesystem::path moved = area / "verschoben";
  std::filesystem::create_directories(folder);
  const auto lock = FolderLock::TryLock(folder);
  ASSERT_TRUE(lock.has_value());
  std::filesystem::rename(folder, moved);
  std::filesystem::create_directories(folder);

  File::Create(lock->Folder() / "neu").Close();

  EXPECT_TRUE(std::filesystem::exists(moved / "neu"));
  EXPECT_FALSE(std::filesystem::exists(folder / "neu"));
  EXPECT_EQ(PathAsUserKnowsIt(lock->Folder() / "neu"), moved / "neu");
  EXPECT_EQ(std::string(EInOutError(2, lock->Folder() / "fehlt").what()),
            "Datei nicht gefunden: " + (moved / "fehlt").string());
}

}  // namespace
}  // namespace kestravuna::platform
