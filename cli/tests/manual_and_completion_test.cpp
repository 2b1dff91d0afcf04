// The manual page and the bash completion against the program itself: every command the
// program knows is documented and completed, and the page renders without a warning.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "test_support/cli_runner.h"
#include "test_support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using kestravuna::test_support::CliOutcome;
using kestravuna::test_support::ReadFile;
using kestravuna::test_support::RunCli;
using kestravuna::test_support::TempFolder;

// Standard output of a shell command line, and its exit status.
struct ShellOutcome {
  int status = -1;
  std::string out;
};
ShellOutcome Shell(const std::string& commandLine) {
  ShellOutcome outcome;
  FILE* pipe = popen(commandLine.c_str(), "r");
  if (pipe == nullptr) return outcome;
  char buffer[4096];
  while (const std::size_t count = std::fread(buffer, 1, sizeof buffer, pipe)) {
    outcome.out.append(buffer, count);
  }
  outcome.status = pclose(pipe);
  return outcome;
}

std::set<std::string> Words(const std::string& text) {
  std::set<std::string> words;
  std::istringstream in(text);
  for (std::string word; in >> word;) words.insert(word);
  return words;
}

// The commands as the program's overview lists them: "  NAME ARGUMENTS" lines.
std::set<std::string> CommandsOfTheProgram(const fs::path& cache) {
  const CliOutcome help = RunCli({"--help"}, cache);
  EXPECT_EQ(help.exitCode, 0);
  std::set<std::string> commands;
  const std::regex line(R"(\n  ([a-z]+) )");
  for (auto it = std::sregex_iterator(help.out.begin(), help.out.end(), line);
       it != std::sregex_iterator(); ++it) {
    commands.insert((*it)[1]);
  }
  return commands;
}

// What the completion offers for the words typed so far, the last one being completed.
std::set<std::string> Completions(const std::string& typed, const fs::path& in) {
  const std::string script = "cd '" + in.string() +
                             "' && source '" KESTRAVUNA_COMPLETION "' && COMP_WORDS=(" + typed +
                             ") && COMP_CWORD=$((${#COMP_WORDS[@]} - 1)) "
                             "&& _kestravuna_cli 2>/dev/null; printf '%s\\n' \"${COMPREPLY[@]}\"";
  return Words(Shell("bash -c '" + std::regex_replace(script, std::regex("'"), "'\\''") + "'").out);
}

TEST(ManualAndCompletion, CompletionOffersTheCommandsAndTheirOptions) {
  TempFolder area;
  const std::set<std::string> commands = CommandsOfTheProgram(area / "cache");
  ASSERT_GE(commands.size(), 10u);
  fs::create_directories(area / "Briefe");
  kestravuna::test_support::WriteFile(area / "Bericht.txt", "x");

  std::set<std::string> expected = commands;
  expected.insert({"--quiet", "--verbose", "--help", "--version"});
  EXPECT_EQ(Completions("kestravuna-cli ''", area.path()), expected);
  EXPECT_EQ(Completions("kestravuna-cli -q ve", area.path()), std::set<std::string>{"verify"});
  struct Case {
    std::string typed;
    std::set<std::string> offered;
  } cases[] = {
      {"kestravuna-cli protect --",
       {"--mode", "--encrypt", "--password-file", "--quiet", "--verbose", "--help", "--version"}},
      {"kestravuna-cli verify --pass", {"--password", "--password-file"}},
      {"kestravuna-cli compress --mode ''", {"good", "fast", "auto"}},
      {"kestravuna-cli protect --mode fast B", {"Briefe"}},  // a folder: no files
      {"kestravuna-cli list B", {"Bericht.txt", "Briefe"}},
  };
  for (const Case& c : cases) EXPECT_EQ(Completions(c.typed, area.path()), c.offered) << c.typed;
}

TEST(ManualAndCompletion, ManualRendersAndDocumentsEveryCommand) {
  TempFolder area;
  const ShellOutcome page =
      Shell("LANG=C.UTF-8 MANWIDTH=80 man --warnings -l '" KESTRAVUNA_MANUAL "' 2>&1");
  ASSERT_EQ(page.status, 0) << page.out;
  EXPECT_EQ(page.out.find("warning"), std::string::npos) << page.out;
  EXPECT_NE(page.out.find("KESTRAVUNA-CLI(1)"), std::string::npos) << page.out;
  const std::string source = ReadFile(KESTRAVUNA_MANUAL);
  EXPECT_EQ(source.find("@PROJECT_VERSION@"), std::string::npos);
  for (const std::string& command : CommandsOfTheProgram(area / "cache")) {
    EXPECT_NE(page.out.find("\n       " + command + " "), std::string::npos) << command;
  }
  for (const char* option : {"--quiet", "--verbose", "--help", "--version", "--password-file"}) {
    EXPECT_NE(page.out.find(option), std::string::npos) << option;
  }
}

}  // namespace
