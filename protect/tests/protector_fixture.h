// The fixture of the tests that run the core's protect and restore on a folder: a temporary
// folder chosen as the window chooses one, a recording view, and the program's private folder
// in a temporary place.
#pragma once

#include <gtest/gtest.h>

#include "protect/folder_protector.h"
#include "protect/tests/recording_view.h"
#include "test_support/environment.h"
#include "test_support/temp_folder.h"

namespace kestravuna::test_support {

class ProtectorFixture : public testing::Test {
 protected:
  void SetUp() override {
    protector.ChooseFolder(folder.path());
    view.Clear();
  }

  TempFolder cache;
  // The private folder lies in the cache on Linux, in the local application data on Windows.
  ScopedEnvironment cacheVariable{"XDG_CACHE_HOME", cache.path().string()};
  ScopedEnvironment localAppDataVariable{"LOCALAPPDATA", cache.path().string()};
  TempFolder folder;
  RecordingView view;
  FolderProtector protector{view};
  // Choosing a folder enters it; the working directory goes back before the folders go.
  ScopedWorkingDirectory workingDirectoryPutBack;
};

}  // namespace kestravuna::test_support
