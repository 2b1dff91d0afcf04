#include "cli_support.h"

namespace kestravuna::cli {

// Filled in as the compress commands are built.
std::span<const Command> CompressCommands() { return {}; }

}  // namespace kestravuna::cli
