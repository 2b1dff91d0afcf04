// Changes of the process's environment and working directory that a test makes and that are
// undone when it ends, also when an assertion ends it early.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace kestravuna::test_support {

// Sets (or with nullopt removes) an environment variable and puts the old value back.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    Apply(value);
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
  ~ScopedEnvironment() { Apply(old_); }

 private:
  void Apply(const std::optional<std::string>& value) {
#ifdef _WIN32
    _putenv_s(name_, value ? value->c_str() : "");  // an empty value removes the variable
#else
    if (value) {
      ::setenv(name_, value->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
#endif
  }
  const char* name_;
  std::optional<std::string> old_;
};

// Puts the working directory back where it was.
class ScopedWorkingDirectory {
 public:
  ScopedWorkingDirectory() : previous_(std::filesystem::current_path()) {}
  ScopedWorkingDirectory(const ScopedWorkingDirectory&) = delete;
  ScopedWorkingDirectory& operator=(const ScopedWorkingDirectory&) = delete;
  ~ScopedWorkingDirectory() {
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
  }

 private:
  std::filesystem::path previous_;
};

}  // namespace kestravuna::test_support
