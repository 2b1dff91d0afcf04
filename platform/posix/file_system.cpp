#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>

#include "platform/detail/fault_injection.h"
#include "platform/io_error.h"

namespace kestravuna::platform {

namespace {

// Renaming without replacing, for file systems that do not support RENAME_NOREPLACE: a
// hard link fails atomically when the target exists; where even links are not possible
// the check and the rename are two steps, which is the best such a file system offers.
void RenameByLinking(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (::link(from.c_str(), to.c_str()) == 0) {
    if (::unlink(from.c_str()) != 0) {
      const int error = errno;
      ::unlink(to.c_str());  // back to one name, as before the call
      throw EInOutError(IoErrorNumberFromErrno(error));
    }
    return;
  }
  if (errno != EPERM && errno != EOPNOTSUPP) {
    ThrowIoErrorFromErrno();
  }
  struct stat status {};
  if (::lstat(to.c_str(), &status) == 0) {
    throw EInOutError(io_error::kAccessDenied);
  }
  if (::rename(from.c_str(), to.c_str()) != 0) {
    ThrowIoErrorFromErrno();
  }
}

struct FileIdentity {
  dev_t device;
  ino_t inode;
};

std::optional<FileIdentity> IdentityOf(const char* path, bool followLinks) {
  struct stat status {};
  const int result = followLinks ? ::stat(path, &status) : ::lstat(path, &status);
  if (result != 0) {
    return std::nullopt;
  }
  return FileIdentity{status.st_dev, status.st_ino};
}

}  // namespace

void DeleteFile(const std::filesystem::path& path) {
  BeforeMutatingFileOperation();
  if (::unlink(path.c_str()) != 0) {
    ThrowIoErrorFromErrno(path);
  }
}

void RenameFile(const std::filesystem::path& from, const std::filesystem::path& to) {
  BeforeMutatingFileOperation();
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    return;
  }
  // EINVAL and ENOSYS: the file system (or an old kernel) does not know the flag.
  if (errno != EINVAL && errno != ENOSYS) {
    ThrowIoErrorFromErrno(errno == EEXIST ? to : from);
  }
  try {
    RenameByLinking(from, to);
  } catch (const EInOutError& error) {
    throw EInOutError(error.ErrorNumber(), to);
  }
}

bool FileExists(const std::filesystem::path& path) {
  return KindOfEntry(path) == EntryKind::PlainFile;
}

EntryKind KindOfEntry(const std::filesystem::path& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) {
    // Anything but "no such entry" (a folder that cannot be searched, a name too long) is
    // not known to be free.
    return errno == ENOENT ? EntryKind::Missing : EntryKind::Other;
  }
  return S_ISREG(status.st_mode) ? EntryKind::PlainFile : EntryKind::Other;
}

bool CanDeleteFile(const std::filesystem::path& path) {
  const std::filesystem::path folder = path.parent_path().empty() ? "." : path.parent_path();
  struct stat file {};
  struct stat directory {};
  if (::lstat(path.c_str(), &file) != 0 || ::stat(folder.c_str(), &directory) != 0 ||
      ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
    return false;
  }
  const uid_t self = ::geteuid();
  return (directory.st_mode & S_ISVTX) == 0 || self == 0 || file.st_uid == self ||
         directory.st_uid == self;
}

void SyncDirectory(const std::filesystem::path& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    ThrowIoErrorFromErrno(folder);
  }
  // EINVAL: the file system keeps no directory data to flush (some network and FUSE file
  // systems), so there is nothing left to make durable.
  const bool synced = ::fsync(fd) == 0 || errno == EINVAL;
  const int error = errno;
  ::close(fd);
  if (!synced) {
    throw EInOutError(IoErrorNumberFromErrno(error), folder);
  }
}

std::filesystem::path WorkingDirectory() {
  std::string buffer(256, '\0');
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) {
      ThrowIoErrorFromErrno();
    }
    buffer.resize(buffer.size() * 2);
  }
  buffer.resize(buffer.find('\0'));
  return buffer;
}

void SetWorkingDirectory(const std::filesystem::path& folder) {
  if (::chdir(folder.c_str()) != 0) {
    ThrowIoErrorFromErrno(folder);
  }
}

std::filesystem::path OwnExecutable() {
  std::string buffer(256, '\0');
  for (;;) {
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) {
      ThrowIoErrorFromErrno();
    }
    if (static_cast<std::size_t>(length) < buffer.size()) {
      buffer.resize(static_cast<std::size_t>(length));
      return buffer;
    }
    buffer.resize(buffer.size() * 2);  // the name may have been cut: try a larger buffer
  }
}

bool IsOwnExecutable(const std::filesystem::path& path) {
  // Following /proc/self/exe leads to the running file itself, even when it has been
  // renamed or replaced since the start; it cannot change while the program runs.
  static const std::optional<FileIdentity> own = IdentityOf("/proc/self/exe", true);
  const std::optional<FileIdentity> candidate = IdentityOf(path.c_str(), false);
  return own && candidate && own->device == candidate->device && own->inode == candidate->inode;
}

std::filesystem::path FirstDiskRoot() { return "/"; }

}  // namespace kestravuna::platform
