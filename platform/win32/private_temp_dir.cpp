// The private directory for the temporary archive files: %LOCALAPPDATA%\Kestravuna, in the
// user's own profile, which other users cannot read.
#include <cstdlib>

#include "platform/file_system.h"
#include "platform/io_error.h"
#include "platform/win32/win32_support.h"

namespace kestravuna::platform {

std::filesystem::path PrivateTempDir() {
  const wchar_t* localAppData = _wgetenv(L"LOCALAPPDATA");
  if (localAppData == nullptr || *localAppData == L'\0') {
    throw EInOutError(io_error::kFileNotFound);
  }
  const std::filesystem::path folder = std::filesystem::path(localAppData) / L"Kestravuna";
  if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    ThrowIoErrorFromWindows(folder);
  }
  // A link or junction here could send the copy of a folder anywhere: refused.
  const DWORD attributes = GetFileAttributesW(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) ThrowIoErrorFromWindows(folder);
  if (IsReparsePoint(attributes) || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    throw EInOutError(io_error::kAccessDenied, folder);
  }
  return folder;
}

}  // namespace kestravuna::platform
