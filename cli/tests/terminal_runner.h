// Runs kestravuna-cli on a pseudo-terminal, as a user at a terminal sees it: standard input,
// output and error are all the terminal, so the output is what the screen received.
#pragma once

#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kestravuna::test_support {

struct TerminalOutcome {
  int exitCode = -1;         // when the program exited
  int waitStatus = 0;        // as waitpid gave it, for an ending by a signal
  std::string screen;        // every byte the program sent to the terminal
  bool echoesAfter = false;  // the terminal echoes what is typed once the program has ended
};

// `keys` are typed as they are once `prompt` has appeared on the screen and the program has
// turned the echo off for it (a password and Enter at its prompt, or Ctrl-C).
inline TerminalOutcome RunCliOnTerminal(const std::vector<std::string>& args,
                                        const std::filesystem::path& cache,
                                        std::string_view prompt = {}, std::string_view keys = {}) {
  std::filesystem::create_directories(cache);
  winsize size{};
  size.ws_row = 24;
  size.ws_col = 100;
  int terminal = -1;
  const pid_t child = forkpty(&terminal, nullptr, nullptr, &size);
  if (child == 0) {
    setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    std::vector<std::string> copies = args;
    std::vector<char*> argv{const_cast<char*>(KESTRAVUNA_CLI)};
    for (std::string& arg : copies) argv.push_back(arg.data());
    argv.push_back(nullptr);
    execv(KESTRAVUNA_CLI, argv.data());
    _exit(127);
  }
  TerminalOutcome outcome;
  if (child < 0) return outcome;
  bool answered = prompt.empty();
  for (;;) {
    char buffer[4096];
    const ssize_t count = read(terminal, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) break;  // EIO once the program has ended and closed the terminal
    outcome.screen.append(buffer, static_cast<std::size_t>(count));
    if (!answered && outcome.screen.find(prompt) != std::string::npos) {
      answered = true;
      // The program silences the terminal after its prompt and drops what was typed before
      // (as a terminal does): the answer is typed once the echo is off.
      for (termios mode{}; tcgetattr(terminal, &mode) == 0 && (mode.c_lflag & ECHO) != 0;) {
        usleep(1000);
      }
      if (write(terminal, keys.data(), keys.size()) < 0) break;
    }
  }
  termios mode{};
  outcome.echoesAfter = tcgetattr(terminal, &mode) == 0 && (mode.c_lflag & ECHO) != 0;
  close(terminal);
  if (waitpid(child, &outcome.waitStatus, 0) == child && WIFEXITED(outcome.waitStatus)) {
    outcome.exitCode = WEXITSTATUS(outcome.waitStatus);
  }
  return outcome;
}

}  // namespace kestravuna::test_support
