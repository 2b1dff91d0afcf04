// Fault injection for the crash and failure tests of the protect and restore sequences,
// which must show that no interruption at any step loses a user's file. It exists only in
// builds configured with KESTRAVUNA_FAULT_INJECTION (the test builds); in the program users
// run the hook is an empty inline function. Where it exists it is inert unless one of these
// environment variables holds a positive number N:
//   KESTRAVUNA_KILL_AFTER_FILE_OPS=N  the N-th mutating file operation kills the process
//                                     with SIGKILL, as a power cut would stop it;
//   KESTRAVUNA_FAIL_AFTER_FILE_OPS=N  the N-th mutating file operation fails with EIO
//                                     (EInOutError "I/O-Fehler 1117") instead of running.
// Mutating operations are File::Create, File::CreateAnonymous, File::Write,
// File::ShareAccessOf, File::Sync, File::Close of a file opened for writing, each file that
// SyncFiles flushes, DeleteFile, RenameFile and SetAttributes; each counts itself before it touches
// the disk, so the N-th one never happens.
#pragma once

namespace kestravuna::platform {

#ifdef KESTRAVUNA_FAULT_INJECTION
// Counts one mutating file operation and applies the fault due at this count, if any.
// Called by the platform layer itself.
void BeforeMutatingFileOperation();

// Reads the variables again and restarts the count at 0. The variables are otherwise read
// once, at the first mutating operation; tests that set them within one process call this.
void ResetFileOperationFaults();
#else
inline void BeforeMutatingFileOperation() {}
#endif

}  // namespace kestravuna::platform
