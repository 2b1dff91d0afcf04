#include "platform/detail/fault_injection.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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
using test_support::ModeOf;
using test_support::ReadFile;
using test_support::ScopedEnvironment;
using test_support::TempFolder;

const std::vector<std::uint8_t> kData = {'a', 'b', 'c'};

// One of each mutating operation, in this order, with reads in between that must not
// count. Before each mutating operation its number goes to a log written without the
// platform layer, so a killed run shows how far it got.
void RunEveryMutatingOperation(const std::filesystem::path& folder) {
  std::ofstream log(folder / "log");
  const auto step = [&log](int number) { log << number << ' ' << std::flush; };
  step(1);
  File file = File::Create(folder / "a");
  step(2);
  file.Write(kData);
  step(3);
  file.Sync();
  file.Seek(0);
  std::vector<std::uint8_t> buffer(3);
  file.ReadExact(buffer);
  step(4);
  file.Close();
  File reader = File::OpenRead(folder / "a");
  reader.Close();  // closing a file opened for reading changes nothing
  static_cast<void>(ListFolder(folder));
  static_cast<void>(GetAttributes(folder / "a"));
  step(5);
  SetAttributes(folder / "a", attr::kReadOnly);
  step(6);
  RenameFile(folder / "a", folder / "b");
  step(7);
  DeleteFile(folder / "b");
  step(8);
}

// What the folder holds after the operations before `number` ran and `number` did not.
struct StateBefore {
  int number;
  bool aExists;
  std::string aContent;
  bool aReadOnly;
  bool bExists;
};

TEST(FaultInjectionTest, KillsTheProcessAtTheNthMutatingOperation) {
  const StateBefore cases[] = {
      {1, false, "", false, false},   {2, true, "", false, false},
      {3, true, "abc", false, false}, {4, true, "abc", false, false},
      {5, true, "abc", false, false}, {6, true, "abc", true, false},
      {7, false, "", false, true},
  };
  for (const StateBefore& c : cases) {
    SCOPED_TRACE("kill at operation " + std::to_string(c.number));
    const TempFolder folder;
    const ScopedEnvironment kill("KESTRAVUNA_KILL_AFTER_FILE_OPS", std::to_string(c.number));
    EXPECT_EXIT(
        {
          ResetFileOperationFaults();
          RunEveryMutatingOperation(folder.path());
          std::_Exit(0);
        },
        testing::KilledBySignal(SIGKILL), "");
    std::string expectedLog;
    for (int number = 1; number <= c.number; ++number) {
      expectedLog += std::to_string(number) + ' ';
    }
    EXPECT_EQ(ReadFile(folder / "log"), expectedLog);
    EXPECT_EQ(std::filesystem::exists(folder / "a"), c.aExists);
    if (c.aExists) {
      EXPECT_EQ(ReadFile(folder / "a"), c.aContent);
      EXPECT_EQ((ModeOf(folder / "a") & S_IWUSR) == 0, c.aReadOnly);
    }
    EXPECT_EQ(std::filesystem::exists(folder / "b"), c.bExists);
  }
}

TEST(FaultInjectionTest, FailsOnlyTheNthMutatingOperation) {
  const TempFolder folder;
  {
    const ScopedEnvironment fail("KESTRAVUNA_FAIL_AFTER_FILE_OPS", "2");
    ResetFileOperationFaults();
    File file = File::Create(folder / "a");
    EXPECT_EQ(IoErrorNumberOf([&] { file.Write(kData); }), 1117);
    EXPECT_EQ(file.Size(), 0) << "the failed write must not have happened";
    file.Write(kData);
    file.Close();
  }
  ResetFileOperationFaults();
  EXPECT_EQ(ReadFile(folder / "a"), "abc");
}

TEST(FaultInjectionTest, InertWithoutAPositiveNumber) {
  const char* values[] = {nullptr, "", "0", "-1", "1x", "eins"};
  for (const char* value : values) {
    SCOPED_TRACE(value == nullptr ? "unset" : value);
    const TempFolder folder;
    const ScopedEnvironment kill("KESTRAVUNA_KILL_AFTER_FILE_OPS",
                                 value ? std::optional<std::string>(value) : std::nullopt);
    const ScopedEnvironment fail("KESTRAVUNA_FAIL_AFTER_FILE_OPS",
                                 value ? std::optional<std::string>(value) : std::nullopt);
    EXPECT_EXIT(
        {
          ResetFileOperationFaults();
          RunEveryMutatingOperation(folder.path());
          std::_Exit(0);
        },
        testing::ExitedWithCode(0), "");
    EXPECT_EQ(ReadFile(folder / "log"), "1 2 3 4 5 6 7 8 ");
  }
  ResetFileOperationFaults();
}

}  // namespace
}  // namespace kestravuna::platform
