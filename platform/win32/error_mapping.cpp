#include "platform/io_error.h"
#include "platform/win32/win32_support.h"

namespace kestravuna::platform {

namespace {

constexpr int kDeviceError = 1117;  // ERROR_IO_DEVICE, "I/O-Fehler 1117"

bool HasOwnMeaning(DWORD code) {
  switch (code) {
    case io_error::kReadBeyondEnd:
    case io_error::kDiskFull:
    case io_error::kFileNotOpen:
    case io_error::kInvalidNumber:
      return true;
    default:
      return false;
  }
}

}  // namespace

int IoErrorNumberFromWindows(DWORD code) {
  switch (code) {
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return io_error::kAccessDenied;
    default:
      return HasOwnMeaning(code) ? kDeviceError : static_cast<int>(code);
  }
}

void ThrowIoErrorFromWindows() { throw EInOutError(IoErrorNumberFromWindows(GetLastError())); }

void ThrowIoErrorFromWindows(const std::filesystem::path& path) {
  throw EInOutError(IoErrorNumberFromWindows(GetLastError()), path);
}

}  // namespace kestravuna::platform
