// What every command of kestravuna-cli shares: the command table, the exit-status
// conventions and the progress output on standard error.
#pragma once

#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "compress/zarlz.h"

namespace kestravuna::cli {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;  // an error of the program, or a refused password
inline constexpr int kExitUsage = 2;

// Thrown for wrong arguments; main prints the message and the command's usage, exit 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Command {
  std::string_view name;
  std::string_view usage;    // arguments, e.g. "[--mode good|fast|auto] IN OUT"
  std::string_view summary;  // one line for --help
  int (*run)(std::span<const std::string> args);  // args without the command name
};

std::span<const Command> CompressCommands();
std::span<const Command> ArchiveCommands();
std::span<const Command> ProtectCommands();

// The option "--mode good|fast|auto" (or "--mode=...") at args[i]: its method, with i moved to
// the option's last word; nullopt when args[i] is another argument. A wrong value is a
// UsageError.
std::optional<TCompressMode> ModeOption(std::span<const std::string> args, std::size_t& i);

// Status texts as they happen, one line each, on standard error.
void PrintStatus(std::string_view text);

// A progress line that rewrites itself; shown only when standard error is a terminal.
class ProgressLine {
 public:
  ProgressLine();
  ~ProgressLine();  // ends the line if anything was shown
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;
  void Show(std::string_view text);

 private:
  bool enabled_;
  bool shown_ = false;
};

}  // namespace kestravuna::cli
