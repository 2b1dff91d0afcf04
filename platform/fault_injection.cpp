#include "platform/detail/fault_injection.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cstdlib>

#include "platform/io_error.h"

namespace kestravuna::platform {

namespace {

#ifdef _WIN32
// Under Wine a process that ends itself from one thread while its other threads work can hang
// for ever in its own ending (seen when the kill fell on one of the threads that flush the
// restored files). So where the test runner offers it, the process is ended from outside: the
// runner names an event in KESTRAVUNA_KILL_EVENT, the hook sets it and the runner terminates
// the process. Until then every thread that reaches the hook stops there, so nothing changes
// on the disk after the point of the kill.
std::atomic<bool> killPending = false;

[[noreturn]] void WaitForTheEnd() {
  for (;;) Sleep(INFINITE);
}
#endif

// Ends the process at once, as a power cut would: no handler, no clean-up, no flush.
[[noreturn]] void KillThisProcess() {
#ifdef _WIN32
  killPending = true;
  if (const char* name = std::getenv("KESTRAVUNA_KILL_EVENT"); name != nullptr) {
    const HANDLE killer = OpenEventA(EVENT_MODIFY_STATE, FALSE, name);
    if (killer != nullptr && SetEvent(killer)) WaitForTheEnd();
  }
  constexpr UINT kKilledExitCode = 137;  // what the tests take for a kill
  TerminateProcess(GetCurrentProcess(), kKilledExitCode);
#else
  kill(getpid(), SIGKILL);
#endif
  std::abort();  // not reached
}

// 0 when the variable is unset or holds no positive number: no fault.
long PositiveNumberFromEnvironment(const char* name) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') {
    return 0;
  }
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  return (*end == '\0' && value > 0) ? value : 0;
}

struct FaultPlan {
  long killAt = 0;
  long failAt = 0;
  std::atomic<long> count = 0;  // files are flushed from several threads at once

  FaultPlan() { Reset(); }
  void Reset() {
    killAt = PositiveNumberFromEnvironment("KESTRAVUNA_KILL_AFTER_FILE_OPS");
    failAt = PositiveNumberFromEnvironment("KESTRAVUNA_FAIL_AFTER_FILE_OPS");
    count = 0;
  }
};

FaultPlan& Plan() {
  static FaultPlan plan;
  return plan;
}

}  // namespace

void BeforeMutatingFileOperation() {
#ifdef _WIN32
  if (killPending) WaitForTheEnd();
#endif
  FaultPlan& plan = Plan();
  if (plan.killAt == 0 && plan.failAt == 0) {
    return;
  }
  const long count = ++plan.count;
  if (count == plan.killAt) KillThisProcess();
  if (count == plan.failAt) throw EInOutError(io_error::kDeviceError);  // as a failing disk
}

void ResetFileOperationFaults() { Plan().Reset(); }

}  // namespace kestravuna::platform
