// Reads an archive (see archive_record.h): its validated directory, or all its files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "archive/archive_progress.h"

namespace kestravuna {

struct ArchiveEntry {
  std::string name;  // UTF-8, never a path
  std::uint32_t attributes =
      0;                   // the value the recreated file gets (archive/system/hidden/read-only)
  std::uint32_t size = 0;  // bytes of data
};

// The directory of an archive after the checks UnpackArchive makes before writing anything:
// sizes never negative, data within the archive, names that stay inside a folder.
// Raises EArchiveError for a damaged archive, platform::EInOutError (100 for a header or
// directory cut short) for I/O failures.
// With `dataMayBeCutShort`, an archive whose data area ends early (a packer stopped while it
// wrote) is not refused for it: the entries are returned and the caller compares what is there.
std::vector<ArchiveEntry> ReadArchiveDirectory(const std::filesystem::path& archive,
                                               bool dataMayBeCutShort = false);

// A file of the folder that differed from its archived copy and was therefore kept.
struct KeptFile {
  std::string name;          // the folder's own file, UTF-8
  std::string archivedCopy;  // the name the archived copy got beside it, UTF-8
};

// Recreates every file of `archive` in `folder` and sets its attributes. Each file is written
// under a temporary name first and is opened to others no further than the archive is. A file
// already in the folder under an archived name is never overwritten: it stays when it has the
// archived contents; otherwise (changed since it was archived, or not a plain file) the
// archived copy is put beside it as "name (archiviert)" and the pair is returned. The whole
// directory is checked before the first file is written.
std::vector<KeptFile> UnpackArchive(const std::filesystem::path& folder,
                                    const std::filesystem::path& archive,
                                    const ArchiveProgress& progress);

}  // namespace kestravuna
