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
#include "platform/file_system.h"
#include "platform/io_error.h"

namespace kestravuna::platform {

namespace {

// O_NOFOLLOW: a symbolic link is never followed, so a link planted under a name the
// program writes cannot redirect the write to another file. O_NONBLOCK: opening a FIFO
// that took a listed file's place must not hang; it has no effect on regular files.
constexpr int kCommonFlags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;

constexpr int kNegativeSeek = 131;  // ERROR_NEGATIVE_SEEK of Windows, "I/O-Fehler 131"

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

File::File(File&& other) noexcept
    : handle_(std::exchange(other.handle_, kClosed)),
      writable_(std::exchange(other.writable_, false)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (handle_ != kClosed) {
      ::close(Descriptor(handle_));
    }
    handle_ = std::exchange(other.handle_, kClosed);
    writable_ = std::exchange(other.writable_, false);
  }
  return *this;
}

File::~File() {
  if (handle_ != kClosed) {
    ::close(Descriptor(
        handle_));  // unchecked: an exception is already on its way, or Close was skipped
  }
}

void File::RequireOpen() const {
  if (handle_ == kClosed) {
    throw EInOutError(io_error::kFileNotOpen);
  }
}

std::size_t File::Read(std::span<std::uint8_t> buffer) {
  RequireOpen();
  // Fills the buffer unless the end comes first, so a short count always means the end.
  std::size_t total = 0;
  while (total < buffer.size()) {
    const ssize_t count = ::read(Descriptor(handle_), buffer.data() + total, buffer.size() - total);
    if (count < 0) {
      if (errno == EINTR) {
        continue;
      }
      ThrowIoErrorFromErrno();
    }
    if (count == 0) {
      break;
    }
    total += static_cast<std::size_t>(count);
  }
  return total;
}

void File::ReadExact(std::span<std::uint8_t> buffer) {
  if (Read(buffer) != buffer.size()) {
    throw EInOutError(io_error::kReadBeyondEnd);
  }
}

void File::Write(std::span<const std::uint8_t> data) {
  RequireOpen();
  BeforeMutatingFileOperation();
  std::size_t total = 0;
  while (total < data.size()) {
    const ssize_t count = ::write(Descriptor(handle_), data.data() + total, data.size() - total);
    if (count < 0) {
      if (errno == EINTR) {
        continue;
      }
      ThrowIoErrorFromErrno();
    }
    if (count == 0) {
      throw EInOutError(io_error::kDiskFull);
    }
    total += static_cast<std::size_t>(count);
  }
}

void File::Seek(std::int64_t position) {
  RequireOpen();
  if (position < 0) {
    // lseek would say EINVAL, which reads as "invalid file name"; Windows has its own code.
    throw EInOutError(kNegativeSeek);
  }
  if (::lseek(Descriptor(handle_), static_cast<off_t>(position), SEEK_SET) < 0) {
    ThrowIoErrorFromErrno();
  }
}

std::int64_t File::Position() const {
  RequireOpen();
  const off_t position = ::lseek(Descriptor(handle_), 0, SEEK_CUR);
  if (position < 0) {
    ThrowIoErrorFromErrno();
  }
  return position;
}

std::int64_t File::Size() const {
  RequireOpen();
  struct stat status {};
  if (::fstat(Descriptor(handle_), &status) != 0) {
    ThrowIoErrorFromErrno();
  }
  return status.st_size;
}

FileAccess File::Access() const {
  RequireOpen();
  struct stat status {};
  if (::fstat(Descriptor(handle_), &status) != 0) {
    ThrowIoErrorFromErrno();
  }
  auto mode = static_cast<std::uint32_t>(status.st_mode & 07777);
  // With an extended ACL the group bits are the ACL's mask, the most any named user or group
  // gets, not what the file's group gets; the modes cannot say who may read the file, so only
  // its owner counts.
  if (HasExtendedAcl(Descriptor(handle_))) mode &= kOwnerOnly;
  return {mode, static_cast<std::uint32_t>(status.st_gid)};
}

void File::ShareAccessOf(const FileAccess& source) {
  const FileAccess own = Access();
  BeforeMutatingFileOperation();
  // A file that took over the folder's default ACL would open its group bits, the ACL's mask,
  // to every user the ACL names: it stays owner-only.
  const std::uint32_t allowed = HasExtendedAcl(Descriptor(handle_)) ? 0 : kReadWriteBits;
  const FileAccess shared = NarrowestAccess({source.mode, source.group}, {allowed, own.group});
  if (::fchmod(Descriptor(handle_), static_cast<mode_t>(shared.mode | kOwnerOnly)) != 0) {
    ThrowIoErrorFromErrno();
  }
}

void File::Sync() {
  RequireOpen();
  BeforeMutatingFileOperation();
  if (::fsync(Descriptor(handle_)) != 0) {
    ThrowIoErrorFromErrno();
  }
}

void File::StartFlush() noexcept {
#if defined(__linux__)
  if (IsOpen()) ::sync_file_range(Descriptor(handle_), 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
}

void File::Close() {
  RequireOpen();
  if (writable_) {
    BeforeMutatingFileOperation();
  }
  // The descriptor is gone after close() even when it fails (Linux never reopens it on
  // EINTR), so it must not be closed a second time by the destructor.
  const int fd = Descriptor(std::exchange(handle_, kClosed));
  writable_ = false;
  if (::close(fd) != 0) {
    ThrowIoErrorFromErrno();
  }
}

}  // namespace kestravuna::platform
