#include "cli_support.h"

namespace kestravuna::cli {

// Filled in as the archive commands are built.
std::span<const Command> ArchiveCommands() { return {}; }

}  // namespace kestravuna::cli
