// Helpers of the platform tests: a short way to name the error an action raises and a file's
// mode, beside the shared scratch folder, file and environment helpers.
#pragma once

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

#include "platform/io_error.h"
#include "test_support/environment.h"
#ifndef _WIN32
#include "test_support/ordinary_user.h"
#endif
#include "test_support/temp_folder.h"

namespace kestravuna::platform::test_support {

#ifndef _WIN32
using kestravuna::test_support::ModeOf;
using kestravuna::test_support::RunningAsRoot;
#endif
using kestravuna::test_support::ReadFile;
using kestravuna::test_support::ScopedEnvironment;
using kestravuna::test_support::TempFolder;
using kestravuna::test_support::WriteFile;

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

}  // namespace kestravuna::platform::test_support
