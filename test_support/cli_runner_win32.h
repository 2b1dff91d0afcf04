// kestravuna-cli started as a Windows process (included by cli_runner.h): standard input from a
// file, standard output and error into files of the test's cache folder, the private folder
// (LOCALAPPDATA) and the fault hook's variables set for the child. A process the hook kills
// ends with exit code 137: the hook sets the run's kill event and this side terminates the
// process, since a process that ends itself from one of several busy threads can hang under
// Wine.
#pragma once

#include <windows.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "test_support/environment.h"
#include "test_support/temp_folder.h"

namespace kestravuna::test_support {

struct CliRun {
  HANDLE process = nullptr;
  std::filesystem::path outLog;
  std::filesystem::path errLog;
  HANDLE killEvent = nullptr;  // set by the hook at the kill point, for kill runs
};

// One argument as the C run-time splits a command line: quoted, with the backslashes before a
// quote doubled.
inline std::wstring QuotedArgument(const std::wstring& argument) {
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(2 * backslashes, L'\\');
  return quoted + L"\"";
}

inline HANDLE InheritableFile(const std::filesystem::path& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                     disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Starts kestravuna-cli (`args` in UTF-8); FinishCli waits for it. The ordinary-user runs are a
// POSIX matter and not offered here.
inline CliRun StartCli(const std::vector<std::string>& args, const std::filesystem::path& cache,
                       Fault fault = Fault::None, long faultAt = 0, std::string_view input = {}) {
  std::filesystem::create_directories(cache);
  static int runs = 0;
  const std::string run = std::to_string(++runs);
  const std::filesystem::path inputFile = cache / ("cli-input-" + run + ".txt");
  WriteFile(inputFile, input);
  CliRun started{nullptr, cache / ("cli-" + run + "-stdout.txt"),
                 cache / ("cli-" + run + "-stderr.txt")};

  // The child inherits the environment as it is at the start.
  const ScopedEnvironment privateFolder("LOCALAPPDATA", cache.string());
  const ScopedEnvironment kill(
      "KESTRAVUNA_KILL_AFTER_FILE_OPS",
      fault == Fault::Kill ? std::optional(std::to_string(faultAt)) : std::nullopt);
  const ScopedEnvironment fail(
      "KESTRAVUNA_FAIL_AFTER_FILE_OPS",
      fault == Fault::Fail ? std::optional(std::to_string(faultAt)) : std::nullopt);
  const std::string killEventName =
      "Local\\KestravunaKill-" + std::to_string(GetCurrentProcessId()) + "-" + run;
  if (fault == Fault::Kill)
    started.killEvent = CreateEventA(nullptr, TRUE, FALSE, killEventName.c_str());
  const ScopedEnvironment killEvent("KESTRAVUNA_KILL_EVENT", started.killEvent != nullptr
                                                                 ? std::optional(killEventName)
                                                                 : std::nullopt);
  const HANDLE in = InheritableFile(inputFile, GENERIC_READ, OPEN_EXISTING);
  const HANDLE out = InheritableFile(started.outLog, GENERIC_WRITE, CREATE_ALWAYS);
  const HANDLE err = InheritableFile(started.errLog, GENERIC_WRITE, CREATE_ALWAYS);
  std::wstring commandLine = QuotedArgument(std::filesystem::path(KESTRAVUNA_CLI).wstring());
  for (const std::string& arg : args) {
    commandLine += L' ';
    commandLine +=
        QuotedArgument(std::filesystem::path(std::u8string(arg.begin(), arg.end())).wstring());
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION process{};
  if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                     &startup, &process)) {
    CloseHandle(process.hThread);
    started.process = process.hProcess;
  }
  CloseHandle(in);
  CloseHandle(out);
  CloseHandle(err);
  return started;
}

inline CliOutcome FinishCli(const CliRun& run) {
  CliOutcome outcome;
  if (run.process == nullptr) {
    if (run.killEvent != nullptr) CloseHandle(run.killEvent);
    return outcome;
  }
  constexpr DWORD kKilledExitCode = 137;
  if (run.killEvent != nullptr) {
    const HANDLE ends[] = {run.process, run.killEvent};
    if (WaitForMultipleObjects(2, ends, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
      TerminateProcess(run.process, kKilledExitCode);
    }
    CloseHandle(run.killEvent);
  }
  WaitForSingleObject(run.process, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(run.process, &code);
  CloseHandle(run.process);
  outcome.killed = code == kKilledExitCode;
  if (!outcome.killed) outcome.exitCode = static_cast<int>(code);
  outcome.out = ReadFile(run.outLog);
  outcome.err = ReadFile(run.errLog);
  outcome.output = outcome.out + outcome.err;
  return outcome;
}

inline CliOutcome RunCli(const std::vector<std::string>& args, const std::filesystem::path& cache,
                         Fault fault = Fault::None, long faultAt = 0, std::string_view input = {}) {
  return FinishCli(StartCli(args, cache, fault, faultAt, input));
}

}  // namespace kestravuna::test_support
