#include "platform/folder_listing.h"

#include <memory>
#include <optional>

#include "platform/detail/fault_injection.h"
#include "platform/io_error.h"
#include "platform/utf8_path.h"
#include "platform/win32/win32_support.h"

namespace kestravuna::platform {

namespace {

// The attribute bits the program knows; the system's values are the program's own.
constexpr DWORD kKnownAttributes = attr::kReadOnly | attr::kHidden | attr::kSystem |
                                   attr::kVolumeLabel | attr::kDirectory | attr::kArchive;
// File times count 100-nanosecond ticks from 1601-01-01; this many lie before the Unix epoch.
constexpr std::int64_t kTicksBeforeEpoch = 116'444'736'000'000'000;

std::int64_t NanosecondsOf(const FILETIME& time) {
  const auto ticks = static_cast<std::int64_t>(
      static_cast<std::uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime);
  return (ticks - kTicksBeforeEpoch) * 100;
}

struct FindCloser {
  void operator()(HANDLE handle) const { FindClose(handle); }
};

}  // namespace

// The entry for what FindFirstFileW found, or nullopt for what the program never lists.
std::optional<FolderEntry> EntryFound(const WIN32_FIND_DATAW& found) {
  // Links and junctions are never listed, so nothing follows them; neither are devices.
  if (IsReparsePoint(found.dwFileAttributes) || (found.dwFileAttributes & FILE_ATTRIBUTE_DEVICE)) {
    return std::nullopt;
  }
  FolderEntry entry;
  entry.name = Utf8Of(std::filesystem::path(found.cFileName));
  entry.attributes = found.dwFileAttributes & kKnownAttributes;
  if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    entry.size = static_cast<std::uint64_t>(found.nFileSizeHigh) << 32 | found.nFileSizeLow;
    entry.modifiedNs = NanosecondsOf(found.ftLastWriteTime);
    // The listing gives no file identity; size and time tell a changed file.
  }
  return entry;
}

void ForEachFolderEntry(const std::filesystem::path& folder,
                        const std::function<void(const FolderEntry&)>& visit) {
  WIN32_FIND_DATAW found{};
  const HANDLE first = FindFirstFileW((folder / L"*.*").c_str(), &found);
  if (first == INVALID_HANDLE_VALUE) {
    if (GetLastError() == ERROR_FILE_NOT_FOUND) return;  // not even "." and "..": nothing
    ThrowIoErrorFromWindows(folder);
  }
  const std::unique_ptr<void, FindCloser> search(first);
  do {
    const std::wstring_view name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    if (const std::optional<FolderEntry> entry = EntryFound(found)) visit(*entry);
  } while (FindNextFileW(first, &found));
  if (GetLastError() != ERROR_NO_MORE_FILES) ThrowIoErrorFromWindows(folder);
}

std::optional<FolderEntry> EntryOf(const std::filesystem::path& path) {
  WIN32_FIND_DATAW found{};
  const HANDLE search = FindFirstFileW(path.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return std::nullopt;
    ThrowIoErrorFromWindows(path);
  }
  FindClose(search);
  return EntryFound(found);
}

std::uint32_t GetAttributes(const std::filesystem::path& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) ThrowIoErrorFromWindows(path);
  if (IsReparsePoint(attributes)) throw EInOutError(io_error::kFileNotFound, path);
  return attributes & kKnownAttributes;
}

void SetAttributes(const std::filesystem::path& path, std::uint32_t attributes) {
  const DWORD current = GetFileAttributesW(path.c_str());
  if (current == INVALID_FILE_ATTRIBUTES) ThrowIoErrorFromWindows(path);
  if (IsReparsePoint(current)) throw EInOutError(io_error::kFileNotFound, path);
  BeforeMutatingFileOperation();
  constexpr DWORD kSettable = attr::kReadOnly | attr::kHidden | attr::kSystem | attr::kArchive;
  const DWORD wanted = (current & ~kSettable) | (attributes & kSettable);
  if (!SetFileAttributesW(path.c_str(), wanted == 0 ? FILE_ATTRIBUTE_NORMAL : wanted)) {
    ThrowIoErrorFromWindows(path);
  }
}

}  // namespace kestravuna::platform
