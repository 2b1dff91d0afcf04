// What the folder tree and the drive list show, apart from their windows: the subfolders a
// folder lists and the drives with their pictures' types.
#pragma once

#include "app/win32/windows_api.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kestravuna::app::win32 {

// Whether the tree lists a folder entry: a folder that is neither hidden nor system, is not a
// link or junction (never followed), and whose name does not begin with ".".
bool IsListedFolder(DWORD attributes, std::wstring_view name);

// The subfolders the tree lists under `folder`, by name in the file system's case, sorted
// without regard to case. A folder that cannot be read lists none.
std::vector<std::wstring> ListedSubfolders(const std::filesystem::path& folder);

struct DriveEntry {
  std::filesystem::path root;  // "X:\"
  std::wstring label;          // "X:", in upper case
};

struct DriveChoice {
  std::vector<DriveEntry> entries;
  std::size_t selected;  // the entry of the shown drive
};

// The drive list's entries for the system's drives, with `shown` selected; a shown drive the
// system does not report (it went away) is added at the end, so the list always names it.
DriveChoice ListDrives(const std::vector<std::filesystem::path>& drives,
                       const std::filesystem::path& shown);

}  // namespace kestravuna::app::win32
