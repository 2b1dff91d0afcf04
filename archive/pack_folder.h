// Packs the plain files of one folder level into an archive (see archive_record.h).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>

#include "archive/archive_progress.h"
#include "platform/folder_listing.h"

namespace kestravuna {

// Packs every regular file of `folder` into the archive `target`, replacing a plain file of
// that name (anything else there is refused with error 5). Skipped: directories, names
// containing "TEMP1.CRY" or "TEMP2.CRY" and the program's own file. The archive is created
// owner-only and finally opened to others no further than the narrowest of its files.
// Raises EArchiveError before anything is written when the folder does not fit the format
// (also a name the unpacker would refuse), and when a file changes size while it is packed;
// platform::EInOutError on I/O failures. Its temporary files in platform::PrivateTempDir()
// have no names and never outlive the call.
// Whether PackFolder packs this entry of `folder`.
bool IsPacked(const std::filesystem::path& folder, const platform::FolderEntry& entry);

void PackFolder(const std::filesystem::path& folder, const std::filesystem::path& target,
                const ArchiveProgress& progress);

}  // namespace kestravuna
