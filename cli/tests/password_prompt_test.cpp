// The password prompt on a terminal: what ends it early (Ctrl-D, Ctrl-C) changes nothing and
// leaves the terminal as it was. The program runs on a pseudo-terminal, as a user types.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <map>
#include <string>

#include "cli/tests/terminal_runner.h"
#include "test_support/temp_folder.h"

namespace kestravuna {
namespace {

using test_support::RunCliOnTerminal;
using test_support::Snapshot;
using test_support::TempFolder;
using test_support::TerminalOutcome;
using test_support::WriteFile;
namespace fs = std::filesystem;

class PasswordPromptTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(folder / "brief.txt", "Sehr geehrte Damen und Herren,\n");
    before = Snapshot(folder);
  }

  TempFolder area;
  fs::path folder = area / "ordner";
  fs::path cache = area / "cache";
  std::map<std::string, std::string> before;
};

// Ctrl-D at the prompt is no password at all: the run is cancelled, and the folder is not
// protected with the empty password's stand-in.
TEST_F(PasswordPromptTest, CtrlDCancelsAndChangesNothing) {
  const TerminalOutcome run =
      RunCliOnTerminal({"protect", folder.string()}, cache, "Passwort: ", "\x04");
  EXPECT_EQ(run.exitCode, 1) << run.screen;
  EXPECT_EQ(Snapshot(folder), before);
}

// Ctrl-C while the echo is off ends the program with the echo back on.
TEST_F(PasswordPromptTest, CtrlCLeavesTheTerminalEchoing) {
  const TerminalOutcome run =
      RunCliOnTerminal({"protect", folder.string()}, cache, "Passwort: ", "\x03");
  // Ended by the signal; under ThreadSanitizer, which defers signals, the interrupted read
  // returns first and the program cancels (exit 1) instead. Either way the echo is back.
  const int status = run.waitStatus;
  EXPECT_TRUE((WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) || run.exitCode == 1)
      << status << "\n"
      << run.screen;
  EXPECT_TRUE(run.echoesAfter);
  EXPECT_EQ(Snapshot(folder), before);
}

}  // namespace
}  // namespace kestravuna
