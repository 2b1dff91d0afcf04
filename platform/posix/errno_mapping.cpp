// How the errno values of a POSIX system become the program's error numbers, whose
// meanings (and German texts) follow the Windows error codes.
#include <cerrno>

#include "platform/io_error.h"

namespace kestravuna::platform {

namespace {

// Whether the program gives `number` a meaning of its own, so that passing an unrelated
// errno of the same value through would show a wrong text: the Windows codes 2 to 5 and the
// file layer's numbers.
bool HasOwnMeaning(int number) {
  return (number >= io_error::kFileNotFound && number <= io_error::kAccessDenied) ||
         io_error::IsFileLayerNumber(number);
}

}  // namespace

int IoErrorNumberFromErrno(int errnoValue) {
  switch (errnoValue) {
    case ENOENT:
      return io_error::kFileNotFound;
    // A path component that is not a directory: Windows reports "path not found" (3).
    case ENOTDIR:
    case ENAMETOOLONG:
    case EINVAL:
    case EILSEQ:
      return io_error::kInvalidFileName;
    case EMFILE:
    case ENFILE:
      return io_error::kTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EEXIST:
    case EISDIR:
    case ETXTBSY:
    case EBUSY:
    case ELOOP:  // a symbolic link where a file was expected: never followed
      return io_error::kAccessDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return io_error::kDiskFull;
    default:
      // EIO is 5 and the network errors lie at 100 and above, where the program's own
      // numbers mean something else ("Dateizugriff verweigert" for a failing disk would
      // send the user looking in the wrong place).
      return HasOwnMeaning(errnoValue) ? io_error::kDeviceError : errnoValue;
  }
}

void ThrowIoErrorFromErrno() { throw EInOutError(IoErrorNumberFromErrno(errno)); }

void ThrowIoErrorFromErrno(const std::filesystem::path& path) {
  throw EInOutError(IoErrorNumberFromErrno(errno), path);
}

}  // namespace kestravuna::platform
