#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <utility>

#include "platform/detail/fault_injection.h"
#include "platform/detail/native_file.h"
#include "platform/file_system.h"
#include "platform/io_error.h"

namespace kestravuna::platform {

namespace {

// O_NOFOLLOW: a symbolic link is never followed, so a link planted under a name the
// program writes cannot redirect the write to another file. O_NONBLOCK: opening a FIFO
// that took a listed file's place must not hang; it has no effect on regular files.
constexpr int kCommonFlags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;

int Descriptor(std::intptr_t handle) { return static_cast<int>(handle); }

constexpr mode_t kOwnerOnly = S_IRUSR | S_IWUSR;
constexpr mode_t kReadWriteBits = 0666;

// Opens `path` and insists on a regular file: directories, FIFOs and devices are refused
// as Windows refuses to open a directory as a file.
int OpenRegularFile(const std::filesystem::path& path, int flags) {
  int fd = -1;
  do {
    fd = ::open(path.c_str(), flags | kCommonFlags, kOwnerOnly);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    ThrowIoErrorFromErrno(path);
  }
  struct stat status {};
  if (::fstat(fd, &status) != 0) {
    const int error = errno;
    ::close(fd);
    throw EInOutError(IoErrorNumberFromErrno(error), path);
  }
  if (!S_ISREG(status.st_mode)) {
    ::close(fd);
    throw EInOutError(io_error::kAccessDenied, path);
  }
  return fd;
}

// Whether the file carries access entries beyond owner, group and others. A file whose ACL says
// no more than its mode has no such attribute; one whose ACL cannot be read counts as extended.
bool HasExtendedAcl(int fd) {
  if (::fgetxattr(fd, "system.posix_acl_access", nullptr, 0) >= 0) return true;
  return errno != ENODATA && errno != ENOTSUP;
}

// mkostemp creates with O_EXCL and mode 0600 under a name it fills in.
int CreateUniqueFile(std::string& pattern) {
  int fd = -1;
  do {
    fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    ThrowIoErrorFromErrno(std::filesystem::path(pattern).parent_path());
  }
  return fd;
}

// A new file of `folder` without a name (O_TMPFILE), owner-only; -1 where the file system
// (EOPNOTSUPP) or the kernel (EISDIR, EINVAL: it does not know the flag) has no such files.
int OpenUnnamedFile(const std::filesystem::path& folder) {
  int fd = -1;
  do {
    fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, kOwnerOnly);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
    ThrowIoErrorFromErrno(folder);
  }
  return fd;
}

}  // namespace

File File::OpenRead(const std::filesystem::path& path) {
  return File(OpenRegularFile(path, O_RDONLY), false);
}

File File::Create(const std::filesystem::path& path) {
  BeforeMutatingFileOperation();
  return File(OpenRegularFile(path, O_RDWR | O_CREAT | O_EXCL), true);
}

std::pair<File, std::filesystem::path> File::CreateUnique(const std::filesystem::path& folder,
                                                          std::string_view prefix) {
  BeforeMutatingFileOperation();
  std::string pattern = (folder / prefix).string() + "XXXXXX";
  File file(CreateUniqueFile(pattern), true);
  return {std::move(file), std::filesystem::path(pattern)};
}

File File::Replace(const std::filesystem::path& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode)) {
    DeleteFile(path);
  }
  return Create(path);
}

File File::CreateAnonymous(const std::filesystem::path& folder) {
  BeforeMutatingFileOperation();
  if (const int fd = OpenUnnamedFile(folder); fd >= 0) return File(fd, true);
  // Without unnamed files, a file under a name nobody can guess loses its name at once.
  std::string pattern = (folder / ".kestravuna-XXXXXX").string();
  File file(CreateUniqueFile(pattern), true);
  if (::unlink(pattern.c_str()) != 0) {
    ThrowIoErrorFromErrno(folder);
  }
  return file;
}

StagedFile StagedFile::Create(const std::filesystem::path& folder) {
  BeforeMutatingFileOperation();
  if (const int fd = OpenUnnamedFile(folder); fd >= 0) return StagedFile(File(fd, true), {});
  std::string pattern = (folder / ".CHIFF.NEU-").string() + "XXXXXX";
  File file(CreateUniqueFile(pattern), true);
  return StagedFile(std::move(file), std::move(pattern));
}

StagedFile& StagedFile::operator=(StagedFile&& other) noexcept {
  if (this != &other) {
    if (!stagingName_.empty()) ::unlink(stagingName_.c_str());
    file_ = std::move(other.file_);
    stagingName_ = std::move(other.stagingName_);
  }
  return *this;
}

