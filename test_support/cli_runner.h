// Runs kestravuna-cli as a separate process, as a user would, optionally with a file
// operation fault armed through the platform's test hook.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "test_support/temp_folder.h"

namespace kestravuna::test_support {

enum class Fault { None, Kill, Fail };

struct CliOutcome {
  bool killed = false;  // ended by the kill hook (or SIGKILL)
  int exitCode = -1;    // when not killed
  std::string out;      // standard output
  std::string err;      // standard error
  std::string output;   // both, for messages and searches that do not care which
};

}  // namespace kestravuna::test_support

#ifdef _WIN32
#include "test_support/cli_runner_win32.h"
#else

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "test_support/ordinary_user.h"

namespace kestravuna::test_support {

// The build folder may be closed to other users (a checkout under /root): the ordinary user
// runs a copy of the program beside the test's cache folder, which the test keeps open to it.
inline std::string ProgramForOrdinaryUser(const std::filesystem::path& cache) {
  const std::filesystem::path copy = cache.parent_path() / "kestravuna-cli";
  if (!std::filesystem::exists(copy)) {
    std::filesystem::copy_file(KESTRAVUNA_CLI, copy);
    std::filesystem::permissions(copy, std::filesystem::perms(0755));
  }
  return copy.string();
}

// A started run of kestravuna-cli and where its output goes: files of their own per run, so
// that runs at the same time never mix.
struct CliRun {
  pid_t process = -1;
  std::filesystem::path outLog;
  std::filesystem::path errLog;
};

// Starts kestravuna-cli; FinishCli waits for it. `cache` becomes XDG_CACHE_HOME, so the
// temporary archive files stay in the test's area. Standard input is `input`, which is not a
// terminal. `asOrdinaryUser`: the program runs without root's rights (see ordinary_user.h);
// the caller gives it what it must own.
inline CliRun StartCli(const std::vector<std::string>& args, const std::filesystem::path& cache,
                       Fault fault = Fault::None, long faultAt = 0, std::string_view input = {},
                       bool asOrdinaryUser = false) {
  std::filesystem::create_directories(cache);
  static int runs = 0;
  const std::string run = std::to_string(getpid()) + "-" + std::to_string(++runs);
  const std::filesystem::path inputFile = cache / ("cli-input-" + run + ".txt");
  WriteFile(inputFile, input);
  CliRun started{-1, cache / ("cli-" + run + "-stdout.txt"),
                 cache / ("cli-" + run + "-stderr.txt")};
  std::string program = asOrdinaryUser ? ProgramForOrdinaryUser(cache) : KESTRAVUNA_CLI;
  started.process = fork();
  if (started.process == 0) {
    const int out = open(started.outLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(started.errLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int in = open(inputFile.c_str(), O_RDONLY);
    if (out < 0 || err < 0 || in < 0) _exit(127);
    if (asOrdinaryUser &&
        (setgroups(0, nullptr) != 0 || setgid(kOrdinaryGid) != 0 || setuid(kOrdinaryUid) != 0)) {
      _exit(126);
    }
    dup2(in, STDIN_FILENO);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    unsetenv("KESTRAVUNA_KILL_AFTER_FILE_OPS");
    unsetenv("KESTRAVUNA_FAIL_AFTER_FILE_OPS");
    if (fault != Fault::None) {
      const char* variable = fault == Fault::Kill ? "KESTRAVUNA_KILL_AFTER_FILE_OPS"
                                                  : "KESTRAVUNA_FAIL_AFTER_FILE_OPS";
      setenv(variable, std::to_string(faultAt).c_str(), 1);
    }
    std::vector<char*> argv;
    argv.push_back(program.data());
    std::vector<std::string> copies = args;
    for (std::string& arg : copies) argv.push_back(arg.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  return started;
}

inline CliOutcome FinishCli(const CliRun& run) {
  CliOutcome outcome;
  int status = 0;
  if (run.process < 0 || waitpid(run.process, &status, 0) != run.process) return outcome;
  outcome.killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
  if (WIFEXITED(status)) outcome.exitCode = WEXITSTATUS(status);
  outcome.out = ReadFile(run.outLog);
  outcome.err = ReadFile(run.errLog);
  outcome.output = outcome.out + outcome.err;
  return outcome;
}

inline CliOutcome RunCli(const std::vector<std::string>& args, const std::filesystem::path& cache,
                         Fault fault = Fault::None, long faultAt = 0, std::string_view input = {},
                         bool asOrdinaryUser = false) {
  return FinishCli(StartCli(args, cache, fault, faultAt, input, asOrdinaryUser));
}

}  // namespace kestravuna::test_support

#endif  // _WIN32
