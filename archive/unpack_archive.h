// Reads an archive (see archive_record.h): its validated directory, or all its files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "archive_progress.h"

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
std::vector<ArchiveEntry> ReadArchiveDirectory(const std::filesystem::path& archive);

// Recreates every file of `archive` in `folder`, replacing existing files (also read-only
// ones) and setting their attributes. The whole directory is checked before the first file
// is written. `mask` and `option` are consulted by no step. The directory copy TEMP3.CRY in
// platform::PrivateTempDir() stays behind after a failure.
void UnpackArchive(const std::filesystem::path& folder, const std::filesystem::path& archive,
                   std::string_view mask, std::uint8_t option, const ArchiveProgress& progress);

}  // namespace kestravuna
