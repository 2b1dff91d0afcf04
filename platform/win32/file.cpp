#include "platform/file.h"

#include <random>
#include <string>
#include <utility>

#include "platform/detail/fault_injection.h"
#include "platform/file_system.h"
#include "platform/io_error.h"
#include "platform/win32/win32_support.h"

namespace kestravuna::platform {

namespace {

constexpr int kNegativeSeek = 131;  // ERROR_NEGATIVE_SEEK, "I/O-Fehler 131"
// Others may read, write and delete while the program has a file open, as with POSIX files.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// A name's link or junction is opened itself, never what it points to, and then refused.
constexpr DWORD kOpenFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;

HANDLE HandleOf(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
std::intptr_t Native(HANDLE handle) { return reinterpret_cast<std::intptr_t>(handle); }

// Opens `path` and insists on a regular file: folders, links and devices are refused.
HANDLE OpenRegularFile(const std::filesystem::path& path, DWORD access, DWORD disposition,
                       DWORD flags = 0) {
  const HANDLE handle = CreateFileW(path.c_str(), access, kShareAll, nullptr, disposition,
                                    kOpenFlags | flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) ThrowIoErrorFromWindows(path);
  BY_HANDLE_FILE_INFORMATION information{};
  const bool regular = GetFileInformationByHandle(handle, &information) &&
                       (information.dwFileAttributes &
                        (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0 &&
                       GetFileType(handle) == FILE_TYPE_DISK;
  if (!regular) {
    CloseHandle(handle);
    throw EInOutError(io_error::kAccessDenied, path);
  }
  return handle;
}

// Six letters and digits nobody can guess.
std::wstring RandomSuffix() {
  static constexpr wchar_t kAlphabet[] =
      L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device source;
  std::wstring suffix;
  for (int i = 0; i < 6; ++i) suffix += kAlphabet[source() % (std::size(kAlphabet) - 1)];
  return suffix;
}

// Creates a new file under `prefix` and a random suffix, trying other suffixes while one is
// taken.
std::pair<HANDLE, std::filesystem::path> CreateUniqueFile(const std::filesystem::path& folder,
                                                          std::wstring_view prefix, DWORD flags) {
  for (;;) {
    std::filesystem::path path = folder / (std::wstring(prefix) + RandomSuffix());
    const HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                      kShareAll, nullptr, CREATE_NEW, kOpenFlags | flags, nullptr);
    if (handle != INVALID_HANDLE_VALUE) return {handle, std::move(path)};
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
      SetLastError(error);
      ThrowIoErrorFromWindows(folder);
    }
  }
}

}  // namespace

File File::OpenRead(const std::filesystem::path& path) {
  return File(Native(OpenRegularFile(path, GENERIC_READ, OPEN_EXISTING)), false);
}

File File::Create(const std::filesystem::path& path) {
  BeforeMutatingFileOperation();
  return File(Native(OpenRegularFile(path, GENERIC_READ | GENERIC_WRITE, CREATE_NEW)), true);
}

std::pair<File, std::filesystem::path> File::CreateUnique(const std::filesystem::path& folder,
                                                          std::string_view prefix) {
  BeforeMutatingFileOperation();
  auto [handle, path] = CreateUniqueFile(folder, std::filesystem::path(prefix).wstring(), 0);
  return {File(Native(handle), true), std::move(path)};
}

File File::Replace(const std::filesystem::path& path) {
  if (KindOfEntry(path) == EntryKind::PlainFile) DeleteFile(path);
  return Create(path);
}

File File::CreateAnonymous(const std::filesystem::path& folder) {
  BeforeMutatingFileOperation();
  // The system deletes the file when its last handle closes, also when the process is
  // killed, so it is never left behind.
  auto [handle, path] = CreateUniqueFile(folder, L".kestravuna-",
                                         FILE_FLAG_DELETE_ON_CLOSE | FILE_ATTRIBUTE_TEMPORARY);
  return File(Native(handle), true);
}

namespace {

// Marks the open file for deletion when its last handle closes, or takes the mark back.
bool MarkForDeletion(HANDLE handle, bool deleteOnClose) {
  // Its one member is named like a macro of the wide API, so it is set by position.
  FILE_DISPOSITION_INFO disposition{static_cast<BOOLEAN>(deleteOnClose)};
  return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition);
}

}  // namespace

StagedFile StagedFile::Create(const std::filesystem::path& folder) {
  BeforeMutatingFileOperation();
  auto [handle, path] = CreateUniqueFile(folder, L".CHIFF.NEU-", FILE_ATTRIBUTE_HIDDEN);
  File file(Native(handle), true);
  // Marked for deletion at once: the system removes it when the handle closes, also when the
  // process is killed, unless Publish takes the mark back.
  if (!MarkForDeletion(handle, true)) ThrowIoErrorFromWindows(path);
  return StagedFile(std::move(file), std::move(path));
}

StagedFile& StagedFile::operator=(StagedFile&& other) noexcept {
  if (this != &other) {
    file_ = std::move(other.file_);
    stagingName_ = std::move(other.stagingName_);
  }
  return *this;
}

// Closing the handle deletes the file, as it is marked.
StagedFile::~StagedFile() = default;

void StagedFile::Publish(const std::filesystem::path& target) {
  file_.RequireOpen();
  BeforeMutatingFileOperation();
  if (!MarkForDeletion(HandleOf(file_.handle_), false)) ThrowIoErrorFromWindows(stagingName_);
  if (!MoveFileExW(stagingName_.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
    const DWORD error = GetLastError();
    MarkForDeletion(HandleOf(file_.handle_), true);
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) {
      throw EInOutError(io_error::kAccessDenied, target);
    }
    SetLastError(error);
    ThrowIoErrorFromWindows(target);
  }
  stagingName_.clear();
  // The published file keeps the hidden mark only where its archived attributes say so.
  SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
  file_.Close();
}

File::File(File&& other) noexcept
    : handle_(std::exchange(other.handle_, kClosed)),
      writable_(std::exchange(other.writable_, false)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (handle_ != kClosed) CloseHandle(HandleOf(handle_));
    handle_ = std::exchange(other.handle_, kClosed);
    writable_ = std::exchange(other.writable_, false);
  }
  return *this;
}

