#include "platform/folder_listing.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/io_error.h"
#include "platform/tests/test_support.h"

namespace kestravuna::platform {
namespace {

using test_support::IoErrorNumberOf;
using test_support::ModeOf;
using test_support::TempFolder;
using test_support::WriteFile;

void MakeSocket(const std::filesystem::path& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(path.string().size(), sizeof address.sun_path);
  std::strcpy(address.sun_path, path.c_str());
  EXPECT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ::close(fd);
}

struct Expected {
  std::uint32_t attributes;
  std::uint64_t size;
  bool operator==(const Expected&) const = default;
};

// One entry of every kind the listing has to tell apart.
class FolderListingTest : public testing::Test {
 protected:
  void SetUp() override {
    WriteFile(folder_ / "a.txt", "12345");
    WriteFile(folder_ / "leer", "");
    WriteFile(folder_ / "ro.txt", "abc");
    ::chmod((folder_ / "ro.txt").c_str(), 0444);
    WriteFile(folder_ / "group-writable", "x");
    ::chmod((folder_ / "group-writable").c_str(), 0464);  // only the owner's bit counts
    WriteFile(folder_ / ".versteckt", "hidden");
    WriteFile(folder_ / ".ro-versteckt", "hr");
    ::chmod((folder_ / ".ro-versteckt").c_str(), 0400);
    WriteFile(folder_ / "Größe ä.txt", "utf8");
    std::filesystem::create_directory(folder_ / "sub");
    std::filesystem::create_directory(folder_ / ".hidden-dir");
    std::filesystem::create_directory(folder_ / "ro-dir");
    ::chmod((folder_ / "ro-dir").c_str(), 0555);
    std::filesystem::create_symlink("a.txt", folder_ / "link-to-file");
    std::filesystem::create_symlink("sub", folder_ / "link-to-dir");
    std::filesystem::create_symlink("nirgends", folder_ / "dangling");
    ::mkfifo((folder_ / "fifo").c_str(), 0600);
    MakeSocket(folder_ / "socket");
  }

