// What the packer and the unpacker share besides the record format.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "archive/archive_progress.h"

namespace kestravuna {

// Large enough to copy at the speed of the disk, small enough to keep memory bounded.
inline constexpr std::size_t kCopyBufferSize = std::size_t{1} << 20;

// "Kodiere " or "Dekodiere ", the name and "...", cut to 255 characters of the 8-bit code
// page as the window's status line always was; returned as UTF-8.
std::string FileStatusText(std::string_view prefix, std::string_view codePageName);

// Whether a stored name (8-bit code page) is a plain file name of one folder level: not empty,
// not "." or "..", and without "/", "\\" or NUL, any of which could reach outside the folder.
bool IsSafeFileName(std::string_view codePageName);

// Lets pending window events run, then shows the file's status text.
void ReportFile(const ArchiveProgress& progress, std::string_view prefix,
                std::string_view codePageName);

}  // namespace kestravuna
