#include "platform/io_error.h"
#include "platform/win32/win32_support.h"

namespace kestravuna::platform {

int IoErrorNumberFromWindows(DWORD code) {
  if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS) return io_error::kAccessDenied;
  const auto number = static_cast<int>(code);
  return io_error::IsFileLayerNumber(number) ? io_error::kDeviceError : number;
}

void ThrowIoErrorFromWindows() { throw EInOutError(IoErrorNumberFromWindows(GetLastError())); }

void ThrowIoErrorFromWindows(const std::filesystem::path& path) {
  throw EInOutError(IoErrorNumberFromWindows(GetLastError()), path);
}

}  // namespace kestravuna::platform
