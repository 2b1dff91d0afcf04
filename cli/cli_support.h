// What every command of kestravuna-cli shares: the command table, the exit-status
// conventions, the arguments they take and the progress of a run through its status texts.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "cli/run_report.h"
#include "compress/zarlz.h"

namespace kestravuna::cli {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;  // an error of the program, a refused password, damage
inline constexpr int kExitUsage = 2;

// Thrown for wrong arguments; main prints the message and the command's usage, exit 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Command {
  std::string_view name;
  std::string_view usage;    // arguments, e.g. "[--mode good|fast|auto] IN OUT"
  std::string_view summary;  // one line for the overview of --help
  std::string_view details;  // what "BEFEHL --help" adds: the options, what is read and written
  int (*run)(std::span<const std::string> args);  // args without the command name
};

std::span<const Command> CompressCommands();
std::span<const Command> ArchiveCommands();
std::span<const Command> ProtectCommands();

// The option "--mode good|fast|auto" (or "--mode=...") at args[i]: its method, with i moved to
// the option's last word; nullopt when args[i] is another argument. A wrong value is a
// UsageError.
std::optional<TCompressMode> ModeOption(std::span<const std::string> args, std::size_t& i);
// The option "NAME VALUE" (or "NAME=VALUE") at args[i]: its value, with i moved to the
// option's last word; nullopt when args[i] is another argument. A missing value is a UsageError.
std::optional<std::string> ValueOption(std::span<const std::string> args, std::size_t& i,
                                       std::string_view name);
// Whether `arg` looks like an option: "-" followed by something ("-" alone is an argument).
bool IsOption(std::string_view arg);
// Refuses a command's wrong number of arguments, or an option it does not know among them.
void ExpectArguments(std::span<const std::string> args, std::size_t count,
                     std::string_view expected);

// The folder an argument names as the folder tree would give it: absolute, without "." and
// "..", links resolved, so that the refusal of the first disk's root cannot be talked around.
// A missing folder and a file raise std::runtime_error saying which.
std::filesystem::path ExistingFolder(std::string_view argument);

// The plain files a packer takes from `folder`, by name, with their sizes.
struct FolderFiles {
  std::map<std::string, std::int64_t> sizes;
  std::int64_t totalBytes = 0;
};
FolderFiles FilesToPack(const std::filesystem::path& folder);

// Follows the packer's and unpacker's status texts ("Kodiere NAME...", "Dekodiere NAME..."):
// the file they name becomes the progress line's item, and where the files' sizes are known,
// every file begun adds the size of the one before it to the bytes done.
class FileStatusProgress {
 public:
  FileStatusProgress(RunReport& report, std::map<std::string, std::int64_t> sizes = {})
      : report_(report), sizes_(std::move(sizes)) {}
  // Takes one status text; any other than a file's is shown as the item itself.
  void Status(std::string_view text);
  std::size_t FilesBegun() const { return filesBegun_; }
  // The bytes of every file begun, the last one counted as done.
  std::int64_t BytesBegun() const { return bytesBefore_ + lastSize_; }

 private:
  RunReport& report_;
  std::map<std::string, std::int64_t> sizes_;
  std::size_t filesBegun_ = 0;
  std::int64_t bytesBefore_ = 0;
  std::int64_t lastSize_ = 0;
};

}  // namespace kestravuna::cli
