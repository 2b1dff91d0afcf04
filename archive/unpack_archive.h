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

// Splits an archive that arrives in pieces, as a decompressor writes it, into its directory and
// the bytes of each file in archive order, keeping nothing but the directory. The whole
// directory is checked as ReadArchiveDirectory checks it before the first file begins; bytes
// behind the last file belong to no file.
class ArchiveSplitter {
 public:
  // What the archive's parts go to, as they come.
  class Receiver {
   public:
    // The header record, once it is whole and before the directory is read on its word.
    virtual void HeaderArrived(std::span<const std::uint8_t> header);
    // The directory, checked.
    virtual void DirectoryChecked(std::span<const ArchiveEntry> entries);
    // Entry `index` begins; its bytes follow, then FileEnds (at once for an empty file).
    virtual void FileBegins(std::size_t index) = 0;
    virtual void FileBytes(std::span<const std::uint8_t> bytes) = 0;
    virtual void FileEnds() = 0;

   protected:
    ~Receiver() = default;
  };

  // `archiveSize`: every byte the archive will have.
  ArchiveSplitter(std::int64_t archiveSize, Receiver& receiver);

  // The next bytes of the archive. Raises EArchiveError for a damaged directory; what the
  // receiver raises passes on.
  void Write(std::span<const std::uint8_t> bytes);

  bool DirectoryIsChecked() const noexcept { return directoryChecked_; }
  // Every file has had all its bytes.
  bool Complete() const noexcept { return directoryChecked_ && current_ == entries_.size(); }
  const std::vector<ArchiveEntry>& Entries() const noexcept { return entries_; }
  // The entries' names as stored, in the code page.
  const std::vector<std::string>& CodePageNames() const noexcept { return codePageNames_; }

 private:
  // Each takes what it needs from the front of `bytes`.
  void TakeDirectory(std::span<const std::uint8_t>& bytes);
  // Adds bytes to the raw directory up to `wanted` in all; true once it holds that many.
  bool GatherDirectory(std::span<const std::uint8_t>& bytes, std::size_t wanted);
  void TakeData(std::span<const std::uint8_t>& bytes);
  // Begins the file whose bytes come next; empty files on the way begin and end at once.
  void StartFile();

  std::int64_t archiveSize_;
  Receiver& receiver_;
  std::vector<std::uint8_t> rawDirectory_;  // the header and records as they come
  bool headerArrived_ = false;
  bool directoryChecked_ = false;  // once all have come
  std::vector<ArchiveEntry> entries_;
  std::vector<std::string> codePageNames_;
  std::size_t current_ = 0;      // the file whose bytes come next
  std::uint32_t remaining_ = 0;  // of its bytes
};

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
class ArchiveUnpacker final : private ArchiveSplitter::Receiver {
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
  // Each file is written as a staged file of its own.
  void FileBegins(std::size_t index) override;
  void FileBytes(std::span<const std::uint8_t> bytes) override;
  void FileEnds() override;

  std::filesystem::path folder_;
  platform::FileAccess access_;
  ArchiveProgress progress_;
  std::vector<std::string> reservedNames_;
  ArchiveSplitter splitter_;
  std::vector<platform::StagedFile> staged_;  // one per file begun, in archive order
};

// Recreates every file of the archive file `archive` in `folder` (see ArchiveUnpacker).
UnpackedFiles UnpackArchive(const std::filesystem::path& folder,
                            const std::filesystem::path& archive, const ArchiveProgress& progress,
                            std::vector<std::string> reservedNames = {});

}  // namespace kestravuna
