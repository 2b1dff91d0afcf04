#include "platform/file_system.h"

#include <vector>

#include "platform/detail/fault_injection.h"
#include "platform/io_error.h"
#include "platform/utf8_path.h"
#include "platform/win32/win32_support.h"

namespace kestravuna::platform {

namespace {

struct FileIdentity {
  DWORD volume;
  DWORD indexHigh;
  DWORD indexLow;
  bool operator==(const FileIdentity&) const = default;
};

// What the system knows of the file under `path` itself (a link is not followed).
bool InformationOf(const std::filesystem::path& path, BY_HANDLE_FILE_INFORMATION& information) {
  const HANDLE handle = CreateFileW(
      path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const bool known = GetFileInformationByHandle(handle, &information);
  CloseHandle(handle);
  return known;
}

// The identity of the file under `path` itself, if there is one.
bool IdentityOf(const std::filesystem::path& path, FileIdentity& identity) {
  BY_HANDLE_FILE_INFORMATION information{};
  if (!InformationOf(path, information)) return false;
  identity = {information.dwVolumeSerialNumber, information.nFileIndexHigh,
              information.nFileIndexLow};
  return true;
}

// How many names the file has; 0 when that cannot be told, which counts as shared.
DWORD LinkCountOf(const std::filesystem::path& path) {
  BY_HANDLE_FILE_INFORMATION information{};
  return InformationOf(path, information) ? information.nNumberOfLinks : 0;
}

}  // namespace

void DeleteFile(const std::filesystem::path& path) {
  BeforeMutatingFileOperation();
  // Windows refuses to delete a read-only file; the program deletes only files it may, and
  // a read-only one among them loses the attribute first, unless another name of the file
  // would keep that change.
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
      !IsReparsePoint(attributes) && LinkCountOf(path) == 1) {
    SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  }
  if (!DeleteFileW(path.c_str())) ThrowIoErrorFromWindows(path);
}

void ReplaceFile(const std::filesystem::path& from, const std::filesystem::path& to) {
  BeforeMutatingFileOperation();
  if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ThrowIoErrorFromWindows(to);
  }
}

void RenameFile(const std::filesystem::path& from, const std::filesystem::path& to) {
  BeforeMutatingFileOperation();
  // Without MOVEFILE_REPLACE_EXISTING the rename fails when `to` exists.
  if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) {
    const DWORD error = GetLastError();
    SetLastError(error);
    ThrowIoErrorFromWindows(error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? to
                                                                                        : from);
  }
}

bool NameFits(const std::filesystem::path&, std::string_view name) {
  constexpr std::size_t kLimit = 255;  // UTF-16 units of one name on NTFS and FAT
  return !name.empty() && PathFromUtf8(name).native().size() <= kLimit;
}

bool FileExists(const std::filesystem::path& path) {
  return KindOfEntry(path) == EntryKind::PlainFile;
}

EntryKind KindOfEntry(const std::filesystem::path& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? EntryKind::Missing
                                                                          : EntryKind::Other;
  }
  const bool plain = (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT |
                                    FILE_ATTRIBUTE_DEVICE)) == 0;
  return plain ? EntryKind::PlainFile : EntryKind::Other;
}

bool CanDeleteFile(const std::filesystem::path& path) {
  // Whether the access list allows it shows only when it is tried: opening the file for
  // deletion asks exactly that, without deleting it.
  const HANDLE handle =
      CreateFileW(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  CloseHandle(handle);
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         ((attributes & FILE_ATTRIBUTE_READONLY) == 0 || LinkCountOf(path) == 1);
}

void SyncDirectory(const std::filesystem::path& folder) {
  // A folder is flushed, as a file is, through a handle that may write to it (add files).
  const HANDLE handle = CreateFileW(folder.c_str(), FILE_ADD_FILE | FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) ThrowIoErrorFromWindows(folder);
  BY_HANDLE_FILE_INFORMATION information{};
  if (!GetFileInformationByHandle(handle, &information)) {
    const DWORD error = GetLastError();
    CloseHandle(handle);
    SetLastError(error);
    ThrowIoErrorFromWindows(folder);
  }
  // A file opens here as well; it is no folder, as POSIX answers.
  if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    CloseHandle(handle);
    throw EInOutError(io_error::kInvalidFileName, folder);
  }
  // File systems that cannot flush a folder on request say so with "invalid function" or
  // "not supported", and some with "access denied" although the handle may write; NTFS on
  // current systems flushes it. Where they refuse, the folder's names are as durable as the
  // file system's own journal keeps them, and nothing more can be asked of it.
  const bool synced = FlushFileBuffers(handle) || GetLastError() == ERROR_INVALID_FUNCTION ||
                      GetLastError() == ERROR_NOT_SUPPORTED ||
                      GetLastError() == ERROR_ACCESS_DENIED;
  const DWORD error = GetLastError();
  CloseHandle(handle);
  if (!synced) {
    SetLastError(error);
    ThrowIoErrorFromWindows(folder);
  }
}

// A run reaches its folder by the folder's own path (the lock keeps it from being moved).
std::filesystem::path PathAsUserKnowsIt(const std::filesystem::path& path) { return path; }

std::filesystem::path WorkingDirectory() { return std::filesystem::current_path(); }

void SetWorkingDirectory(const std::filesystem::path& folder) {
  if (!SetCurrentDirectoryW(folder.c_str())) ThrowIoErrorFromWindows(folder);
}

std::filesystem::path OwnExecutable() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) ThrowIoErrorFromWindows();
    if (length < buffer.size()) return std::filesystem::path(buffer.data(), buffer.data() + length);
    buffer.resize(buffer.size() * 2);
  }
}

bool IsOwnExecutable(const std::filesystem::path& path) {
  static const std::filesystem::path own = OwnExecutable();
  FileIdentity ownIdentity{};
  FileIdentity candidate{};
  return IdentityOf(own, ownIdentity) && IdentityOf(path, candidate) && ownIdentity == candidate;
}

std::filesystem::path FirstDiskRoot() { return L"C:\\"; }

}  // namespace kestravuna::platform
