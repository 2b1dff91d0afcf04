// kestravuna-cli scan, protect and restore as a script uses them: where the password comes
// from, what is printed, and the exit status.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "test_support/cli_runner.h"
#include "test_support/temp_folder.h"

namespace kestravuna {
namespace {

using test_support::CliOutcome;
using test_support::Fault;
using test_support::RunCli;
using test_support::TempFolder;
using test_support::WriteFile;
namespace fs = std::filesystem;

// One call of the program in a scripted sequence: what it is given and what must come of it.
struct Step {
  std::vector<std::string> args;
  std::string input;  // standard input, never a terminal here
  int exitCode;
  std::string printed;  // a line the output must hold
};

// Runs the steps in order, each after the one before, with the cache folder in `area`.
// `after` checks the state each step leaves.
void RunSteps(std::span<const Step> steps, const TempFolder& area,
              const std::function<void(const Step&, const std::string& command)>& after = {}) {
  for (const Step& step : steps) {
    std::string command;
    for (const std::string& arg : step.args) command += arg + " ";
    const CliOutcome outcome = RunCli(step.args, area / "cache", Fault::None, 0, step.input);
    EXPECT_EQ(outcome.exitCode, step.exitCode) << command << "\n" << outcome.output;
    EXPECT_NE(outcome.output.find(step.printed), std::string::npos) << command << "\n"
                                                                    << outcome.output;
    if (after) after(step, command);
  }
}

TEST(CliCommands, ScanProtectAndRestoreTellTheirOutcome) {
  TempFolder area;
  const fs::path folder = area / "ordner";
  WriteFile(folder / "a.txt", std::string(3'145'728, 'a'));
  WriteFile(folder / "unter" / "b.txt", "b");
  WriteFile(area / "passwort", "Kennwort\r\n");
  const std::string dir = folder.string();
  const std::string passwordFile = (area / "passwort").string();

  const Step steps[] = {
      {{"scan", dir},
       "",
       0,
       "Anzahl der Unterordner: 1\nAnzahl der Dateien (insgesamt): 2\n"
       "Größe aller Dateien: 3.07 MB\nGeschützt (CHIFF.CRY): nein\n"},
      // An empty password becomes the dialogs' fixed text, with their note.
      {{"protect", dir},
       "",
       0,
       "Sicherheitshinweis: Sie haben kein Passwort festgelegt. Das Verzeichnis wird ohne "
       "Passwort verschlüsselt!"},
      {{"scan", dir}, "", 0, "Geschützt (CHIFF.CRY): ja"},
      {{"protect", dir},
       "",
       1,
       "Der Ordner enthält CHIFF.CRY und kann nur wiederhergestellt werden."},
      {{"restore", dir},
       "falsch\n",
       1,
       "Falsches Passwort !: Sie haben keine Berechtigung zu dieser Aktion !"},
      {{"restore", dir}, "\n", 0, "Wiederhergestellt: 1 Datei, "},
      {{"restore", dir},
       "",
       1,
       "Der Ordner enthält kein CHIFF.CRY; es gibt nichts wiederherzustellen."},
      // The first line of the file, without its line end; then the same typed on standard input.
      {{"protect", "--password-file", passwordFile, dir}, "", 0, "Geschützt: 1 Datei, 3,1 MB → "},
      {{"restore", "--verbose", dir}, "Kennwort\nzweite Zeile\n", 0, "Dekodiere a.txt...\n"},
      {{"protect", "/"},
       "",
       1,
       "Verbotener Zugriff: Das Hauptverzeichnis der ersten Festplatte darf nicht "
       "verschlüsselt werden !"},
      {{"scan", dir + "/unter/../."}, "", 0, "Anzahl der Unterordner: 1\n"},
      {{"scan", (area / "fehlt").string()}, "", 1, "Ordner nicht gefunden: "},
      {{"protect"}, "", 2, "Aufruf: kestravuna-cli protect"},
      {{"restore", "--password-file"}, "", 2, "--password-file braucht einen Wert."},
      {{"scan", "--password-file", passwordFile, dir}, "", 2, "Unbekannte Option: --password-file"},
  };
  RunSteps(steps, area);
  EXPECT_EQ(test_support::ReadFile(folder / "a.txt").size(), 3'145'728u);
}

// Every method makes a container that restore reads: the method is named in the container.
TEST(CliCommands, ProtectInEveryModeRestores) {
  TempFolder area;
  WriteFile(area / "passwort", "Kennwort\n");
  std::string text;
  for (int line = 0; line < 20000; ++line) text += "Zeile " + std::to_string(line) + "\n";
  const struct {
    const char* mode;
    const char* identifier;  // the first four bytes of the container
  } cases[] = {{"good", "!HZL"}, {"fast", "WRZL"}, {"auto", "WRZL"}};  // samples of text: fast
  for (const auto& c : cases) {
    const fs::path folder = area / c.mode;
    WriteFile(folder / "brief.txt", text);
    WriteFile(folder / "zufall.bin", test_support::TextOf(test_support::RandomBytes(50'000, 3)));
    const auto before = test_support::Snapshot(folder);
    const std::vector<std::string> protect = {
        "protect",      "--mode", c.mode, "--password-file", (area / "passwort").string(),
        folder.string()};
    ASSERT_EQ(RunCli(protect, area / "cache").exitCode, 0) << c.mode;
    EXPECT_EQ(test_support::ReadFile(folder / "CHIFF.CRY").substr(0, 4), c.identifier) << c.mode;
    const CliOutcome restore =
        RunCli({"restore", "--password-file", (area / "passwort").string(), folder.string()},
               area / "cache");
    ASSERT_EQ(restore.exitCode, 0) << c.mode << restore.output;
    EXPECT_EQ(test_support::Snapshot(folder), before) << c.mode;
  }
  const CliOutcome wrong =
      RunCli({"protect", "--mode", "schnell", (area / "good").string()}, area / "cache");
  EXPECT_EQ(wrong.exitCode, 2);
  EXPECT_NE(wrong.err.find("Unbekannte Methode: schnell"), std::string::npos) << wrong.err;
  const CliOutcome restoreMode =
      RunCli({"restore", "--mode", "fast", (area / "good").string()}, area / "cache");
  EXPECT_EQ(restoreMode.exitCode, 2) << "restore reads the method from the container";
}

// --encrypt as a script uses it: an empty password is refused before anything is written, verify
// sees the header without the password and every byte with it, and restore needs no option.
TEST(CliCommands, AnEncryptedFolderIsRecognisedByEveryCommand) {
  TempFolder area;
  const fs::path folder = area / "ordner";
  WriteFile(folder / "brief.txt", "Kontostand 4711\n");
  WriteFile(folder / "zufall.bin", test_support::TextOf(test_support::RandomBytes(150'000, 5)));
  WriteFile(area / "passwort", "Kennwort\n");
  WriteFile(area / "falsch", "kennwort\n");
  const auto before = test_support::Snapshot(folder);
  const std::string dir = folder.string();
  const std::string passwordFile = (area / "passwort").string();

  // Whether the folder holds each file as before, and nothing of the program's, after each step.
  const bool folderAsBefore[] = {true, false, false, false, false, false, true};
  const Step steps[] = {
      {{"protect", "--encrypt", dir},
       "\n",
       1,
       "Kein Passwort: Um den Inhalt zu verschlüsseln, legen Sie bitte ein Passwort fest. Es "
       "wurde nichts verändert."},
      {{"protect", "--encrypt", "--mode", "fast", "--password-file", passwordFile, dir},
       "",
       0,
       "Geschützt: 2 Dateien, "},
      {{"verify", dir}, "", 0, "Kopf in Ordnung: CHIFF.CRY ist verschlüsselt"},
      {{"verify", "--password-file", (area / "falsch").string(), dir},
       "",
       1,
       "Das Passwort ist falsch: Es öffnet den verschlüsselten Container CHIFF.CRY nicht."},
      {{"verify", "--password-file", passwordFile, dir},
       "",
       0,
       "; verschlüsselt; das Passwort ist richtig"},
      {{"restore", dir},
       "kennwort\n",
       1,
       "Falsches Passwort !: Sie haben keine Berechtigung zu dieser Aktion !"},
      {{"restore", dir}, "Kennwort\n", 0, "Wiederhergestellt: 2 Dateien, "},
  };
  std::size_t index = 0;
  RunSteps(steps, area, [&](const Step& step, const std::string& command) {
    EXPECT_EQ(test_support::Snapshot(folder) == before, folderAsBefore[index++]) << command;
    if (step.exitCode == 0 && step.args[0] == "protect") {
      EXPECT_EQ(test_support::ReadFile(folder / "CHIFF.CRY").substr(0, 6), "KVSEAL");
    }
  });
}

}  // namespace
}  // namespace kestravuna