File::~File() {
  if (handle_ != kClosed) CloseHandle(HandleOf(handle_));  // unchecked, as on POSIX
}

void File::RequireOpen() const {
  if (handle_ == kClosed) throw EInOutError(io_error::kFileNotOpen);
}

std::size_t File::Read(std::span<std::uint8_t> buffer) {
  RequireOpen();
  std::size_t total = 0;
  while (total < buffer.size()) {
    const auto wanted = static_cast<DWORD>(std::min<std::size_t>(buffer.size() - total, 1u << 30));
    DWORD count = 0;
    if (!ReadFile(HandleOf(handle_), buffer.data() + total, wanted, &count, nullptr)) {
      ThrowIoErrorFromWindows();
    }
    if (count == 0) break;
    total += count;
  }
  return total;
}

void File::ReadExact(std::span<std::uint8_t> buffer) {
  if (Read(buffer) != buffer.size()) throw EInOutError(io_error::kReadBeyondEnd);
}

void File::Write(std::span<const std::uint8_t> data) {
  RequireOpen();
  BeforeMutatingFileOperation();
  std::size_t total = 0;
  while (total < data.size()) {
    const auto wanted = static_cast<DWORD>(std::min<std::size_t>(data.size() - total, 1u << 30));
    DWORD count = 0;
    if (!WriteFile(HandleOf(handle_), data.data() + total, wanted, &count, nullptr)) {
      ThrowIoErrorFromWindows();
    }
    if (count == 0) throw EInOutError(io_error::kDiskFull);
    total += count;
  }
}

void File::Seek(std::int64_t position) {
  RequireOpen();
  if (position < 0) throw EInOutError(kNegativeSeek);
  LARGE_INTEGER distance{};
  distance.QuadPart = position;
  if (!SetFilePointerEx(HandleOf(handle_), distance, nullptr, FILE_BEGIN)) {
    ThrowIoErrorFromWindows();
  }
}

std::int64_t File::Position() const {
  RequireOpen();
  LARGE_INTEGER position{};
  if (!SetFilePointerEx(HandleOf(handle_), LARGE_INTEGER{}, &position, FILE_CURRENT)) {
    ThrowIoErrorFromWindows();
  }
  return position.QuadPart;
}

std::int64_t File::Size() const {
  RequireOpen();
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(HandleOf(handle_), &size)) ThrowIoErrorFromWindows();
  return size.QuadPart;
}

FileAccess File::Access() const {
  RequireOpen();
  return {};
}

void File::ShareAccessOf(const FileAccess&) {
  RequireOpen();
  // The access list the file took from its folder stands, as for every file made there.
  BeforeMutatingFileOperation();
}

// Windows flushes only through a handle that may write, and a read-only file cannot be opened
// for writing. So every file the program writes is flushed when it is closed, and a file
// opened for reading has nothing of the program's left to flush.
void File::Sync() {
  RequireOpen();
  BeforeMutatingFileOperation();
  if (writable_ && !FlushFileBuffers(HandleOf(handle_))) ThrowIoErrorFromWindows();
}

// Windows has no call that starts a flush without waiting for it.
void File::StartFlush() noexcept {}

void File::Close() {
  RequireOpen();
  if (writable_) {
    BeforeMutatingFileOperation();
    if (!FlushFileBuffers(HandleOf(handle_))) ThrowIoErrorFromWindows();
  }
  const HANDLE handle = HandleOf(std::exchange(handle_, kClosed));
  writable_ = false;
  if (!CloseHandle(handle)) ThrowIoErrorFromWindows();
}

}  // namespace kestravuna::platform
