// The drive list of a system without drive letters: the mounted file systems a user can
// open, read from the kernel's table of this process's mounts.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "platform/file_system.h"

namespace kestravuna::platform {

namespace {

// Kernel interfaces and helper mounts that hold no user files.
constexpr auto kPseudoFileSystems = std::to_array<std::string_view>(
    {"autofs", "binfmt_misc", "bpf",        "cgroup",     "cgroup2",   "configfs", "debugfs",
     "devpts", "devtmpfs",    "efivarfs",   "fusectl",    "hugetlbfs", "mqueue",   "nsfs",
     "proc",   "pstore",      "rpc_pipefs", "securityfs", "selinuxfs", "sysfs",    "tracefs"});

bool IsBelow(std::string_view path, std::string_view folder) {
  return path == folder || (path.starts_with(folder) && path[folder.size()] == '/');
}

// Runtime and kernel trees; removable media mounted for a user under /run/media stay.
bool IsSystemMountPoint(std::string_view mountPoint) {
  return IsBelow(mountPoint, "/proc") || IsBelow(mountPoint, "/sys") ||
         IsBelow(mountPoint, "/dev") ||
         (IsBelow(mountPoint, "/run") && !IsBelow(mountPoint, "/run/media"));
}

// The table writes blanks, tabs, line feeds and backslashes in names as octal "\040".
std::string UnescapeMountField(std::string_view field) {
  std::string text;
  for (std::size_t i = 0; i < field.size(); ++i) {
    const auto isOctal = [](char c) { return c >= '0' && c <= '7'; };
    if (field[i] == '\\' && i + 3 < field.size() && isOctal(field[i + 1]) &&
        isOctal(field[i + 2]) && isOctal(field[i + 3])) {
      text += static_cast<char>(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) |
                                (field[i + 3] - '0'));
      i += 3;
    } else {
      text += field[i];
    }
  }
  return text;
}

struct Mount {
  std::string mountPoint;
  std::string fileSystem;
};

// A line of /proc/self/mountinfo: "ID PARENT MAJ:MIN ROOT MOUNTPOINT OPTIONS [TAGS...] -
// FSTYPE SOURCE SUPEROPTIONS".
bool ParseMountInfoLine(const std::string& line, Mount& mount) {
  std::istringstream fields(line);
  std::string field;
  for (int index = 0; index < 5; ++index) {
    if (!(fields >> field)) {
      return false;
    }
  }
  mount.mountPoint = UnescapeMountField(field);
  while (fields >> field && field != "-") {
  }
  return static_cast<bool>(fields >> mount.fileSystem);
}

bool IsUserVolume(const Mount& mount) {
  if (std::find(kPseudoFileSystems.begin(), kPseudoFileSystems.end(), mount.fileSystem) !=
          kPseudoFileSystems.end() ||
      IsSystemMountPoint(mount.mountPoint)) {
    return false;
  }
  // Single files bound into place (containers do this for /etc/hosts) are no volumes.
  struct stat status {};
  return ::stat(mount.mountPoint.c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
         ::access(mount.mountPoint.c_str(), R_OK | X_OK) == 0;
}

}  // namespace

std::vector<std::filesystem::path> Drives() {
  std::vector<std::filesystem::path> drives{FirstDiskRoot()};
  std::ifstream table("/proc/self/mountinfo");
  std::string line;
  Mount mount;
  while (std::getline(table, line)) {
    if (ParseMountInfoLine(line, mount) && IsUserVolume(mount) &&
        std::find(drives.begin(), drives.end(), mount.mountPoint) == drives.end()) {
      drives.emplace_back(mount.mountPoint);
    }
  }
  return drives;
}

}  // namespace kestravuna::platform
