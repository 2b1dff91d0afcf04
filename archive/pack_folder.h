// Packs the plain files of one folder level into an archive (see archive_record.h).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>

#include "archive_progress.h"

namespace kestravuna {

// Packs every regular file of `folder` into the archive `target`, replacing it. Skipped:
// directories, names containing "TEMP1.CRY" or "TEMP2.CRY" and the program's own file.
// `mask` and `option` are kept for the callers' sake and consulted by no step.
// Raises EArchiveError before anything is written when the folder does not fit the format,
// and when a file changes size while it is packed; platform::EInOutError on I/O failures.
// The temporary files TEMP1.CRY and TEMP2.CRY in platform::PrivateTempDir() stay behind
// after a failure.
void PackFolder(const std::filesystem::path& folder, std::string_view mask,
                const std::filesystem::path& target, std::uint8_t option,
                const ArchiveProgress& progress);

}  // namespace kestravuna
