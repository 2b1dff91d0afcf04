#include "cli/password_input.h"

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <vector>

#include "cli/console.h"
#include "platform/file.h"
#include "platform/io_error.h"
#include "seal/sealed_container.h"

namespace kestravuna::cli {

namespace {

// Far more than any password line; a huge file is not read whole.
constexpr std::size_t kPasswordFileReadLimit = 64 * 1024;

std::string WithoutLineEnd(std::string line) {
  if (line.ends_with('\r')) line.pop_back();
  return line;
}

// Typing without echo, as the enter-password dialog masks what is typed. Input that ends
// before a line (Ctrl-D) cancels, as closing the dialog would: it never stands for the empty
// password.
std::string PromptPassword() {
  std::fputs("Passwort: ", stderr);
  std::fflush(stderr);
  const std::optional<std::string> line = ReadLineWithoutEcho();
  std::fputc('\n', stderr);
  if (!line) {
    throw std::runtime_error("Abgebrochen: kein Passwort eingegeben; es wurde nichts verändert.");
  }
  return WithoutLineEnd(*line);
}

}  // namespace

std::string ReadPassword(const std::optional<std::filesystem::path>& passwordFile) {
  if (passwordFile) {
    try {
      // The file layer refuses what is no plain file, such as a folder or a link.
      platform::File file = platform::File::OpenRead(*passwordFile);
      std::vector<std::uint8_t> contents(kPasswordFileReadLimit);
      contents.resize(file.Read(contents));
      std::string text(contents.begin(), contents.end());
      WipeSecret(contents);
      const WipedOnExit wipeText(text);
      return WithoutLineEnd(text.substr(0, text.find('\n')));
    } catch (const platform::EInOutError& error) {
      throw std::runtime_error("Passwortdatei nicht lesbar: " + std::string(error.what()));
    }
  }
  if (!StandardInputIsTerminal()) return WithoutLineEnd(FirstLineOfStandardInput());
  return PromptPassword();
}

}  // namespace kestravuna::cli
