// The folder lock as an advisory lock (flock) on the folder itself: every process that opens
// the folder sees it, and the kernel drops it when the holder ends, also when it is killed.
#include "platform/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>

#include "platform/io_error.h"

namespace kestravuna::platform {

std::optional<FolderLock> FolderLock::TryLock(const std::filesystem::path& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    ThrowIoErrorFromErrno(folder);
  }
  int result = 0;
  do {
    result = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  if (result == 0) {
    // The descriptor's entry in /proc names the folder it was opened on wherever that folder
    // goes, so paths below it reach this folder as the *at calls on the descriptor would.
    return FolderLock(fd, kNone, "/proc/self/fd/" + std::to_string(fd));
  }
  const int error = errno;
  ::close(fd);
  if (error == EWOULDBLOCK) {
    return std::nullopt;
  }
  throw EInOutError(IoErrorNumberFromErrno(error), folder);
}

FolderLock::FolderLock(FolderLock&& other) noexcept
    : handle_(std::exchange(other.handle_, kNone)),
      folderHandle_(std::exchange(other.folderHandle_, kNone)),
      folder_(std::move(other.folder_)) {}

FolderLock& FolderLock::operator=(FolderLock&& other) noexcept {
  if (this != &other) {
    Release();
    handle_ = std::exchange(other.handle_, kNone);
    folderHandle_ = std::exchange(other.folderHandle_, kNone);
    folder_ = std::move(other.folder_);
  }
  return *this;
}

FolderLock::~FolderLock() { Release(); }

void FolderLock::Release() noexcept {
  if (handle_ != kNone) {
    ::close(static_cast<int>(handle_));  // closing the last descriptor releases the lock
  }
}

}  // namespace kestravuna::platform
