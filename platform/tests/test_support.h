// Helpers of the platform tests: environment overrides and a short way to name the error an
// action raises, beside the shared scratch folder and file helpers.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

#include "platform/io_error.h"
#include "test_support/ordinary_user.h"
#include "test_support/temp_folder.h"

namespace kestravuna::platform::testing {

using kestravuna::testing::ReadFile;
using kestravuna::testing::RunningAsRoot;
using kestravuna::testing::TempFolder;
using kestravuna::testing::WriteFile;

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

inline mode_t ModeOf(const std::filesystem::path& path) {
  struct stat status {};
  ::lstat(path.c_str(), &status);
  return status.st_mode & 07777;
}

}  // namespace kestravuna::platform::testing
