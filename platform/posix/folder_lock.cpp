// The folder lock as an advisory lock (flock) on the folder itself: every process that opens
// the folder sees it, and the kernel drops it when the holder ends, also when it is killed.
#include "platform/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
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
    return FolderLock(fd);
  }
  const int error = errno;
  ::close(fd);
  if (error == EWOULDBLOCK) {
    return std::nullopt;
  }
  throw EInOutError(IoErrorNumberFromErrno(error), folder);
}

FolderLock::FolderLock(FolderLock&& other) noexcept
    : handle_(std::exchange(other.handle_, kNone)) {}

FolderLock& FolderLock::operator=(FolderLock&& other) noexcept {
  if (this != &other) {
    if (handle_ != kNone) {
      ::close(static_cast<int>(handle_));
    }
    handle_ = std::exchange(other.handle_, kNone);
  }
  return *this;
}

FolderLock::~FolderLock() {
  if (handle_ != kNone) {
    ::close(static_cast<int>(handle_));  // closing the last descriptor releases the lock
  }
}

}  // namespace kestravuna::platform
