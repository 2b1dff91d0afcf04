#include "platform/file.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/io_error.h"
#include "platform/tests/test_support.h"

namespace kestravuna::platform {
namespace {

using test_support::IoErrorNumberOf;
using test_support::ModeOf;
using test_support::ReadFile;
using test_support::TempFolder;
using test_support::WriteFile;

std::vector<std::uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

std::size_t OpenDescriptorCount() {
  return static_cast<std::size_t>(std::distance(
      std::filesystem::directory_iterator("/proc/self/fd"), std::filesystem::directory_iterator()));
}

class FileTest : public testing::Test {
 protected:
  TempFolder folder_;
};

TEST_F(FileTest, WrittenBytesReadBackWithPositionAndSize) {
  const auto path = folder_ / "data.bin";
  File file = File::Create(path);
  file.Write(Bytes("Hallo, Welt"));
  EXPECT_EQ(file.Position(), 11);
  EXPECT_EQ(file.Size(), 11);
  // Created files are open for reading as well.
  file.Seek(7);
  std::vector<std::uint8_t> word(4);
  file.ReadExact(word);
  EXPECT_EQ(word, Bytes("Welt"));
  file.Close();
  EXPECT_FALSE(file.IsOpen());

  File reopened = File::OpenRead(path);
  std::vector<std::uint8_t> buffer(64);
  EXPECT_EQ(reopened.Read(buffer), 11u) << "a read fills the buffer up to the end of the file";
  EXPECT_EQ(reopened.Read(buffer), 0u);
  reopened.Close();
}

// Create makes a new file or nothing: an existing file is never truncated or written into.
TEST_F(FileTest, CreateRefusesAnExistingFileAndReplaceReplacesOnlyAPlainFile) {
  const auto path = folder_ / "old.txt";
  WriteFile(path, "a long earlier content");
  EXPECT_EQ(IoErrorNumberOf([&] { File::Create(path); }), io_error::kAccessDenied);
  EXPECT_EQ(ReadFile(path), "a long earlier content");

  File file = File::Replace(path);
  EXPECT_EQ(file.Size(), 0);
  file.Write(Bytes("neu"));
  file.Close();
  EXPECT_EQ(ReadFile(path), "neu");

  WriteFile(folder_ / "victim.txt", "fremd");
  std::filesystem::create_symlink("victim.txt", folder_ / "link");
  std::filesystem::create_directory(folder_ / "folder");
  for (const char* name : {"link", "folder"}) {
    EXPECT_EQ(IoErrorNumberOf([&] { File::Replace(folder_ / name); }), io_error::kAccessDenied)
        << name;
  }
  EXPECT_TRUE(std::filesystem::is_symlink(folder_ / "link"));
  EXPECT_EQ(ReadFile(folder_ / "victim.txt"), "fremd");
}

TEST_F(FileTest, CreatedFilesAreOwnerOnlyWhateverTheUmask) {
  const mode_t previous = ::umask(0);
  File::Create(folder_ / "new.txt").Close();
  File::Replace(folder_ / "replaced.txt").Close();
  auto [unique, uniquePath] = File::CreateUnique(folder_.path(), ".stage-");
  unique.Close();
  ::umask(previous);
  EXPECT_EQ(ModeOf(folder_ / "new.txt"), 0600u);
  EXPECT_EQ(ModeOf(folder_ / "replaced.txt"), 0600u);
  EXPECT_EQ(ModeOf(uniquePath), 0600u);
  EXPECT_EQ(uniquePath.parent_path(), folder_.path());
  EXPECT_TRUE(uniquePath.filename().string().starts_with(".stage-"));
  EXPECT_EQ(uniquePath.filename().string().size(), std::string(".stage-XXXXXX").size());
}

// Temporary data of a run: nothing in the folder while it is open, nothing after it.
TEST_F(FileTest, AnonymousFilesLeaveNothingBehind) {
  {
    File file = File::CreateAnonymous(folder_.path());
    file.Write(Bytes("Zwischenstand"));
    file.Seek(0);
    std::vector<std::uint8_t> back(13);
    file.ReadExact(back);
    EXPECT_EQ(back, Bytes("Zwischenstand"));
    EXPECT_TRUE(std::filesystem::is_empty(folder_.path()));
  }
  EXPECT_TRUE(std::filesystem::is_empty(folder_.path()));
  EXPECT_EQ(IoErrorNumberOf([&] { File::CreateAnonymous(folder_ / "missing"); }),
            io_error::kFileNotFound);
}

// A file made from others is opened to other people no further than its source.
TEST_F(FileTest, ShareAccessOfNeverOpensAFileWiderThanItsSource) {
  const auto ownGroup = static_cast<std::uint32_t>(::getegid());
  const struct {
    FileAccess source;
    std::uint32_t expected;
  } cases[] = {
      {{0644, ownGroup}, 0644},     {{0600, ownGroup}, 0600}, {{0640, ownGroup}, 0640},
      {{0640, ownGroup + 1}, 0600},  // another group's read bit would open it to other people
      {{0755, ownGroup}, 0644},      // never execute bits
      {{04777, ownGroup}, 0666},     // never special bits
      {{0444, ownGroup}, 0644},      // the owner keeps read and write
  };
  for (const auto& c : cases) {
    const auto path = folder_ / "made";
    File file = File::Replace(path);
    file.ShareAccessOf(c.source);
    EXPECT_EQ(file.Access().mode, c.expected) << std::oct << c.source.mode;
    file.Close();
    EXPECT_EQ(ModeOf(path), c.expected);
  }
}

TEST(FileAccessTest, NarrowestAccessKeepsWhatBothAllow) {
  EXPECT_EQ(NarrowestAccess({0644, 5}, {0600, 5}).mode, 0600u);
  EXPECT_EQ(NarrowestAccess({0644, 5}, {0664, 5}).mode, 0644u);
  EXPECT_EQ(NarrowestAccess({0664, 5}, {0664, 6}).mode, 0604u);
}

TEST_F(FileTest, ReadExactBeyondTheEndRaises100) {
  const auto path = folder_ / "short.bin";
  WriteFile(path, "12345");
  File file = File::OpenRead(path);
  std::vector<std::uint8_t> record(5);
  file.ReadExact(record);  // exactly up to the end is fine
  file.Seek(2);
  EXPECT_EQ(IoErrorNumberOf([&] { file.ReadExact(record); }), io_error::kReadBeyondEnd);
}

TEST_F(FileTest, NegativeSeekRaises131AndKeepsThePosition) {
  File file = File::Create(folder_ / "a.bin");
  file.Write(Bytes("abc"));
  EXPECT_EQ(IoErrorNumberOf([&] { file.Seek(-1); }), 131);
  EXPECT_EQ(file.Position(), 3);
}

TEST_F(FileTest, OpeningFailsWithTheMeaningOfTheCause) {
  WriteFile(folder_ / "plain.txt", "inhalt");
  std::filesystem::create_directory(folder_ / "folder");
  std::filesystem::create_symlink("plain.txt", folder_ / "link");
  std::filesystem::create_symlink("missing.txt", folder_ / "dangling");
  ASSERT_EQ(::mkfifo((folder_ / "fifo").c_str(), 0600), 0);

  struct Case {
    const char* what;
    std::filesystem::path path;
    File (*open)(const std::filesystem::path&);
    int expected;
  };
  const Case cases[] = {
      {"missing file", folder_ / "missing.txt", &File::OpenRead, io_error::kFileNotFound},
      {"create in a missing folder", folder_ / "nowhere" / "x", &File::Create,
       io_error::kFileNotFound},
      {"file used as a folder", folder_ / "plain.txt" / "x", &File::OpenRead,
       io_error::kInvalidFileName},
      {"name too long", folder_ / std::string(300, 'n'), &File::Create, io_error::kInvalidFileName},
      {"directory", folder_ / "folder", &File::OpenRead, io_error::kAccessDenied},
      {"create over a directory", folder_ / "folder", &File::Create, io_error::kAccessDenied},
      {"symbolic link", folder_ / "link", &File::OpenRead, io_error::kAccessDenied},
      {"create through a link", folder_ / "link", &File::Create, io_error::kAccessDenied},
      {"create through a dangling link", folder_ / "dangling", &File::Create,
       io_error::kAccessDenied},
      {"FIFO (must not hang)", folder_ / "fifo", &File::OpenRead, io_error::kAccessDenied},
      {"create over a FIFO", folder_ / "fifo", &File::Create, io_error::kAccessDenied},
      {"create over a file", folder_ / "plain.txt", &File::Create, io_error::kAccessDenied},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IoErrorNumberOf([&] { c.open(c.path); }), c.expected) << c.what;
  }
  EXPECT_EQ(ReadFile(folder_ / "plain.txt"), "inhalt") << "a link led the write elsewhere";
  EXPECT_FALSE(std::filesystem::exists(folder_ / "missing.txt"));
}

// The message names what could not be opened, so that the user knows where to look.
TEST_F(FileTest, OpeningErrorsNameTheFile) {
  const auto path = folder_ / "missing.txt";
  try {
    File::OpenRead(path);
    FAIL() << "no error";
  } catch (const EInOutError& error) {
    EXPECT_EQ(std::string(error.what()), "Datei nicht gefunden: " + path.string());
  }
}

// A read-only file under the name: Create leaves it as it is, whoever runs it; Replace, for a
// destination the caller named, puts a new owner-only file in its place.
TEST_F(FileTest, AReadOnlyFileIsLeftByCreateAndReplacedByReplace) {
  const auto path = folder_ / "ro.txt";
  WriteFile(path, "bleibt");
  std::filesystem::permissions(path, std::filesystem::perms::owner_read);
  EXPECT_EQ(IoErrorNumberOf([&] { File::Create(path); }), io_error::kAccessDenied);
  EXPECT_EQ(ReadFile(path), "bleibt");

  File replaced = File::Replace(path);
  replaced.Write(Bytes("neu"));
  replaced.Close();
  EXPECT_EQ(ReadFile(path), "neu");
  EXPECT_EQ(std::filesystem::status(path).permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST_F(FileTest, ClosedAndMovedFromHandlesRaise103) {
  File file = File::Create(folder_ / "a.txt");
  File moved = std::move(file);
  std::vector<std::uint8_t> buffer(4);
  EXPECT_EQ(IoErrorNumberOf([&] { file.Write(buffer); }), io_error::kFileNotOpen);
  moved.Close();
  EXPECT_EQ(IoErrorNumberOf([&] { moved.Read(buffer); }), io_error::kFileNotOpen);
  EXPECT_EQ(IoErrorNumberOf([&] { moved.Position(); }), io_error::kFileNotOpen);
  EXPECT_EQ(IoErrorNumberOf([&] { moved.Close(); }), io_error::kFileNotOpen);
}

TEST_F(FileTest, NoDescriptorOutlivesItsHandle) {
  const std::size_t before = OpenDescriptorCount();
  {
    File first = File::Create(folder_ / "a.txt");
    File second = File::Create(folder_ / "b.txt");
    first = std::move(second);  // closes a.txt
    EXPECT_EQ(OpenDescriptorCount(), before + 1);
  }
  EXPECT_EQ(OpenDescriptorCount(), before);
}

// A file system with room for a few KiB: a write beyond it reports the disk as full
// after storing what fitted.
TEST_F(FileTest, FullDiskRaises101) {
  const auto mountPoint = folder_ / "small";
  std::filesystem::create_directory(mountPoint);
  if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=64k") != 0) {
    GTEST_SKIP() << "cannot mount a small tmpfs here (needs root and mount rights)";
  }
  const std::vector<std::uint8_t> data(256 * 1024, 0x5A);
  int error = 0;
  {
    File file = File::Create(mountPoint / "big.bin");
    error = IoErrorNumberOf([&] { file.Write(data); });
  }
  ::umount(mountPoint.c_str());
  EXPECT_EQ(error, io_error::kDiskFull);
}

// A file size limit stops the write with EFBIG half-way, which also means the disk can
// take no more. Runs in a child process, since the limit stays with the process.
TEST_F(FileTest, FileSizeLimitRaises101) {
  const auto path = folder_ / "limited.bin";
  const auto writeBeyondLimit = [&path] {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    File file = File::Create(path);
    const std::vector<std::uint8_t> data(10000, 1);
    std::_Exit(IoErrorNumberOf([&] { file.Write(data); }));
  };
  EXPECT_EXIT(writeBeyondLimit(), testing::ExitedWithCode(io_error::kDiskFull), "");
}

}  // namespace
}  // namespace kestravuna::platform
