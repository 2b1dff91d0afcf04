// What kestravuna-cli needs from the console, which differs between POSIX and Windows.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestravuna::cli {

// Writes UTF-8 text to `stream` (stdout or stderr) at once. A Windows console gets it as
// UTF-16, the only way it shows every character whatever its code page; a pipe or a file, and
// every POSIX terminal, get the bytes as they are.
void WriteText(std::FILE* stream, std::string_view utf8);
// The command-line arguments after the program's name, in UTF-8.
std::vector<std::string> Utf8Arguments(int argc, char** argv);
// Whether standard input or standard error is a terminal (a console on Windows).
bool StandardInputIsTerminal();
bool StandardErrorIsTerminal();
// How many characters a line of the terminal that standard error shows holds; 80 when unknown.
int TerminalColumns();
// One line typed at the terminal without echo, as the enter-password dialog masks it; nullopt
// when the input ends before a line does (Ctrl-D, Ctrl-Z). The echo comes back however the
// reading ends, also when Ctrl-C or a signal ends the program meanwhile.
std::optional<std::string> ReadLineWithoutEcho();
// The first line of standard input, without its line end. A source that cannot be read (a
// folder, an I/O error) raises std::runtime_error naming it: taking it for an empty password
// would protect the folder without one.
std::string FirstLineOfStandardInput();

}  // namespace kestravuna::cli
