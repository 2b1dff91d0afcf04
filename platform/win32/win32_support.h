// What the Win32 side of the platform layer shares: wide paths and the mapping of the
// system's error codes onto the program's error numbers.
#pragma once

#include <windows.h>

#include <filesystem>

// windows.h names the ANSI or wide function by macro; the platform layer's own DeleteFile and
// ReplaceFile must not be renamed with it.
#undef DeleteFile
#undef ReplaceFile

namespace kestravuna::platform {

// The system's error code as the program's error number. Windows codes are the numbers the
// run-time I/O error was made for (2, 3, 4, 5, 32, 112 ...) and pass through, except "already
// exists" (80, 183), which becomes 5 as every refusal to touch something under a name does,
// and codes that the program gives a meaning of its own (100 and above), which become 1117.
int IoErrorNumberFromWindows(DWORD code);

// Raises EInOutError for GetLastError(), naming `path` where one is given.
[[noreturn]] void ThrowIoErrorFromWindows();
[[noreturn]] void ThrowIoErrorFromWindows(const std::filesystem::path& path);

// Whether attributes read from the system mark a link or junction, which is never followed.
inline bool IsReparsePoint(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

}  // namespace kestravuna::platform