  const std::map<std::string, Expected> expected_ = {
      {"a.txt", {32, 5}},          {"leer", {32, 0}},       {"ro.txt", {33, 3}},
      {"group-writable", {33, 1}}, {".versteckt", {34, 6}}, {".ro-versteckt", {35, 2}},
      {"Größe ä.txt", {32, 4}},    {"sub", {16, 0}},        {".hidden-dir", {18, 0}},
      {"ro-dir", {16, 0}},  // directories do not report read-only
  };
  TempFolder folder_;
};

TEST_F(FolderListingTest, ListsFilesAndDirectoriesWithTheirAttributes) {
  std::map<std::string, Expected> listed;
  for (const FolderEntry& entry : ListFolder(folder_.path())) {
    EXPECT_TRUE(listed.emplace(entry.name, Expected{entry.attributes, entry.size}).second)
        << "listed twice: " << entry.name;
  }
  EXPECT_EQ(listed, expected_);
}

TEST_F(FolderListingTest, KeepsTheOrderOfTheFileSystem) {
  std::vector<std::string> fileSystemOrder;
  for (const auto& item : std::filesystem::directory_iterator(folder_.path())) {
    const std::string name = item.path().filename().string();
    if (expected_.contains(name)) {
      fileSystemOrder.push_back(name);
    }
  }
  std::vector<std::string> listedOrder;
  for (const FolderEntry& entry : ListFolder(folder_.path())) {
    listedOrder.push_back(entry.name);
  }
  EXPECT_EQ(listedOrder, fileSystemOrder);
}

TEST_F(FolderListingTest, GetAttributesAgreesWithTheListing) {
  for (const auto& [name, expected] : expected_) {
    EXPECT_EQ(GetAttributes(folder_ / name), expected.attributes) << name;
  }
  for (const char* invisible :
       {"link-to-file", "link-to-dir", "dangling", "fifo", "socket", "fehlt"}) {
    EXPECT_EQ(IoErrorNumberOf([&] { GetAttributes(folder_ / invisible); }), io_error::kFileNotFound)
        << invisible;
  }
}

TEST_F(FolderListingTest, StreamingStopsWithTheVisitorsException) {
  int visited = 0;
  EXPECT_THROW(ForEachFolderEntry(folder_.path(),
                                  [&visited](const FolderEntry&) {
                                    if (++visited == 2) {
                                      throw std::runtime_error("genug");
                                    }
                                  }),
               std::runtime_error);
  EXPECT_EQ(visited, 2);
}

TEST(FolderListingErrorsTest, AFolderThatCannotBeListedRaises) {
  const TempFolder folder;
  WriteFile(folder / "datei", "x");
  EXPECT_EQ(IoErrorNumberOf([&] { ListFolder(folder / "fehlt"); }), io_error::kFileNotFound);
  EXPECT_EQ(IoErrorNumberOf([&] { ListFolder(folder / "datei"); }), io_error::kInvalidFileName);
}

TEST(FolderListingErrorsTest, EmptyFolderListsNothing) {
  const TempFolder folder;
  EXPECT_TRUE(ListFolder(folder.path()).empty());
}

TEST(IsPlainFileTest, OnlyHiddenSystemVolumeLabelAndDirectoryExclude) {
  const struct {
    std::uint32_t attributes;
    bool plain;
  } cases[] = {
      {0, true},  {1, true},  {32, true},  {33, true},  {128, true}, {8224, true}, {2, false},
      {4, false}, {8, false}, {16, false}, {34, false}, {39, false}, {48, false},  {17, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsPlainFile(c.attributes), c.plain) << c.attributes;
  }
}

TEST(SetAttributesTest, ReadOnlyClearsEveryWriteBitAndOnlyReadOnlyCounts) {
  const struct {
    mode_t before;
    std::uint32_t attributes;
    mode_t after;
  } cases[] = {
      {0644, attr::kReadOnly, 0444},
      {0666, attr::kReadOnly | attr::kArchive, 0444},
      {0755, attr::kReadOnly, 0555},
      {0400, attr::kReadOnly, 0400},
      {0444, attr::kArchive, 0644},  // clearing read-only gives the owner write access back
      {0444, 0, 0644},
      {0640, attr::kHidden | attr::kSystem, 0640},
      {0600, attr::kArchive, 0600},
  };
  const TempFolder folder;
  const auto path = folder / "datei";
  WriteFile(path, "x");
  for (const auto& c : cases) {
    ASSERT_EQ(::chmod(path.c_str(), c.before), 0);
    SetAttributes(path, c.attributes);
    EXPECT_EQ(ModeOf(path), c.after)
        << std::oct << c.before << " with " << std::dec << c.attributes;
    EXPECT_EQ(GetAttributes(path) & attr::kReadOnly, c.attributes & attr::kReadOnly);
  }
}

TEST(SetAttributesTest, LeavesADirectoryWritable) {
  const TempFolder folder;
  std::filesystem::create_directory(folder / "ordner");
  ::chmod((folder / "ordner").c_str(), 0755);
  SetAttributes(folder / "ordner", attr::kReadOnly | attr::kDirectory);
  EXPECT_EQ(ModeOf(folder / "ordner"), 0755u);
}

TEST(SetAttributesTest, NeverChangesTheTargetOfALink) {
  const TempFolder folder;
  WriteFile(folder / "ziel", "x");
  ::chmod((folder / "ziel").c_str(), 0644);
  std::filesystem::create_symlink("ziel", folder / "link");
  EXPECT_NE(IoErrorNumberOf([&] { SetAttributes(folder / "link", attr::kReadOnly); }), 0);
  EXPECT_EQ(ModeOf(folder / "ziel"), 0644u);
}

TEST(SetAttributesTest, MissingFileRaises2) {
  const TempFolder folder;
  EXPECT_EQ(IoErrorNumberOf([&] { SetAttributes(folder / "fehlt", 0); }), io_error::kFileNotFound);
}

}  // namespace
}  // namespace kestravuna::platform
