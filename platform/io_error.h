// The run-time I/O error: every checked file operation of the program raises it
// with the error number of the operating system (below 100) or of the file layer
// (100 and above), and its message is the German text of that number.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kestravuna::platform {

// Error numbers that the program itself raises; any other number is the operating system's.
namespace io_error {
inline constexpr int kFileNotFound = 2;
inline constexpr int kInvalidFileName = 3;
inline constexpr int kTooManyOpenFiles = 4;
inline constexpr int kAccessDenied = 5;
inline constexpr int kReadBeyondEnd = 100;  // a fixed-size record read past the end of a file
inline constexpr int kDiskFull = 101;       // a write stored fewer bytes than it was given
inline constexpr int kFileNotOpen = 103;
inline constexpr int kInvalidNumber = 106;
// ERROR_IO_DEVICE of Windows ("I/O-Fehler 1117"): a failing device, and what a system error
// becomes whose number the program uses with a meaning of its own.
inline constexpr int kDeviceError = 1117;

// Whether the file layer raises `number` itself (100 and above), so that a system error of the
// same number passed through would show a wrong text.
constexpr bool IsFileLayerNumber(int number) {
  return number == kReadBeyondEnd || number == kDiskFull || number == kFileNotOpen ||
         number == kInvalidNumber;
}
}  // namespace io_error

// German text of an error number: "Datei nicht gefunden", ..., "I/O-Fehler %d".
std::string IoErrorText(int errorNumber);

class EInOutError : public std::runtime_error {
 public:
  explicit EInOutError(int errorNumber);
  // The text names the file or folder at fault behind it ("Dateizugriff verweigert: /a/b"),
  // since a bare "access denied" does not tell the user where to look.
  EInOutError(int errorNumber, const std::filesystem::path& path);
  int ErrorNumber() const noexcept { return errorNumber_; }

 private:
  int errorNumber_;
};

#ifndef _WIN32
// Maps an errno value onto the program's error numbers (ENOENT -> 2, EACCES -> 5,
// ENOSPC -> 101, ...); numbers without a counterpart are passed through, except those
// that the program uses with another meaning (EIO is 5), which become 1117, the device
// error of Windows.
int IoErrorNumberFromErrno(int errnoValue);

// Raises EInOutError for the current errno, naming `path` where one is given.
[[noreturn]] void ThrowIoErrorFromErrno();
[[noreturn]] void ThrowIoErrorFromErrno(const std::filesystem::path& path);
#endif

// The text of the general error box: the message, with "." appended when its last
// character has a code above that of ".". Works on UTF-8 and on the 8-bit code page alike,
// since every byte of a multi-byte character lies above ".".
std::string ErrorBoxText(std::string_view message);

}  // namespace kestravuna::platform
