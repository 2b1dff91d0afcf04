// The remembered state of the encryption check box: kept per user across starts, and a profile
// where nothing can be kept leaves the box unchecked without an error.
#include "protect/user_settings.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "test_support/environment.h"
#include "test_support/temp_folder.h"

namespace kestravuna {
namespace {

using test_support::ScopedEnvironment;
using test_support::TempFolder;

// The configuration folder lies in XDG_CONFIG_HOME on Linux, in APPDATA on Windows.
class UserSettingsTest : public testing::Test {
 protected:
  TempFolder home;
  ScopedEnvironment configVariable{"XDG_CONFIG_HOME", home.path().string()};
  ScopedEnvironment appDataVariable{"APPDATA", home.path().string()};
};

TEST_F(UserSettingsTest, TheLastChoiceIsKept) {
  EXPECT_FALSE(RememberedEncryption());  // nothing kept yet
  RememberEncryption(true);
  EXPECT_TRUE(RememberedEncryption());
  RememberEncryption(false);
  EXPECT_FALSE(RememberedEncryption());
  RememberEncryption(true);
  EXPECT_TRUE(RememberedEncryption());
  // One file, replaced each time, and nothing written aside stays behind.
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(home.path())) {
    files += entry.is_regular_file() ? 1 : 0;
  }
  EXPECT_EQ(files, 1u);
}

TEST_F(UserSettingsTest, AProfileThatKeepsNothingLeavesTheBoxUnchecked) {
  // A file where the program's configuration folder belongs: it can be neither made nor used.
  test_support::WriteFile(home / "kestravuna", "kein Ordner");
  test_support::WriteFile(home / "Kestravuna", "kein Ordner");
  RememberEncryption(true);
  EXPECT_FALSE(RememberedEncryption());
}

}  // namespace
}  // namespace kestravuna
