// Helpers shared by the platform tests: a scratch folder, environment overrides and a
// short way to name the error an action raises.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

#include "io_error.h"

namespace kestravuna::platform::testing {

// A fresh folder under the system's temporary directory, removed with all its contents.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "kestravuna-platform-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      throw std::filesystem::filesystem_error("mkdtemp",
                                              std::error_code(errno, std::generic_category()));
    }
    path_ = pattern;
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }

  const std::filesystem::path& Path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Sets (or with nullopt removes) an environment variable and puts the old value back.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) {
      old_ = old;
    }
    Apply(value);
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
  ~ScopedEnvironment() { Apply(old_); }

 private:
  void Apply(const std::optional<std::string>& value) {
    if (value) {
      ::setenv(name_, value->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  const char* name_;
  std::optional<std::string> old_;
};

// The error number that `action` raises as EInOutError, or 0 when it raises none.
template <typename Action>
int IoErrorNumberOf(Action&& action) {
  try {
    action();
  } catch (const EInOutError& error) {
    return error.ErrorNumber();
  }
  return 0;
}

inline std::string ContentOf(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::string content(std::filesystem::file_size(path), '\0');
  in.read(content.data(), static_cast<std::streamsize>(content.size()));
  return content;
}

inline void WriteText(const std::filesystem::path& path, std::string_view text) {
  std::ofstream(path, std::ios::binary) << text;
}

inline mode_t ModeOf(const std::filesystem::path& path) {
  struct stat status {};
  ::lstat(path.c_str(), &status);
  return status.st_mode & 07777;
}

inline bool RunningAsRoot() { return ::geteuid() == 0; }

}  // namespace kestravuna::platform::testing
