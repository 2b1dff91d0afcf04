// What a new user meets first: --version, --help for the program and for every command, and a
// clear error with exit status 2 (wrong arguments) or 1 (a folder that is not there or not a
// folder) that leaves every file as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "test_support/cli_runner.h"
#include "test_support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using kestravuna::test_support::CliOutcome;
using kestravuna::test_support::RunCli;
using kestravuna::test_support::Snapshot;
using kestravuna::test_support::TempFolder;
using kestravuna::test_support::WriteFile;

const char* const kCommands[] = {"scan",   "protect", "restore",  "verify",     "pack",
                                 "unpack", "list",    "compress", "decompress", "advise"};

TEST(HelpAndErrors, VersionAndHelpOfEveryCommand) {
  TempFolder area;
  const CliOutcome version = RunCli({"--version"}, area / "cache");
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, "kestravuna-cli " KESTRAVUNA_VERSION "\n");

  const CliOutcome overview = RunCli({"--help"}, area / "cache");
  EXPECT_EQ(overview.exitCode, 0);
  for (const char* command : kCommands) {
    EXPECT_NE(overview.out.find(std::string("\n  ") + command + " "), std::string::npos) << command;
    // Before or after the command's arguments, --help answers and runs nothing.
    for (const std::vector<std::string>& args : {std::vector<std::string>{command, "--help"},
                                                 std::vector<std::string>{"-h", command, "x"}}) {
      const CliOutcome help = RunCli(args, area / "cache");
      EXPECT_EQ(help.exitCode, 0) << command << help.err;
      EXPECT_TRUE(help.out.starts_with(std::string("Aufruf: kestravuna-cli ") + command + " "))
          << help.out;
      EXPECT_NE(help.out.find("--quiet"), std::string::npos) << command;
      EXPECT_EQ(help.err, "") << command;
    }
  }
  // Without a command the overview goes to standard error, as a wrong call.
  const CliOutcome none = RunCli({}, area / "cache");
  EXPECT_EQ(none.exitCode, 2);
  EXPECT_TRUE(none.err.starts_with("Aufruf: kestravuna-cli ")) << none.err;
}

TEST(HelpAndErrors, BadInputGetsAClearErrorAndChangesNothing) {
  TempFolder area;
  const fs::path folder = area / "ordner";
  WriteFile(folder / "brief.txt", "Sehr geehrte Damen und Herren");
  WriteFile(area / "datei.txt", "keine Ordner");
  const std::string dir = folder.string();
  const std::string file = (area / "datei.txt").string();
  const std::string missing = (area / "fehlt").string();
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string message;  // how standard error begins
  } cases[] = {
      {{"zaubern", dir}, 2, "Unbekannter Befehl: zaubern"},
      {{"protect", "--schnell", dir}, 2, "Unbekannte Option: --schnell\nAufruf: "},
      {{"verify", "-x", dir}, 2, "Unbekannte Option: -x\n"},
      {{"protect", "--mode"}, 2, "--mode braucht einen Wert.\n"},
      {{"protect", "--mode", "schnell", dir}, 2, "Unbekannte Methode: schnell"},
      {{"protect"}, 2, "Genau ein Ordner wird erwartet.\n"},
      {{"restore", dir, dir}, 2, "Genau ein Ordner wird erwartet.\n"},
      {{"pack", dir}, 2, "Erwartet werden ORDNER und ARCHIV.\n"},
      {{"compress", file}, 2, "Erwartet werden QUELLE und ZIEL.\n"},
      {{"--quiet", "--verbose", "scan", dir}, 2, "--quiet und --verbose schließen einander aus."},
      {{"protect", missing}, 1, "Ordner nicht gefunden: " + missing + "\n"},
      {{"verify", missing}, 1, "Ordner nicht gefunden: " + missing + "\n"},
      {{"scan", file}, 1, "Kein Ordner: " + file + " ist eine Datei, erwartet wird ein Ordner."},
      {{"protect", file}, 1, "Kein Ordner: " + file},
      {{"unpack", file, file}, 1, "Kein Ordner: " + file},
      {{"restore", dir}, 1, "Der Ordner enthält kein CHIFF.CRY"},
  };
  const auto before = Snapshot(area.path());
  for (const Case& c : cases) {
    std::string command;
    for (const std::string& arg : c.args) command += arg + " ";
    const CliOutcome outcome = RunCli(c.args, area / "cache");
    EXPECT_EQ(outcome.exitCode, c.exitCode) << command << "\n" << outcome.output;
    EXPECT_TRUE(outcome.err.starts_with(c.message)) << command << "\n" << outcome.err;
    EXPECT_EQ(outcome.out, "") << command;
  }
  auto after = Snapshot(area.path());
  std::erase_if(after, [](const auto& entry) { return entry.first.starts_with("cache"); });
  EXPECT_EQ(after, before);
}

}  // namespace
