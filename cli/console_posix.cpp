#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <stdexcept>

#include "cli/console.h"

namespace kestravuna::cli {

void WriteText(std::FILE* stream, std::string_view utf8) {
  std::fwrite(utf8.data(), 1, utf8.size(), stream);
  std::fflush(stream);
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);  // Linux passes the bytes as given
}

bool StandardInputIsTerminal() { return isatty(STDIN_FILENO) == 1; }
bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

int TerminalColumns() {
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

namespace {

// The terminal's settings while the echo is off, for a signal that ends the program then.
termios echoingTerminal{};
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP};

extern "C" void RestoreEchoAndEnd(int signal) {
  // errno is kept for the interrupted code: where the signal comes only after the handler
  // (as under a sanitizer that defers signals), that code goes on for a moment.
  const int savedErrno = errno;
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &echoingTerminal);  // async-signal-safe
  std::signal(signal, SIG_DFL);
  std::raise(signal);
  errno = savedErrno;
}

}  // namespace

std::optional<std::string> ReadLineWithoutEcho() {
  const bool silenced = tcgetattr(STDIN_FILENO, &echoingTerminal) == 0;
  if (silenced) {
    for (const int signal : kEndingSignals) std::signal(signal, RestoreEchoAndEnd);
    termios silent = echoingTerminal;
    silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
  }
  std::string line;
  const bool gotLine = static_cast<bool>(std::getline(std::cin, line));
  if (silenced) {
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &echoingTerminal);
    for (const int signal : kEndingSignals) std::signal(signal, SIG_DFL);
  }
  if (!gotLine && line.empty()) return std::nullopt;
  return line;
}

std::string FirstLineOfStandardInput() {
  std::string line;
  char c = 0;
  for (;;) {
    const ssize_t count = ::read(STDIN_FILENO, &c, 1);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) throw std::runtime_error("Passwort nicht lesbar: Standardeingabe");
    if (count == 0 || c == '\n') break;
    line += c;
  }
  return line;
}

}  // namespace kestravuna::cli
