// Permission tests must run as an ordinary user: root ignores file modes. When the tests run
// as root (as in CI), such a case runs its body in a child process that has given up root for
// the traditional unprivileged user "nobody"; another user's files are made by root itself.
// ModeOf reads what such a test checks.
#pragma once

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <exception>
#include <filesystem>
#include <functional>
#include <stdexcept>

namespace kestravuna::test_support {

inline constexpr uid_t kOrdinaryUid = 65534;
inline constexpr gid_t kOrdinaryGid = 65534;

inline bool RunningAsRoot() { return ::geteuid() == 0; }

// The permission bits of `path`, links not followed.
inline mode_t ModeOf(const std::filesystem::path& path) {
  struct stat status {};
  ::lstat(path.c_str(), &status);
  return status.st_mode & 07777;
}

// Gives `path` (not following links) to the ordinary user, so that the child can work in it.
inline void GiveToOrdinaryUser(const std::filesystem::path& path) {
  if (::lchown(path.c_str(), kOrdinaryUid, kOrdinaryGid) != 0) {
    throw std::runtime_error("lchown failed: " + path.string());
  }
}

// Runs `body` as the ordinary user in a child process and returns what it returns (-1 when the
// child could not switch or ended otherwise). Needs root.
inline int RunAsOrdinaryUser(const std::function<int()>& body) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(kOrdinaryGid) != 0 ||
        ::setuid(kOrdinaryUid) != 0) {
      ::_exit(255);
    }
    int result = 255;
    try {
      result = body();
    } catch (...) {
      result = 254;
    }
    ::_exit(result);
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace kestravuna::test_support
