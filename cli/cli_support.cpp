#include "cli/cli_support.h"

#include <cstdio>
#include <string>

#include "cli/console.h"

namespace kestravuna::cli {

namespace {

TCompressMode ParseMode(std::string_view text) {
  if (text == "good") return TCompressMode::Good;
  if (text == "fast") return TCompressMode::Fast;
  if (text == "auto") return TCompressMode::Auto;
  throw UsageError("Unbekannte Methode: " + std::string(text) + " (good, fast oder auto)");
}

}  // namespace

std::optional<TCompressMode> ModeOption(std::span<const std::string> args, std::size_t& i) {
  constexpr std::string_view kJoined = "--mode=";
  if (args[i].starts_with(kJoined))
    return ParseMode(std::string_view(args[i]).substr(kJoined.size()));
  if (args[i] != "--mode") return std::nullopt;
  if (i + 1 == args.size()) throw UsageError("--mode braucht einen Wert.");
  return ParseMode(args[++i]);
}

void PrintStatus(std::string_view text) {
  std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
}

ProgressLine::ProgressLine() : enabled_(StandardErrorIsTerminal()) {}

ProgressLine::~ProgressLine() {
  if (shown_) std::fputc('\n', stderr);
}

void ProgressLine::Show(std::string_view text) {
  if (!enabled_) return;
  // "\r" returns to the line start, "\033[K" clears what a longer text left behind.
  std::fprintf(stderr, "\r%.*s\033[K", static_cast<int>(text.size()), text.data());
  std::fflush(stderr);
  shown_ = true;
}

}  // namespace kestravuna::cli
