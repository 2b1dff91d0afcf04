#include "platform/file.h"

#include <algorithm>
#include <random>
#include <string>
#include <utility>

#include "platform/detail/fault_injection.h"
#include "platform/detail/native_file.h"
#include "platform/file_system.h"
#include "platform/io_error.h"
#include "platform/win32/win32_support.h"

namespace kestravuna::platform {

namespace {

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

namespace detail {

namespace {

// Wine and older systems refuse single transfers above 1 GiB; the callers' loops go on.
constexpr std::size_t kLargestTransfer = std::size_t{1} << 30;

DWORD TransferSize(std::size_t size) {
  return static_cast<DWORD>(std::min(size, kLargestTransfer));
}

// The basic information of an open file: its times and attributes.
FILE_BASIC_INFO BasicInformation(HANDLE handle, const std::filesystem::path& path) {
  FILE_BASIC_INFO information{};
  if (!GetFileInformationByHandleEx(handle, FileBasicInfo, &information, sizeof information)) {
    ThrowIoErrorFromWindows(path);
  }
  return information;
}

void SetBasicInformation(HANDLE handle, FILE_BASIC_INFO information,
                         const std::filesystem::path& path) {
  if (!SetFileInformationByHandle(handle, FileBasicInfo, &information, sizeof information)) {
    ThrowIoErrorFromWindows(path);
  }
}

// Closes a handle, where one was opened, when it goes out of scope.
struct HandleCloser {
  HANDLE handle;
  ~HandleCloser() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};

}  // namespace

std::ptrdiff_t NativeRead(NativeHandle handle, std::span<std::uint8_t> buffer) {
  DWORD count = 0;
  if (!ReadFile(HandleOf(handle), buffer.data(), TransferSize(buffer.size()), &count, nullptr)) {
    ThrowIoErrorFromWindows();
  }
  return count;
}

std::ptrdiff_t NativeWrite(NativeHandle handle, std::span<const std::uint8_t> data) {
  DWORD count = 0;
  if (!WriteFile(HandleOf(handle), data.data(), TransferSize(data.size()), &count, nullptr)) {
    ThrowIoErrorFromWindows();
  }
  return count;
}

void NativeSeek(NativeHandle handle, std::int64_t position) {
  LARGE_INTEGER distance{};
  distance.QuadPart = position;
  if (!SetFilePointerEx(HandleOf(handle), distance, nullptr, FILE_BEGIN)) {
    ThrowIoErrorFromWindows();
  }
}

std::int64_t NativePosition(NativeHandle handle) {
  LARGE_INTEGER position{};
  if (!SetFilePointerEx(HandleOf(handle), LARGE_INTEGER{}, &position, FILE_CURRENT)) {
    ThrowIoErrorFromWindows();
  }
  return position.QuadPart;
}

std::int64_t NativeSize(NativeHandle handle) {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(HandleOf(handle), &size)) ThrowIoErrorFromWindows();
  return size.QuadPart;
}

FileAccess NativeAccess(NativeHandle) { return {}; }

// The access list the file took from its folder stands, as for every file made there.
void NativeShareAccessOf(NativeHandle, const FileAccess&) {}

void NativeSync(NativeHandle handle) {
  if (!FlushFileBuffers(HandleOf(handle))) ThrowIoErrorFromWindows();
}

// Windows has no call that starts a flush without waiting for it.
void NativeStartFlush(NativeHandle) noexcept {}

void NativeClose(NativeHandle handle) {
  if (!CloseHandle(HandleOf(handle))) ThrowIoErrorFromWindows();
}

void NativeCloseUnchecked(NativeHandle handle) noexcept { CloseHandle(HandleOf(handle)); }

// FlushFileBuffers needs a handle that may write, and Windows opens no file marked read-only
// for writing, whoever asks. Such a file loses its mark for the moment it takes to open it;
// the mark and the times come back through the open handle before the flush, so the flush
// makes them durable with the data. A power cut within that moment can leave the file without
// its mark, never with other contents. Opening for writing without writing changes neither the
// file nor its times.
void SyncFileAt(const std::filesystem::path& path) {
  // Not OpenRegularFile: Wine answers its check of the file's type by moving the time of last
  // access. The attributes tell a folder or link as well.
  const HandleCloser attributes{CreateFileW(path.c_str(),
                                            FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, kShareAll,
                                            nullptr, OPEN_EXISTING, kOpenFlags, nullptr)};
  if (attributes.handle == INVALID_HANDLE_VALUE) ThrowIoErrorFromWindows(path);
  const FILE_BASIC_INFO original = BasicInformation(attributes.handle, path);
  if ((original.FileAttributes &
       (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) != 0) {
    throw EInOutError(io_error::kAccessDenied, path);
  }
  const bool readOnly = (original.FileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
  BeforeMutatingFileOperation();
  if (readOnly) {
    FILE_BASIC_INFO writable{};  // times of 0 stay as they are
    writable.FileAttributes = original.FileAttributes & ~DWORD{FILE_ATTRIBUTE_READONLY};
    if (writable.FileAttributes == 0) writable.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    SetBasicInformation(attributes.handle, writable, path);
  }
  const HandleCloser writer{CreateFileW(path.c_str(), FILE_WRITE_DATA, kShareAll, nullptr,
                                        OPEN_EXISTING, kOpenFlags, nullptr)};
  const DWORD openError = GetLastError();
  if (readOnly) SetBasicInformation(attributes.handle, original, path);
  if (writer.handle == INVALID_HANDLE_VALUE) {
    SetLastError(openError);
    ThrowIoErrorFromWindows(path);
  }
  if (!FlushFileBuffers(writer.handle)) ThrowIoErrorFromWindows(path);
}

}  // namespace detail

}  // namespace kestravuna::platform
