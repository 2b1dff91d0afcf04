// The program's folders in the user's home: the private directory for the temporary archive
// files, which briefly holds a full copy of the folder being protected, so it must be on disk
// (not a RAM-backed runtime directory) and readable by nobody but the user; and the folder of
// the user's remembered choices.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/file_system.h"
#include "platform/io_error.h"

namespace kestravuna::platform {

namespace {

constexpr mode_t kPrivateMode = 0700;

bool IsAbsolute(const char* path) { return path != nullptr && path[0] == '/'; }

// A base directory of the user's by the XDG rules: `variable` when it holds an absolute path
// (a relative one is ignored), else `inHome` in the home directory.
std::filesystem::path XdgHome(const char* variable, const char* inHome) {
  if (const char* base = std::getenv(variable); IsAbsolute(base)) return base;
  if (const char* home = std::getenv("HOME"); IsAbsolute(home)) {
    return std::filesystem::path(home) / inHome;
  }
  passwd entry{};
  passwd* found = nullptr;
  std::string buffer(16384, '\0');
  if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
      found != nullptr && IsAbsolute(entry.pw_dir)) {
    return std::filesystem::path(entry.pw_dir) / inHome;
  }
  throw EInOutError(io_error::kFileNotFound);
}

// mkdir -p, where every directory made here is private from the start.
void MakeDirectories(const std::filesystem::path& folder) {
  std::filesystem::path partial;
  for (const std::filesystem::path& component : folder) {
    partial /= component;
    if (::mkdir(partial.c_str(), kPrivateMode) != 0 && errno != EEXIST) {
      ThrowIoErrorFromErrno(partial);
    }
  }
}

// The directory must be the user's own real directory. Group and other write access
// means someone else may have planted files in it, so it is refused; mere read or search
// access (left by a tool that made it with the usual umask) is taken away.
void EnsurePrivate(const std::filesystem::path& folder) {
  struct stat status {};
  if (::lstat(folder.c_str(), &status) != 0) {
    ThrowIoErrorFromErrno(folder);
  }
  if (!S_ISDIR(status.st_mode) || status.st_uid != ::geteuid() ||
      (status.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    throw EInOutError(io_error::kAccessDenied, folder);
  }
  if ((status.st_mode & 07777) != kPrivateMode && ::chmod(folder.c_str(), kPrivateMode) != 0) {
    ThrowIoErrorFromErrno(folder);
  }
}

}  // namespace

std::filesystem::path PrivateTempDir() {
  const std::filesystem::path folder = XdgHome("XDG_CACHE_HOME", ".cache") / "kestravuna";
  MakeDirectories(folder);
  EnsurePrivate(folder);
  return folder;
}

std::filesystem::path UserConfigDir() {
  const std::filesystem::path folder = XdgHome("XDG_CONFIG_HOME", ".config") / "kestravuna";
  MakeDirectories(folder);
  EnsurePrivate(folder);
  return folder;
}

}  // namespace kestravuna::platform
