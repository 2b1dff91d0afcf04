// The program's folders in the user's own profile, which other users cannot read: the private
// directory for the temporary archive files (%LOCALAPPDATA%\Kestravuna) and the folder of the
// remembered choices (%APPDATA%\Kestravuna).
#include <cstdlib>

#include "platform/file_system.h"
#include "platform/io_error.h"
#include "platform/win32/win32_support.h"

namespace kestravuna::platform {

namespace {

// The folder Kestravuna in the profile folder that `variable` names, made where missing.
std::filesystem::path ProfileFolder(const wchar_t* variable) {
  const wchar_t* base = _wgetenv(variable);
  if (base == nullptr || *base == L'\0') {
    throw EInOutError(io_error::kFileNotFound);
  }
  const std::filesystem::path folder = std::filesystem::path(base) / L"Kestravuna";
  if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    ThrowIoErrorFromWindows(folder);
  }
  // A link or junction here could send the program's files anywhere: refused.
  const DWORD attributes = GetFileAttributesW(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) ThrowIoErrorFromWindows(folder);
  if (IsReparsePoint(attributes) || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    throw EInOutError(io_error::kAccessDenied, folder);
  }
  return folder;
}

}  // namespace

std::filesystem::path PrivateTempDir() { return ProfileFolder(L"LOCALAPPDATA"); }

std::filesystem::path UserConfigDir() { return ProfileFolder(L"APPDATA"); }

}  // namespace kestravuna::platform
