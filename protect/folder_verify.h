// Checks a protected folder, or one container file, without changing a byte: whether a restore
// would find everything it needs. The record must be a sound record, the container must decode
// to its end without a fault and use every byte it holds, and the archive inside must have a
// directory the unpacker accepts (names that stay in the folder, sizes that add up to the
// archive). Everything is read, nothing is written: the check works in a folder it may only
// read.
//
// The container carries no checksum. A changed byte is found where it breaks the code stream,
// the sizes or the directory: in an LZH container (mode Good) about four in five are. One that
// only changes a literal or the plain low bits of a match position, and any changed literal in
// an LZRW1/KH block (mode Fast), decodes to other contents without a trace. An encrypted
// container authenticates every byte: any change is found, given the password.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace kestravuna {

enum class VerifyVerdict {
  Sound,         // a restore would find everything it needs (and the password opens the folder)
  NotProtected,  // no CHIFF.CRY, or only the plain archive of a protect stopped before it deleted
  Damaged,       // the finding names what is damaged or missing
  WrongPassword  // the password given does not open the folder
};

struct VerifyResult {
  VerifyVerdict verdict = VerifyVerdict::Sound;
  std::string finding;              // UTF-8; empty when sound
  bool passwordChecked = false;     // a password was given and tested
  bool plainArchive = false;        // CHIFF.CRY is an uncompressed archive (an interrupted run)
  bool encrypted = false;           // CHIFF.CRY is encrypted: without a password only its header
                                    // is checked
  std::int64_t containerBytes = 0;  // the size of what was checked
  std::size_t fileCount = 0;        // the archive's files, once its directory was read
  std::int64_t fileBytes = 0;       // their bytes
};

// What a check reports while it reads.
struct VerifyProgress {
  std::function<void(std::int64_t read, std::int64_t total)> bytes;  // of the container file
  std::function<void(std::string_view name)> file;  // each archived file as its data comes, UTF-8
};

// Checks `folder`. `password` (UTF-8, never empty: the caller substitutes for an empty entry as
// the dialogs do) is tested against the record before the container is read, or for an
// encrypted container by its key check; nullopt checks everything but the password, and of an
// encrypted container, which only the password opens, its header. The folder is locked as a run
// locks it: while a protect or restore works on it, EProtectError (FolderBusy) is raised. A file
// that cannot be read raises platform::EInOutError.
VerifyResult VerifyFolder(const std::filesystem::path& folder,
                          const std::optional<std::string>& password,
                          const VerifyProgress& progress = {});

// Checks one container file by itself (or a plain archive, as an interrupted run may leave one
// under the container's name): no record, no password, no lock; of an encrypted container
// only the header.
VerifyResult VerifyContainer(const std::filesystem::path& container,
                             const VerifyProgress& progress = {});

}  // namespace kestravuna
