// The program's texts and file names are UTF-8 (the file formats convert them to the code page
// at their boundary). A path made from a narrow string takes it in the system's narrow
// encoding, which on Windows is the ANSI code page, not UTF-8; these two convert explicitly and
// keep every byte as it is on Linux.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kestravuna::platform {

inline std::filesystem::path PathFromUtf8(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string Utf8Of(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// A name as a message shows it: bytes that are no UTF-8 (a name written under another
// encoding) appear escaped as \xNN instead of raw, so a message never carries bytes that a
// terminal or a window would garble.
std::string DisplayName(std::string_view utf8);
// A path as a message shows it: as DisplayName, and a folder a run pinned under its own path
// (FolderLock::Folder) under the path a user knows.
std::string DisplayPath(const std::filesystem::path& path);

}  // namespace kestravuna::platform
