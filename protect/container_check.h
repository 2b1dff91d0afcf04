// Checks on the files of a protected folder that decide what may be deleted: whether a file
// is a compressed container, whether a new container gives back its archive exactly, and
// whether a folder still holds every file of an archive.
#pragma once

#include <filesystem>
#include <string_view>

#include "compress/zarlz.h"
#include "seal/sealed_container.h"

namespace kestravuna {

// Whether `file` begins as the packer's archives do (the identification record), or is a
// shorter piece of that beginning, as a packer stopped early leaves it. Any other file under
// the container's name belongs to someone else and must never be taken for a leftover.
bool BeginsLikeArchive(const std::filesystem::path& file);

// Whether `file` is missing or could only have been written by this program under one of its
// own names: a plain file holding a container (legacy or encrypted), an archive or a password
// record, whole or cut short (a run stopped while writing it). Only such files may be replaced
// or removed without asking; a link, folder or FIFO under the name never is.
bool IsMissingOrOwnFile(const std::filesystem::path& file);

// Whether the plain file `file` begins with the encrypted container's identifier.
bool IsSealedFile(const std::filesystem::path& file);

// What the key check of an encrypted file says to `password`: Opens or Refuses for an encrypted
// one (one stopped before its key check was written holds nothing, and Opens); NotSealed for
// any other file, and for one whose header is damaged, which no key opens.
enum class SealedKeyCheck { NotSealed, Opens, Refuses };
SealedKeyCheck CheckSealedKey(const std::filesystem::path& file, std::string_view password);

// Compresses `archive` into the new file `container` by `method`, sealed under `key` where one
// is given (sealed_container.h), and meanwhile, on a second thread, decodes the container as far
// as it has reached the file and compares the result byte for byte with `archive`, without
// writing a copy anywhere. A failed run leaves no container. Raises the compressor's error when
// compressing fails; EProtectError (VerifyFailed) on any difference, including a container the
// decoder refuses; platform::EInOutError when a file cannot be read or written.
void CompressAndVerify(TZarLZ& pack, const std::filesystem::path& archive,
                       const std::filesystem::path& container, TCompressMode method,
                       const SealKey* key);

// Whether `candidate` is the compressor's output for `archive`, whole or cut short where a
// compressor stopped: it decodes, as far as it goes, to the archive's first bytes. Only then
// is every byte of it safe in the archive, and a file found under the compressor's name may go.
// An encrypted candidate is read with `password`; one the password does not open is not.
bool IsCompressionOf(const std::filesystem::path& candidate, const std::filesystem::path& archive,
                     std::string_view password);

// Whether every byte of a file that `archive` holds is in `folder` as archived, so that
// removing the archive loses nothing: each file lies there with exactly the archived
// contents. Of an archive cut short (a packer stopped while writing), only what it holds
// counts. False when the archive cannot be read or is damaged.
bool FolderHoldsArchive(const std::filesystem::path& folder, const std::filesystem::path& archive);

}  // namespace kestravuna
