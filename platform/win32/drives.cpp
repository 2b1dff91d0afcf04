// The drive list: the drive letters the system reports that hold a file system.
#include "platform/file_system.h"
#include "platform/win32/win32_support.h"

namespace kestravuna::platform {

std::vector<std::filesystem::path> Drives() {
  std::vector<std::filesystem::path> drives;
  const DWORD letters = GetLogicalDrives();
  for (int index = 0; index < 26; ++index) {
    if ((letters & (1u << index)) == 0) continue;
    const std::wstring root = {static_cast<wchar_t>(L'A' + index), L':', L'\\'};
    if (GetDriveTypeW(root.c_str()) != DRIVE_NO_ROOT_DIR) drives.emplace_back(root);
  }
  return drives;
}

}  // namespace kestravuna::platform
