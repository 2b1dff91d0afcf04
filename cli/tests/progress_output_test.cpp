// What the long commands write while they work: on a terminal one progress line rewritten in
// place that gives way to the result line; through a pipe only the result line; with --quiet
// nothing; with --verbose every file.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "cli/tests/terminal_runner.h"
#include "test_support/cli_runner.h"
#include "test_support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using kestravuna::test_support::CliOutcome;
using kestravuna::test_support::RunCli;
using kestravuna::test_support::RunCliOnTerminal;
using kestravuna::test_support::TempFolder;
using kestravuna::test_support::TerminalOutcome;
using kestravuna::test_support::WriteFile;

// Three files of some size, so that every command has several files and chunks to show.
void FillFolder(const fs::path& folder) {
  std::string text;
  for (int line = 0; line < 40000; ++line) text += "Zeile " + std::to_string(line) + ": Grüße\n";
  WriteFile(folder / "brief.txt", text);
  WriteFile(folder / "daten.bin",
            kestravuna::test_support::TextOf(kestravuna::test_support::RandomBytes(300'000, 7)));
  WriteFile(folder / "Übersicht.md", "# Übersicht\n");
}

std::size_t Lines(const std::string& text) {
  return static_cast<std::size_t>(std::ranges::count(text, '\n'));
}

class ProgressOutputTest : public ::testing::Test {
 protected:
  ProgressOutputTest() {
    FillFolder(folder_);
    WriteFile(area_ / "passwort", "Kennwort\n");
    fs::create_directory(area_ / "ziel");
  }
  std::string Path(std::string_view name) const { return (area_ / name).string(); }

  TempFolder area_;
  const fs::path folder_ = area_ / "ordner";
  const fs::path cache_ = area_ / "cache";
};

// The screen of a terminal: progress drawings, each beginning with "\r", on one line that no
// line end interrupts, then the result line (the terminal sends "\r\n" for a line end).
TEST_F(ProgressOutputTest, TerminalShowsOneLineRewrittenInPlaceThenTheResult) {
  const std::string dir = folder_.string();
  // Every file begun is drawn; within one file the line is drawn again at most ten times a
  // second, so a single file that is done quickly may show only once.
  struct Run {
    std::vector<std::string> args;
    std::string result;  // how the result line begins
    long drawings;       // at least
  } runs[] = {
      {{"pack", dir, Path("archiv")}, "Gepackt: 3 Dateien, ", 3},
      {{"compress", Path("archiv"), Path("container")}, "Komprimiert: 1 Datei, ", 1},
      {{"protect", "--password-file", Path("passwort"), dir}, "Geschützt: 3 Dateien, ", 3},
      {{"verify", dir}, "In Ordnung: 3 Dateien, ", 3},
  };
  const std::regex drawing(R"(\r *\d+ %  \S)");
  for (const Run& run : runs) {
    const TerminalOutcome outcome = RunCliOnTerminal(run.args, cache_);
    ASSERT_EQ(outcome.exitCode, 0) << run.args[0] << "\n" << outcome.screen;
    const std::size_t result = outcome.screen.find(run.result);
    ASSERT_NE(result, std::string::npos) << run.args[0] << "\n" << outcome.screen;
    const std::string progress = outcome.screen.substr(0, result);
    EXPECT_EQ(progress.find('\n'), std::string::npos) << run.args[0] << "\n" << progress;
    const auto drawings = std::distance(
        std::sregex_iterator(progress.begin(), progress.end(), drawing), std::sregex_iterator());
    EXPECT_GE(drawings, run.drawings) << run.args[0] << "\n" << progress;
    // The result line is the last thing on the screen, on a line of its own.
    EXPECT_TRUE(outcome.screen.ends_with("\r\n")) << outcome.screen;
    EXPECT_EQ(outcome.screen.find('\n', result), outcome.screen.size() - 1) << outcome.screen;
  }
  // A restore asks for the password at the terminal, without echo, then shows its progress.
  const TerminalOutcome restore =
      RunCliOnTerminal({"restore", dir}, cache_, "Passwort: ", "Kennwort\n");
  EXPECT_EQ(restore.exitCode, 0) << restore.screen;
  EXPECT_EQ(restore.screen.find("Kennwort"), std::string::npos) << restore.screen;
  EXPECT_NE(restore.screen.find("Wiederhergestellt: 3 Dateien, "), std::string::npos)
      << restore.screen;
}

// Through a pipe: no progress, exactly the result line on standard error, nothing on standard
// output; --quiet leaves nothing; --verbose adds one line per file. The runs go in this order
// on the same folder.
TEST_F(ProgressOutputTest, PipeGetsOnlyTheResultLineQuietNothingVerboseEveryFile) {
  const std::string dir = folder_.string();
  const std::string password = Path("passwort");
  struct Run {
    std::vector<std::string> args;
    std::string result;    // how the result line begins; empty: nothing is printed
    std::string fileLine;  // with --verbose: the line of the file brief.txt
  } runs[] = {
      {{"pack", dir, Path("archiv")}, "Gepackt: 3 Dateien, ", ""},
      {{"pack", "--quiet", dir, Path("archiv")}, "", ""},
      {{"pack", "--verbose", dir, Path("archiv")},
       "Gepackt: 3 Dateien, ",
       "Kodiere brief.txt...\n"},
      {{"unpack", Path("archiv"), Path("ziel")}, "Entpackt: 3 Dateien, ", ""},
      {{"unpack", "-v", Path("archiv"), Path("ziel")},
       "Entpackt: 3 Dateien, ",
       "Dekodiere brief.txt...\n"},
      {{"compress", Path("archiv"), Path("container")}, "Komprimiert: 1 Datei, ", ""},
      {{"compress", "-q", "--mode", "auto", Path("archiv"), Path("container")}, "", ""},
      {{"decompress", Path("container"), Path("zurück")}, "Dekomprimiert: 1 Datei, ", ""},
      {{"protect", "--verbose", "--password-file", password, dir},
       "Geschützt: 3 Dateien, ",
       "Kodiere brief.txt...\n"},
      {{"verify", dir}, "In Ordnung: 3 Dateien, ", ""},
      {{"verify", "--quiet", "--password-file", password, dir}, "", ""},
      {{"verify", "--verbose", dir}, "In Ordnung: 3 Dateien, ", "Prüfe brief.txt\n"},
      {{"restore", "--quiet", "--password-file", password, dir}, "", ""},
  };
  for (const Run& run : runs) {
    std::string command;
    for (const std::string& arg : run.args) command += arg + " ";
    const CliOutcome outcome = RunCli(run.args, cache_);
    ASSERT_EQ(outcome.exitCode, 0) << command << "\n" << outcome.output;
    EXPECT_EQ(outcome.out, "") << command;
    EXPECT_EQ(outcome.err.find('\r'), std::string::npos) << command << "\n" << outcome.err;
    if (run.result.empty()) {
      EXPECT_EQ(outcome.err, "") << command;
      continue;
    }
    // The result line comes last.
    const std::size_t result = outcome.err.rfind(run.result);
    ASSERT_NE(result, std::string::npos) << command << "\n" << outcome.err;
    EXPECT_EQ(outcome.err.find('\n', result), outcome.err.size() - 1) << outcome.err;
    EXPECT_EQ(Lines(outcome.err), run.fileLine.empty() ? 1u : 4u) << command << outcome.err;
    if (!run.fileLine.empty()) {
      EXPECT_NE(outcome.err.find(run.fileLine), std::string::npos) << outcome.err;
    }
  }
  EXPECT_FALSE(fs::exists(folder_ / "CHIFF.CRY"));  // the quiet restore did its work
}

}  // namespace
