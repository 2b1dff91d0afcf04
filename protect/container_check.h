// Checks on the files of a protected folder that decide what may be deleted: whether a file
// is a compressed container, whether a new container gives back its archive exactly, and
// whether a folder still holds every file of an archive.
#pragma once

#include <filesystem>

#include "compress/zarlz.h"

namespace kestravuna {

// Whether `file` begins as the packer's archives do (the identification record), or is a
// shorter piece of that beginning, as a packer stopped early leaves it. Any other file under
// the container's name belongs to someone else and must never be taken for a leftover.
bool BeginsLikeArchive(const std::filesystem::path& file);

// Whether `file` is missing or could only have been written by this program under one of its
// own names: a plain file holding a container, an archive or a password record, whole or cut
// short (a run stopped while writing it). Only such files may be replaced or removed without
// asking; a link, folder or FIFO under the name never is.
bool IsMissingOrOwnFile(const std::filesystem::path& file);

// Runs pack.Compress() (file mode, set up by the caller: `archive` into `container`) and
// meanwhile, on a second thread, decodes the container as far as it has reached the file and
// compares the result byte for byte with `archive`, without writing a copy anywhere. Raises
// the compressor's error when compressing fails; EProtectError (VerifyFailed) on any
// difference, including a container the decoder refuses; platform::EInOutError when a file
// cannot be read.
void CompressAndVerify(TZarLZ& pack, const std::filesystem::path& archive,
                       const std::filesystem::path& container);

// Whether `candidate` is the compressor's output for `archive`, whole or cut short where a
// compressor stopped: it decodes, as far as it goes, to the archive's first bytes. Only then
// is every byte of it safe in the archive, and a file found under the compressor's name may go.
bool IsCompressionOf(const std::filesystem::path& candidate, const std::filesystem::path& archive);

// Whether every byte of a file that `archive` holds is in `folder` as archived, so that
// removing the archive loses nothing: each file lies there with exactly the archived
// contents. Of an archive cut short (a packer stopped while writing), only what it holds
// counts. False when the archive cannot be read or is damaged.
bool FolderHoldsArchive(const std::filesystem::path& folder, const std::filesystem::path& archive);

}  // namespace kestravuna
