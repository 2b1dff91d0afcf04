#include <fcntl.h>
#include <io.h>
#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <stdexcept>

#include "cli/console.h"
#include "platform/utf8_path.h"

namespace kestravuna::cli {

void WriteText(std::FILE* stream, std::string_view utf8) {
  const HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (utf8.empty() || !GetConsoleMode(handle, &mode)) {
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
    std::fflush(stream);
    return;
  }
  // The C library would hand the console one byte at a time, in its own code page.
  std::fflush(stream);
  const int size = static_cast<int>(utf8.size());
  std::wstring wide(
      static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0)),
      L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), static_cast<int>(wide.size()));
  DWORD written = 0;
  WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
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

namespace {

// The console's input mode while the echo is off, for Ctrl-C or a closing console meanwhile.
DWORD echoingMode = 0;

BOOL WINAPI RestoreEcho(DWORD) {
  SetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), echoingMode);
  return FALSE;  // the default handler ends the program as usual
}

}  // namespace

std::optional<std::string> ReadLineWithoutEcho() {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  const bool silenced = GetConsoleMode(input, &echoingMode) != 0;
  if (silenced) {
    SetConsoleCtrlHandler(RestoreEcho, TRUE);
    SetConsoleMode(input, echoingMode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
  }
  std::string line;
  const bool gotLine = static_cast<bool>(std::getline(std::cin, line));
  if (silenced) {
    SetConsoleMode(input, echoingMode);
    SetConsoleCtrlHandler(RestoreEcho, FALSE);
  }
  if (!gotLine && line.empty()) return std::nullopt;
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
