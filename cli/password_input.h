// Where kestravuna-cli takes a password from: the first line of a file, of standard input when
// that is not a terminal, or typed at a prompt without echo.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace kestravuna::cli {

// The first line of `passwordFile` when one is given, else of standard input when it is not a
// terminal, else what is typed at the prompt. A line end (LF or CR LF) is not part of it.
std::string ReadPassword(const std::optional<std::filesystem::path>& passwordFile);

}  // namespace kestravuna::cli
