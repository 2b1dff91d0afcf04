// Refusals and failed checks of the protect and restore runs. They stop a run before any
// user file is deleted; the file operations themselves report the run-time I/O error.
#pragma once

#include <stdexcept>

namespace kestravuna {

enum class ProtectFault {
  AlreadyProtected,     // the folder holds a container already; packing would replace it
  PasswordNotStorable,  // a character outside the 8-bit code page
  VerifyFailed,         // the new container does not give back the packed archive
  RecordUnreadable      // the password record does not read back as written
};

class EProtectError : public std::runtime_error {
 public:
  explicit EProtectError(ProtectFault fault);
  ProtectFault Fault() const noexcept { return fault_; }

 private:
  ProtectFault fault_;
};

}  // namespace kestravuna
