#include "cli/cli_support.h"

#include <unistd.h>

#include <cstdio>

namespace kestravuna::cli {

void PrintStatus(std::string_view text) {
  std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
}

ProgressLine::ProgressLine() : enabled_(isatty(STDERR_FILENO) == 1) {}

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
