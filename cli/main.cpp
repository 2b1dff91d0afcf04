// kestravuna-cli: the headless companion of the window program, for scripts, tests and
// benchmarks. It runs the same library code as the window.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_support.h"
#include "cli/console.h"
#include "cli/run_report.h"

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

void Print(std::FILE* stream, std::string_view text) { kestravuna::cli::WriteText(stream, text); }

constexpr std::string_view kGeneralOptions =
    "Optionen für jeden Befehl:\n"
    "  -q, --quiet     nur Fehler ausgeben\n"
    "  -v, --verbose   jede Datei nennen, während sie gepackt, entpackt oder geprüft wird\n"
    "  -h, --help      diese Hilfe, nach einem Befehl die Hilfe des Befehls\n"
    "  -V, --version   die Version ausgeben\n";

constexpr std::string_view kExitStatus =
    "Rückgabewert: 0 Erfolg, 1 Fehler, Schaden oder falsches Passwort, 2 falsche Argumente.\n";

void PrintHelp(std::FILE* stream, const std::vector<Command>& commands) {
  Print(stream,
        "Aufruf: kestravuna-cli [OPTION...] BEFEHL [ARGUMENTE]\n\n"
        "Kestravuna packt die Dateien eines Ordners in den komprimierten Container CHIFF.CRY.\n"
        "Der Container ist komprimiert, nicht verschlüsselt: Das Passwort sperrt nur die\n"
        "Wiederherstellung durch Kestravuna selbst.\n\nBefehle:\n");
  for (const Command& command : commands) {
    Print(stream, "  " + std::string(command.name) + " " + std::string(command.usage) + "\n      " +
                      std::string(command.summary) + "\n");
  }
  Print(stream, "\n");
  Print(stream, kGeneralOptions);
  Print(stream, "\n");
  Print(stream, kExitStatus);
  Print(stream, "Mehr unter \"kestravuna-cli BEFEHL --help\" und \"man kestravuna-cli\".\n");
}

void PrintCommandHelp(const Command& command) {
  Print(stdout, "Aufruf: kestravuna-cli " + std::string(command.name) + " " +
                    std::string(command.usage) + "\n\n" + std::string(command.summary) + "\n\n" +
                    std::string(command.details) + "\n\n");
  Print(stdout, kGeneralOptions);
  Print(stdout, "\n");
  Print(stdout, kExitStatus);
}

// The options that every command takes, wherever they stand; what is left goes to the command.
struct GeneralOptions {
  bool help = false;
  bool version = false;
  bool quiet = false;
  bool verbose = false;
  std::vector<std::string> rest;
};

GeneralOptions TakeGeneralOptions(const std::vector<std::string>& args) {
  GeneralOptions options;
  for (const std::string& arg : args) {
    if (arg == "-h" || arg == "--help") {
      options.help = true;
    } else if (arg == "-V" || arg == "--version") {
      options.version = true;
    } else if (arg == "-q" || arg == "--quiet") {
      options.quiet = true;
    } else if (arg == "-v" || arg == "--verbose") {
      options.verbose = true;
    } else {
      options.rest.push_back(arg);
    }
  }
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kestravuna::cli;
  const std::vector<Command> commands = AllCommands();
  const GeneralOptions options = TakeGeneralOptions(Utf8Arguments(argc, argv));
  if (options.version) {
    Print(stdout, "kestravuna-cli " KESTRAVUNA_VERSION "\n");
    return kExitSuccess;
  }
  const std::vector<std::string>& args = options.rest;
  if (args.empty() || args[0] == "help") {
    if (options.help || !args.empty()) {
      PrintHelp(stdout, commands);
      return kExitSuccess;
    }
    PrintHelp(stderr, commands);
    return kExitUsage;
  }
  const auto command = std::ranges::find(commands, args[0], &Command::name);
  if (command == commands.end()) {
    Print(stderr, "Unbekannter Befehl: " + args[0] + " (kestravuna-cli --help)\n");
    return kExitUsage;
  }
  if (options.help) {
    PrintCommandHelp(*command);
    return kExitSuccess;
  }
  if (options.quiet && options.verbose) {
    Print(stderr, "--quiet und --verbose schließen einander aus.\n");
    return kExitUsage;
  }
  SetVerbosity(options.quiet     ? Verbosity::Quiet
               : options.verbose ? Verbosity::Verbose
                                 : Verbosity::Normal);
  const std::string name(command->name);
  const std::string usage(command->usage);
  try {
    return command->run(std::span(args).subspan(1));
  } catch (const UsageError& error) {
    Print(stderr, std::string(error.what()) + "\nAufruf: kestravuna-cli " + name + " " + usage +
                      " (kestravuna-cli " + name + " --help)\n");
    return kExitUsage;
  } catch (const std::exception& error) {
    Print(stderr, std::string(error.what()) + "\n");
    return kExitFailure;
  }
}
