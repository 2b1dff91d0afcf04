// kestravuna-cli: the headless companion of the window program, for scripts, tests and
// benchmarks. It runs the same library code as the window.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "cli/cli_support.h"
#include "cli/console.h"

namespace {

using kestravuna::cli::Command;

std::vector<Command> AllCommands() {
  std::vector<Command> all;
  for (auto group : {kestravuna::cli::CompressCommands(), kestravuna::cli::ArchiveCommands(),
                     kestravuna::cli::ProtectCommands()}) {
    all.insert(all.end(), group.begin(), group.end());
  }
  return all;
}

void PrintHelp(const std::vector<Command>& commands) {
  std::printf(
      "Aufruf: kestravuna-cli BEFEHL [ARGUMENTE]\n\n"
      "Kestravuna packt die Dateien eines Ordners in den komprimierten Container CHIFF.CRY.\n"
      "Der Container ist komprimiert, nicht verschlüsselt: Das Passwort sperrt nur die\n"
      "Wiederherstellung durch Kestravuna selbst.\n\nBefehle:\n");
  for (const Command& command : commands) {
    std::printf("  %.*s %.*s\n      %.*s\n", static_cast<int>(command.name.size()),
                command.name.data(), static_cast<int>(command.usage.size()), command.usage.data(),
                static_cast<int>(command.summary.size()), command.summary.data());
  }
  std::printf("\nRückgabewert: 0 Erfolg, 1 Fehler oder falsches Passwort, 2 falsche Argumente.\n");
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kestravuna::cli;
  const std::vector<Command> commands = AllCommands();
  const std::vector<std::string> args = Utf8Arguments(argc, argv);
  if (args.empty()) {
    PrintHelp(commands);
    return kExitUsage;
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    PrintHelp(commands);
    return kExitSuccess;
  }
  for (const Command& command : commands) {
    if (args[0] != command.name) continue;
    try {
      return command.run(std::span(args).subspan(1));
    } catch (const UsageError& error) {
      std::fprintf(stderr, "%s\nAufruf: kestravuna-cli %.*s %.*s\n", error.what(),
                   static_cast<int>(command.name.size()), command.name.data(),
                   static_cast<int>(command.usage.size()), command.usage.data());
      return kExitUsage;
    } catch (const std::exception& error) {
      std::fprintf(stderr, "%s\n", error.what());
      return kExitFailure;
    }
  }
  std::fprintf(stderr, "Unbekannter Befehl: %s (kestravuna-cli --help)\n", args[0].c_str());
  return kExitUsage;
}
