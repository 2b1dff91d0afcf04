// The durability promise of SyncFiles, SyncDirectory and File::Sync, on every system: they
// succeed on each kind of file a run flushes (its own, other people's, read-only ones, as
// restored files can be), fail where there is nothing to flush, and change no file. That the
// data would outlive a power cut no test here can show: that needs a device that loses power.
#ifdef _WIN32
// First: it takes back the macros of windows.h that would rename the layer's functions.
#include "platform/win32/win32_support.h"
#else
#include <sys/stat.h>
#endif

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/folder_listing.h"
#include "platform/io_error.h"
#include "platform/tests/test_support.h"

namespace kestravuna::platform {
namespace {

using test_support::IoErrorNumberOf;
using test_support::ReadFile;
using test_support::TempFolder;
using test_support::WriteFile;

// What the system records of a file besides its contents: its attributes and every time it
// shows (on POSIX also its mode, owner and the time its record last changed).
std::vector<std::int64_t> RecordOf(const std::filesystem::path& path) {
#ifdef _WIN32
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return {};
  const auto time = [](FILETIME t) {
    return static_cast<std::int64_t>((std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime);
  };
  return {data.dwFileAttributes, time(data.ftCreationTime), time(data.ftLastAccessTime),
          time(data.ftLastWriteTime)};
#else
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return {};
  return {status.st_mode,         status.st_uid,         status.st_atim.tv_sec,
          status.st_atim.tv_nsec, status.st_mtim.tv_sec, status.st_mtim.tv_nsec,
          status.st_ctim.tv_sec,  status.st_ctim.tv_nsec};
#endif
}

// File modes bind no test run by root: on POSIX as root, the files go to the ordinary user and
// the flush runs in a child process of that user. Returns the error number `flush` raises, 0
// for none.
void GiveToTheFlushingUser([[maybe_unused]] const std::vector<std::filesystem::path>& paths) {
#ifndef _WIN32
  if (!test_support::RunningAsRoot()) return;
  for (const auto& path : paths) kestravuna::test_support::GiveToOrdinaryUser(path);
#endif
}

int ErrorOfFlushByTheFlushingUser(const std::function<void()>& flush) {
#ifndef _WIN32
  if (test_support::RunningAsRoot()) {
    return kestravuna::test_support::RunAsOrdinaryUser([&] { return IoErrorNumberOf(flush); });
  }
#endif
  return IoErrorNumberOf(flush);
}

TEST(DurabilityTest, FlushesEveryKindOfFileARunFlushesAndChangesNone) {
  TempFolder folder;
  const struct {
    const char* name;
    bool throughFile;  // created owner-only through File, or written by another program
    std::uint32_t attributes;
  } cases[] = {
      {"eigene", true, 0},
      {"andere", false, 0},
      {"leer", false, 0},
      {"eigene-fest", true, attr::kReadOnly},
      {"fest", false, attr::kReadOnly},
      // The dot hides it on POSIX, the attribute on Windows.
      {".versteckt-fest", false, attr::kReadOnly | attr::kHidden},
  };
  std::vector<std::filesystem::path> files;
  for (const auto& c : cases) {
    const std::filesystem::path path = folder / c.name;
    const std::string contents = c.name == std::string("leer") ? "" : c.name;
    if (c.throughFile) {
      File file = File::Create(path);
      file.Write(std::vector<std::uint8_t>(contents.begin(), contents.end()));
      file.Close();
    } else {
      WriteFile(path, contents);
    }
    if (c.attributes != 0) SetAttributes(path, c.attributes);
    files.push_back(path);
  }
  std::vector<std::filesystem::path> owned = files;
  owned.push_back(folder.path());
  GiveToTheFlushingUser(owned);
  std::vector<std::vector<std::int64_t>> before;
  for (const auto& path : files) before.push_back(RecordOf(path));

  // Under Wine, which runs as root here, a read-only file would open for writing anyway; on
  // Windows itself only the moment without its mark lets it, which no test here can show.
  EXPECT_EQ(ErrorOfFlushByTheFlushingUser([&] {
              SyncFiles(files);
              SyncDirectory(folder.path());
            }),
            0);

  // The record first: reading the contents may move the time of the last access.
  for (std::size_t i = 0; i < files.size(); ++i) {
    EXPECT_EQ(RecordOf(files[i]), before[i]) << cases[i].name;
    EXPECT_FALSE(before[i].empty()) << cases[i].name;
  }
  for (const auto& c : cases) {
    EXPECT_EQ(ReadFile(folder / c.name), c.name == std::string("leer") ? "" : c.name) << c.name;
    EXPECT_EQ(GetAttributes(folder / c.name) & (attr::kReadOnly | attr::kHidden), c.attributes)
        << c.name;
  }
}

// The files are flushed by several threads; a failure on any of them reaches the caller.
TEST(DurabilityTest, SyncFilesFlushesEveryFileAndReportsAFailureFromAnyThread) {
  TempFolder folder;
  std::vector<std::filesystem::path> files;
  for (int i = 0; i < 12; ++i) {
    files.push_back(folder / ("datei" + std::to_string(i)));
    WriteFile(files.back(), "inhalt");
  }
  EXPECT_NO_THROW(SyncFiles({}));
  EXPECT_NO_THROW(SyncFiles(files));
  for (const std::size_t missing : {std::size_t{0}, std::size_t{7}, files.size() - 1}) {
    std::vector<std::filesystem::path> withAGap = files;
    withAGap[missing] = folder / "fehlt";
    EXPECT_EQ(IoErrorNumberOf([&] { SyncFiles(withAGap); }), io_error::kFileNotFound)
        << "missing file at " << missing;
  }
  EXPECT_EQ(IoErrorNumberOf([&] { SyncFiles({folder.path()}); }), io_error::kAccessDenied)
      << "a folder is no file to flush";
}

TEST(DurabilityTest, SyncDirectoryNeedsAnExistingDirectory) {
  TempFolder folder;
  WriteFile(folder / "datei", "x");
  SyncDirectory(folder.path());
  EXPECT_EQ(IoErrorNumberOf([&] { SyncDirectory(folder / "fehlt"); }), io_error::kFileNotFound);
  EXPECT_EQ(IoErrorNumberOf([&] { SyncDirectory(folder / "datei"); }), io_error::kInvalidFileName);
}

// A flush through a handle opened for reading does nothing on Windows, so it is refused on
// every system; the file is flushed by its name instead.
TEST(DurabilityTest, FileSyncNeedsAHandleOpenForWriting) {
  TempFolder folder;
  const std::filesystem::path path = folder / "datei";
  File written = File::Create(path);
  written.Write(std::vector<std::uint8_t>{1, 2, 3});
  EXPECT_NO_THROW(written.Sync());
  written.Close();
  EXPECT_EQ(IoErrorNumberOf([&] { written.Sync(); }), io_error::kFileNotOpen);

  File reader = File::OpenRead(path);
  EXPECT_EQ(IoErrorNumberOf([&] { reader.Sync(); }), io_error::kAccessDenied);
  reader.Close();
  EXPECT_EQ(ReadFile(path), std::string("\1\2\3"));
}

}  // namespace
}  // namespace kestravuna::platform
