#include "platform/detail/fault_injection.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/io_error.h"

namespace kestravuna::platform {

namespace {

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
  long killAt = PositiveNumberFromEnvironment("KESTRAVUNA_KILL_AFTER_FILE_OPS");
  long failAt = PositiveNumberFromEnvironment("KESTRAVUNA_FAIL_AFTER_FILE_OPS");
  long count = 0;
};

FaultPlan& Plan() {
  static FaultPlan plan;
  return plan;
}

}  // namespace

void BeforeMutatingFileOperation() {
  FaultPlan& plan = Plan();
  if (plan.killAt == 0 && plan.failAt == 0) {
    return;
  }
  ++plan.count;
  if (plan.count == plan.killAt) {
    kill(getpid(), SIGKILL);
  }
  if (plan.count == plan.failAt) {
    throw EInOutError(IoErrorNumberFromErrno(EIO));
  }
}

void ResetFileOperationFaults() { Plan() = FaultPlan{}; }

}  // namespace kestravuna::platform
