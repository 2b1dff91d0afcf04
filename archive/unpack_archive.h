// Reads an archive (see archive_record.h): its validated directory, or all its files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "archive/archive_progress.h"
#include "platform/file.h"

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

// The same checks on a header and directory already read: `headerAndDirectory` holds the
// header record and the DirectoryCount() records behind it, `archiveSize` every byte of the
// archive they came from. For a reader that gets the archive in pieces and writes nothing.
std::vector<ArchiveEntry> CheckArchiveDirectory(std::span<const std::uint8_t> headerAndDirectory,
                                                std::int64_t archiveSize);

// A file of the folder that differed from its archived copy and was therefore kept.
struct KeptFile {
  std::string name;          // the folder's own file, UTF-8
  std::string archivedCopy;  // the name the archived copy got beside it, UTF-8
};

// Where the files of an archive went.
struct UnpackedFiles {
  std::vector<std::filesystem::path> files;  // every archived file, under the name it got
  std::vector<KeptFile> kept;
};

// Recreates every file of an archive that arrives in pieces, as a decompressor writes it, so
// that a restore needs no decompressed copy on disk. The whole directory is checked before the
// first file is written. Each file is written as a staged file (platform::StagedFile: no name a
// user could meet) while its bytes arrive, opened to others no further than `access`; no file
// takes a name in the folder before Finish, which the caller calls only once the source of the
// archive has proved sound. What an unpacker destroyed without a finished Finish has not placed
// vanishes, and so it does when the process is killed.
class ArchiveUnpacker {
 public:
  // `archiveSize`: every byte the archive will have; data beyond the last file is ignored.
  // `reservedNames`: names the caller removes from the folder afterwards (its own files); an
  // archived file of such a name comes back beside it, as a changed file's copy does.
  ArchiveUnpacker(std::filesystem::path folder, std::int64_t archiveSize,
                  const platform::FileAccess& access, ArchiveProgress progress,
                  std::vector<std::string> reservedNames = {});
  ~ArchiveUnpacker();
  ArchiveUnpacker(const ArchiveUnpacker&) = delete;
  ArchiveUnpacker& operator=(const ArchiveUnpacker&) = delete;

  // The next bytes of the archive. Raises EArchiveError for a damaged directory and
  // platform::EInOutError when a file cannot be written.
  void Write(std::span<const std::uint8_t> bytes);

  // Once the whole archive has arrived: gives each file its name and attributes. A file already
  // in the folder under an archived name is never overwritten: it stays when it has the archived
  // contents; otherwise (changed since it was archived, or not a plain file) the archived copy
  // is put beside it as "name (archiviert)" (shortened where the name would not fit) and the
  // pair is listed as kept. Where each file goes is settled before the first takes its name: a
  // name the folder cannot hold raises platform::EInOutError 3 naming it, with nothing placed.
  // An archive that ended early raises platform::EInOutError "Lesen nach Dateiende (EOF)".
  UnpackedFiles Finish();

 private:
  // Each takes what it needs from the front of `bytes`.
  void TakeDirectory(std::span<const std::uint8_t>& bytes);
  // Adds bytes to the raw directory up to `wanted` in all; true once it holds that many.
  bool GatherDirectory(std::span<const std::uint8_t>& bytes, std::size_t wanted);
  void TakeData(std::span<const std::uint8_t>& bytes);
  // Begins the file whose bytes come next; empty files on the way are written whole.
  void StartFile();
  // Completes the file being written.
  void CloseFile();

  std::filesystem::path folder_;
  std::int64_t archiveSize_;
  platform::FileAccess access_;
  ArchiveProgress progress_;
  std::vector<std::uint8_t> rawDirectory_;  // the header and records as they come
  bool directoryChecked_ = false;           // once all have come
  std::vector<ArchiveEntry> entries_;
  std::vector<std::string> codePageNames_;  // the entries' names as stored
  std::vector<std::string> reservedNames_;
  std::size_t current_ = 0;                   // the file whose bytes come next
  std::uint32_t remaining_ = 0;               // of its bytes
  bool writing_ = false;                      // the last staged file still takes bytes
  std::vector<platform::StagedFile> staged_;  // one per file begun, in archive order
};

// Recreates every file of the archive file `archive` in `folder` (see ArchiveUnpacker).
UnpackedFiles UnpackArchive(const std::filesystem::path& folder,
                            const std::filesystem::path& archive, const ArchiveProgress& progress,
                            std::vector<std::string> reservedNames = {});

}  // namespace kestravuna