StagedFile::~StagedFile() {
  // An unnamed file goes with its descriptor; a named one is removed here.
  if (!stagingName_.empty()) ::unlink(stagingName_.c_str());
}

void StagedFile::Publish(const std::filesystem::path& target) {
  file_.RequireOpen();
  if (!stagingName_.empty()) {
    RenameFile(stagingName_, target);
    stagingName_.clear();
  } else {
    BeforeMutatingFileOperation();
    // An unnamed file gets its first name through its descriptor's entry in /proc; a link
    // never replaces what stands under the name.
    const std::string self = "/proc/self/fd/" + std::to_string(Descriptor(file_.handle_));
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW) != 0) {
      if (errno == EEXIST) throw EInOutError(io_error::kAccessDenied, target);
      ThrowIoErrorFromErrno(target);
    }
  }
  file_.Close();
}

namespace detail {

std::ptrdiff_t NativeRead(NativeHandle handle, std::span<std::uint8_t> buffer) {
  const ssize_t count = ::read(Descriptor(handle), buffer.data(), buffer.size());
  if (count < 0) {
    if (errno == EINTR) return kInterrupted;
    ThrowIoErrorFromErrno();
  }
  return count;
}

std::ptrdiff_t NativeWrite(NativeHandle handle, std::span<const std::uint8_t> data) {
  const ssize_t count = ::write(Descriptor(handle), data.data(), data.size());
  if (count < 0) {
    if (errno == EINTR) return kInterrupted;
    ThrowIoErrorFromErrno();
  }
  return count;
}

void NativeSeek(NativeHandle handle, std::int64_t position) {
  if (::lseek(Descriptor(handle), static_cast<off_t>(position), SEEK_SET) < 0) {
    ThrowIoErrorFromErrno();
  }
}

std::int64_t NativePosition(NativeHandle handle) {
  const off_t position = ::lseek(Descriptor(handle), 0, SEEK_CUR);
  if (position < 0) ThrowIoErrorFromErrno();
  return position;
}

std::int64_t NativeSize(NativeHandle handle) {
  struct stat status {};
  if (::fstat(Descriptor(handle), &status) != 0) ThrowIoErrorFromErrno();
  return status.st_size;
}

FileAccess NativeAccess(NativeHandle handle) {
  struct stat status {};
  if (::fstat(Descriptor(handle), &status) != 0) ThrowIoErrorFromErrno();
  auto mode = static_cast<std::uint32_t>(status.st_mode & 07777);
  // With an extended ACL the group bits are the ACL's mask, the most any named user or group
  // gets, not what the file's group gets; the modes cannot say who may read the file, so only
  // its owner counts.
  if (HasExtendedAcl(Descriptor(handle))) mode &= kOwnerOnly;
  return {mode, static_cast<std::uint32_t>(status.st_gid)};
}

void NativeShareAccessOf(NativeHandle handle, const FileAccess& source) {
  const FileAccess own = NativeAccess(handle);
  // A file that took over the folder's default ACL would open its group bits, the ACL's mask,
  // to every user the ACL names: it stays owner-only.
  const std::uint32_t allowed = HasExtendedAcl(Descriptor(handle)) ? 0 : kReadWriteBits;
  const FileAccess shared = NarrowestAccess({source.mode, source.group}, {allowed, own.group});
  if (::fchmod(Descriptor(handle), static_cast<mode_t>(shared.mode | kOwnerOnly)) != 0) {
    ThrowIoErrorFromErrno();
  }
}

void NativeSync(NativeHandle handle) {
  if (::fsync(Descriptor(handle)) != 0) ThrowIoErrorFromErrno();
}

void NativeStartFlush([[maybe_unused]] NativeHandle handle) noexcept {
#if defined(__linux__)
  ::sync_file_range(Descriptor(handle), 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
}

void NativeClose(NativeHandle handle) {
  // Linux never reopens the descriptor on EINTR: it is gone whatever close() reports.
  if (::close(Descriptor(handle)) != 0) ThrowIoErrorFromErrno();
}

void NativeCloseUnchecked(NativeHandle handle) noexcept { ::close(Descriptor(handle)); }

// fsync needs no write access on POSIX, so a read-only file is flushed as it is and nothing
// about it changes.
void SyncFileAt(const std::filesystem::path& path) {
  const int fd = OpenRegularFile(path, O_RDONLY);
  try {
    BeforeMutatingFileOperation();
  } catch (...) {
    ::close(fd);
    throw;
  }
  const bool synced = ::fsync(fd) == 0;
  const int error = errno;
  ::close(fd);
  if (!synced) throw EInOutError(IoErrorNumberFromErrno(error), path);
}

}  // namespace detail

}  // namespace kestravuna::platform
