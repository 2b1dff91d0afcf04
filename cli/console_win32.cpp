#include <fcntl.h>
#include <io.h>
#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <stdexcept>

#include "cli/console.h"
#include "platform/utf8_path.h"

namespace kestravuna::cli {

void PrepareConsole() {
  // Set for this run only: the console belongs to the shell that started the program.
  static const UINT saved = GetConsoleOutputCP();
  if (saved != 0 && SetConsoleOutputCP(CP_UTF8)) {
    std::atexit([] { SetConsoleOutputCP(saved); });
  }
}

std::vector<std::string> Utf8Arguments(int, char**) {
  // The narrow arguments are in the ANSI code page; the wide ones hold every character.
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  for (int i = 1; i < count; ++i) {
    arguments.push_back(platform::Utf8Of(std::filesystem::path(wide[i])));
  }
  LocalFree(wide);
  return arguments;
}

bool StandardInputIsTerminal() { return _isatty(_fileno(stdin)) != 0; }
bool StandardErrorIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

int TerminalColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) {
    return info.srWindow.Right - info.srWindow.Left + 1;
  }
  return 80;
}

std::string ReadLineWithoutEcho() {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD saved = 0;
  const bool silenced = GetConsoleMode(input, &saved) != 0;
  if (silenced) SetConsoleMode(input, saved & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
  std::string line;
  std::getline(std::cin, line);
  if (silenced) SetConsoleMode(input, saved);
  return line;
}

std::string FirstLineOfStandardInput() {
  _setmode(_fileno(stdin), _O_BINARY);  // the bytes as given, line ends included
  std::string line;
  for (;;) {
    const int c = std::fgetc(stdin);
    if (c == EOF) {
      if (std::ferror(stdin)) throw std::runtime_error("Passwort nicht lesbar: Standardeingabe");
      break;
    }
    if (c == '\n') break;
    line += static_cast<char>(c);
  }
  return line;
}

}  // namespace kestravuna::cli
