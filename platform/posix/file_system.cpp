#include "platform/file_system.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

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

// Where a symbolic link points; nullopt (errno set) when it cannot be read.
std::optional<std::filesystem::path> LinkTarget(const char* link) {
  std::string buffer(256, '\0');
  for (;;) {
    const ssize_t length = ::readlink(link, buffer.data(), buffer.size());
    if (length < 0) return std::nullopt;
    if (static_cast<std::size_t>(length) < buffer.size()) {
      buffer.resize(static_cast<std::size_t>(length));
      return buffer;
    }
    buffer.resize(buffer.size() * 2);  // the name may have been cut: try a larger buffer
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

void ReplaceFile(const std::filesystem::path& from, const std::filesystem::path& to) {
  BeforeMutatingFileOperation();
  if (::rename(from.c_str(), to.c_str()) != 0) {
    ThrowIoErrorFromErrno(to);
  }
}

bool NameFits(const std::filesystem::path& folder, std::string_view name) {
  constexpr long kUsualLimit = 255;  // NAME_MAX of the usual Linux file systems
  const long limit = ::pathconf(folder.c_str(), _PC_NAME_MAX);
  return !name.empty() && static_cast<long>(name.size()) <= (limit > 0 ? limit : kUsualLimit);
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

// Whether the file system marks the entry immutable or append-only, either of which stops its
// deletion (for a folder: the deletion of anything in it) whatever the modes say. An entry
// whose flags cannot be read (no such file system, no read access) counts as unmarked.
bool MarkedUndeletable(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  int flags = 0;
  const bool known = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  ::close(fd);
  return known && (flags & (FS_IMMUTABLE_FL | FS_APPEND_FL)) != 0;
}

bool CanDeleteFile(const std::filesystem::path& path) {
  const std::filesystem::path folder = path.parent_path().empty() ? "." : path.parent_path();
  struct stat file {};
  struct stat directory {};
  if (::lstat(path.c_str(), &file) != 0 || ::stat(folder.c_str(), &directory) != 0 ||
      ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
    return false;
  }
  if (MarkedUndeletable(path) || MarkedUndeletable(folder)) return false;
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
  std::optional<std::filesystem::path> own = LinkTarget("/proc/self/exe");
  if (!own) ThrowIoErrorFromErrno();
  return *own;
}

std::filesystem::path PathAsUserKnowsIt(const std::filesystem::path& path) {
  constexpr std::string_view kDescriptors = "/proc/self/fd/";
  const std::string& text = path.native();
  if (!text.starts_with(kDescriptors)) return path;
  const std::size_t end = text.find('/', kDescriptors.size());
  const std::string descriptor = text.substr(0, end);
  const std::optional<std::filesystem::path> folder = LinkTarget(descriptor.c_str());
  if (!folder) return path;
  return end == std::string::npos ? *folder
                                  : std::filesystem::path(folder->native() + text.substr(end));
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
