// The password prompt on a terminal: what ends it early (Ctrl-D, Ctrl-C) changes nothing and
// leaves the terminal as it was. The program runs on a pseudo-terminal, as a user types.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "test_support/temp_folder.h"

namespace kestravuna {
namespace {

using test_support::Snapshot;
using test_support::TempFolder;
using test_support::WriteFile;
namespace fs = std::filesystem;

// kestravuna-cli on a pseudo-terminal of its own.
class TerminalRun {
 public:
  TerminalRun(const std::string& command, const fs::path& folder, const fs::path& cache) {
    process_ = forkpty(&terminal_, nullptr, nullptr, nullptr);
    if (process_ == 0) {
      setenv("XDG_CACHE_HOME", cache.c_str(), 1);
      execl(KESTRAVUNA_CLI, KESTRAVUNA_CLI, command.c_str(), folder.c_str(),
            static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  TerminalRun(const TerminalRun&) = delete;
  TerminalRun& operator=(const TerminalRun&) = delete;
  ~TerminalRun() {
    if (process_ > 0 && !ended_) {
      kill(process_, SIGKILL);
      waitpid(process_, nullptr, 0);
    }
    if (terminal_ >= 0) close(terminal_);
  }

  bool Started() const { return process_ > 0; }

  // Reads what the program shows until `text` has appeared (true) or ten seconds passed.
  bool WaitFor(const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (shown_.find(text) == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd ready{terminal_, POLLIN, 0};
      if (poll(&ready, 1, static_cast<int>(left.count())) <= 0) return false;
      char buffer[256];
      const ssize_t count = read(terminal_, buffer, sizeof buffer);
      if (count <= 0) return false;
      shown_.append(buffer, static_cast<std::size_t>(count));
    }
    return true;
  }

  void Type(const std::string& keys) const {
    ASSERT_EQ(write(terminal_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }

  // The status as waitpid gives it.
  int Wait() {
    int status = 0;
    waitpid(process_, &status, 0);
    ended_ = true;
    return status;
  }

  // Waits until the program has turned the echo off for its prompt (true), at most ten
  // seconds. Keys typed before then would be flushed away with the terminal's input.
  bool WaitUntilSilent() const {
    for (int tries = 0; tries < 1000 && Echoes(); ++tries) usleep(10'000);
    return !Echoes();
  }

  // Whether the terminal echoes what is typed.
  bool Echoes() const {
    termios settings{};
    return tcgetattr(terminal_, &settings) == 0 && (settings.c_lflag & ECHO) != 0;
  }

 private:
  int terminal_ = -1;
  pid_t process_ = -1;
  bool ended_ = false;
  std::string shown_;
};

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
  TerminalRun run("protect", folder, cache);
  ASSERT_TRUE(run.Started());
  ASSERT_TRUE(run.WaitFor("Passwort: "));
  ASSERT_TRUE(run.WaitUntilSilent());
  run.Type("\x04");
  const int status = run.Wait();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_EQ(Snapshot(folder), before);
}

// Ctrl-C while the echo is off ends the program with the echo back on.
TEST_F(PasswordPromptTest, CtrlCLeavesTheTerminalEchoing) {
  TerminalRun run("protect", folder, cache);
  ASSERT_TRUE(run.Started());
  ASSERT_TRUE(run.WaitFor("Passwort: "));
  ASSERT_TRUE(run.WaitUntilSilent()) << "the prompt hides what is typed";
  run.Type("\x03");
  const int status = run.Wait();
  // Ended by the signal; under ThreadSanitizer, which defers signals, the interrupted read
  // returns first and the program cancels (exit 1) instead. Either way the echo is back.
  EXPECT_TRUE((WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) ||
              (WIFEXITED(status) && WEXITSTATUS(status) == 1))
      << status;
  EXPECT_TRUE(run.Echoes());
  EXPECT_EQ(Snapshot(folder), before);
}

}  // namespace
}  // namespace kestravuna
