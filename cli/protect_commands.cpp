#include "cli_support.h"

namespace kestravuna::cli {

// Filled in as the protect commands are built.
std::span<const Command> ProtectCommands() { return {}; }

}  // namespace kestravuna::cli
