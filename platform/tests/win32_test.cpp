// The Win32 side of the platform layer with real attributes, error codes and drives.
#include <gtest/gtest.h>

#include <filesystem>

// First: it takes back the macros of windows.h that would rename the layer's functions.
#include "platform/win32/win32_support.h"

#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/folder_listing.h"
#include "platform/folder_lock.h"
#include "platform/io_error.h"
#include "platform/tests/test_support.h"
#include "test_support/temp_folder.h"

namespace kestravuna::platform {
namespace {

using kestravuna::test_support::TempFolder;
using kestravuna::test_support::WriteFile;
namespace fs = std::filesystem;

TEST(Win32ErrorMapping, SystemCodesPassThroughExceptExistsAndTheProgramsOwnNumbers) {
  const struct {
    DWORD code;
    int expected;
  } cases[] = {
      {ERROR_FILE_NOT_FOUND, 2},
      {ERROR_PATH_NOT_FOUND, 3},
      {ERROR_TOO_MANY_OPEN_FILES, 4},
      {ERROR_ACCESS_DENIED, 5},
      {ERROR_SHARING_VIOLATION, 32},
      {ERROR_DISK_FULL, 112},
      {ERROR_FILE_EXISTS, 5},
      {ERROR_ALREADY_EXISTS, 5},
      {100, 1117},
      {101, 1117},
      {103, 1117},
      {106, 1117},
  };
  for (const auto& c : cases) EXPECT_EQ(IoErrorNumberFromWindows(c.code), c.expected) << c.code;
}

TEST(Win32Attributes, HiddenSystemAndReadOnlyAreTheSystemsOwn) {
  TempFolder folder;
  WriteFile(folder / "plain.txt", "p");
  WriteFile(folder / "hidden.txt", "h");
  WriteFile(folder / "system.txt", "s");
  WriteFile(folder / "fest.txt", "r");
  SetAttributes(folder / "hidden.txt", attr::kHidden);
  SetAttributes(folder / "system.txt", attr::kSystem);
  SetAttributes(folder / "fest.txt", attr::kReadOnly | attr::kArchive);
  fs::create_directory(folder / "unter");

  EXPECT_EQ(GetAttributes(folder / "hidden.txt") & attr::kHidden, attr::kHidden);
  EXPECT_EQ(GetAttributes(folder / "system.txt") & attr::kSystem, attr::kSystem);
  EXPECT_EQ(GetAttributes(folder / "fest.txt"), attr::kReadOnly | attr::kArchive);
  int plain = 0;
  for (const FolderEntry& entry : ListFolder(folder.path())) {
    if (entry.name == "unter") {
      EXPECT_EQ(entry.attributes & attr::kDirectory, attr::kDirectory);
    }
    if (IsPlainFile(entry.attributes)) ++plain;
  }
  EXPECT_EQ(plain, 2);  // plain.txt and the read-only fest.txt

  SetAttributes(folder / "fest.txt", 0);
  EXPECT_EQ(GetAttributes(folder / "fest.txt") & attr::kReadOnly, 0u);
}

TEST(Win32Files, ReadOnlyFilesAreDeletedAndNothingIsReplaced) {
  TempFolder folder;
  WriteFile(folder / "fest.txt", "r");
  SetAttributes(folder / "fest.txt", attr::kReadOnly);
  DeleteFile(folder / "fest.txt");
  EXPECT_EQ(KindOfEntry(folder / "fest.txt"), EntryKind::Missing);

  WriteFile(folder / "a", "a");
  WriteFile(folder / "b", "b");
  EXPECT_EQ(test_support::IoErrorNumberOf([&] { File::Create(folder / "a"); }), 5);
  EXPECT_EQ(test_support::IoErrorNumberOf([&] { RenameFile(folder / "a", folder / "b"); }), 5);
  EXPECT_EQ(test_support::IoErrorNumberOf([&] { File::OpenRead(folder.path()); }), 5);
  EXPECT_EQ(test_support::IoErrorNumberOf([&] { File::OpenRead(folder / "fehlt"); }), 2);
  EXPECT_EQ(KindOfEntry(folder.path()), EntryKind::Other);
}

TEST(Win32Files, AnonymousFilesLeaveNothingBehind) {
  TempFolder folder;
  {
    File file = File::CreateAnonymous(folder.path());
    const std::uint8_t data[] = {1, 2, 3};
    file.Write(data);
  }
  EXPECT_TRUE(fs::is_empty(folder.path()));
}

TEST(Win32FolderLock, ASecondLockOfTheSameFolderIsRefusedUntilTheFirstEnds) {
  TempFolder folder;
  {
    const auto first = FolderLock::TryLock(folder.path());
    ASSERT_TRUE(first.has_value());
    EXPECT_FALSE(FolderLock::TryLock(folder.path()).has_value());
    TempFolder other;
    EXPECT_TRUE(FolderLock::TryLock(other.path()).has_value());
  }
  EXPECT_TRUE(FolderLock::TryLock(folder.path()).has_value());
}

TEST(Win32Places, DrivesRootAndPrivateFolder) {
  EXPECT_EQ(FirstDiskRoot(), fs::path(L"C:\\"));
  bool hasC = false;
  for (const fs::path& drive : Drives()) hasC = hasC || drive == fs::path(L"C:\\");
  EXPECT_TRUE(hasC);
  const fs::path temp = PrivateTempDir();
  EXPECT_EQ(temp.filename(), fs::path(L"Kestravuna"));
  EXPECT_TRUE(fs::is_directory(temp));
  EXPECT_TRUE(IsOwnExecutable(OwnExecutable()));
}

TEST(Win32Names, UmlautsGoThroughListingAndPathsAsUtf8) {
  TempFolder folder;
  WriteFile(folder / "Grüße ä.txt", "x");
  const std::vector<FolderEntry> entries = ListFolder(folder.path());
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "Grüße ä.txt");
  EXPECT_EQ(entries[0].size, 1u);
}

}  // namespace
}  // namespace kestravuna::platform
