// Refusals and failed checks of the protect and restore runs. They stop a run before any
// user file is deleted; the file operations themselves report the run-time I/O error.
#pragma once

#include <stdexcept>
#include <string_view>

namespace kestravuna {

enum class ProtectFault {
  AlreadyProtected,       // the folder holds a container already; packing would replace it
  PasswordNotStorable,    // a character outside the 8-bit code page
  VerifyFailed,           // the new container does not give back the packed archive
  RecordUnreadable,       // the password record does not read back as written
  ChangedWhileProtected,  // a file was written to between packing and deletion
  ForeignFile,            // someone else's entry carries a name the program writes
  FolderBusy,             // another run of the program works on the folder
  FileNotDeletable,       // protect would have to delete a file it may not delete
  RestoreNotFinishable,   // restore could not remove the container or record at its end
  UnknownPlainArchive,    // a plain archive CHIFF.CRY without record, not of this folder
  ChangedWhileDeleting    // files written to after the last check stayed; the rest is protected
};

class EProtectError : public std::runtime_error {
 public:
  explicit EProtectError(ProtectFault fault);
  // The text with the file it is about (the UTF-8 name) in its place.
  EProtectError(ProtectFault fault, std::string_view fileName);
  ProtectFault Fault() const noexcept { return fault_; }

 private:
  ProtectFault fault_;
};

}  // namespace kestravuna
