#include "archive/unpack_archive.h"

#include <algorithm>
#include <array>
#include <span>
#include <string>
#include <vector>

#include "archive/archive_error.h"
#include "archive/archive_record.h"
#include "archive/detail/archive_io.h"
#include "platform/code_page.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/folder_listing.h"
#include "platform/io_error.h"
#include "platform/utf8_path.h"

namespace kestravuna {

namespace {

namespace fs = std::filesystem;

// Each file is written under a name of its own first and takes its real name only when it is
// complete, so a run stopped halfway never leaves a half-written file under a user's name.
// The next run removes what a stopped one left under this prefix.
constexpr std::string_view kStagingPrefix = ".CHIFF.NEU-";

// How many copies of one file may stand beside it before the restore gives up on that file.
constexpr int kMaxArchivedCopies = 99;

using RecordBytes = std::array<std::uint8_t, kArchiveRecordSize>;

// The header and the N directory records behind it, as stored. A directory cut short
// raises the I/O error "Lesen nach Dateiende (EOF)".
std::vector<RecordBytes> ReadRawDirectory(platform::File& archive) {
  std::vector<RecordBytes> records(1);
  archive.ReadExact(records.front());
  records.resize(1 + ArchiveRecord::Parse(records.front()).DirectoryCount());
  for (auto it = records.begin() + 1; it != records.end(); ++it) archive.ReadExact(*it);
  return records;
}

// The name as a message shows it: a NUL would end the message early.
std::string QuotedName(std::string_view name) {
  std::string quoted = "\"";
  for (char c : name) quoted += c == '\0' ? std::string("\\0") : std::string(1, c);
  return quoted + "\"";
}

struct CheckedEntry {
  ArchiveEntry entry;
  std::string codePageName;
};

// Checks the whole directory before anything is written: sizes from offsets that never
// shrink, data that lies within the archive, names that stay inside the folder.
std::vector<CheckedEntry> CheckDirectory(std::span<const RecordBytes> rawDirectory,
                                         std::int64_t archiveSize, bool dataMayBeCutShort = false) {
  std::vector<CheckedEntry> entries;
  std::int64_t previousEnd = DataAreaStart(rawDirectory.size() - 1);
  for (const RecordBytes& raw : rawDirectory.subspan(1)) {
    const ArchiveRecord record = ArchiveRecord::Parse(raw);
    const std::string codePageName(record.Name());
    std::string name = platform::CodePageToUtf8(codePageName);
    if (!IsSafeFileName(codePageName)) {
      throw EArchiveError(ArchiveFault::UnsafeName, QuotedName(name));
    }
    const std::int64_t size = std::int64_t{record.offset} - previousEnd;
    if (size < 0) throw EArchiveError(ArchiveFault::NegativeSize, name);
    previousEnd = record.offset;
    entries.push_back(
        {{std::move(name), record.Attributes(), static_cast<std::uint32_t>(size)}, codePageName});
  }
  if (previousEnd > archiveSize && !dataMayBeCutShort) {
    throw EArchiveError(ArchiveFault::DataEndsEarly);
  }
  return entries;
}

bool SameContents(const fs::path& a, const fs::path& b, std::span<std::uint8_t> buffer) {
  platform::File first = platform::File::OpenRead(a);
  platform::File second = platform::File::OpenRead(b);
  if (first.Size() != second.Size()) return false;
  const auto half = buffer.size() / 2;
  const auto left = buffer.first(half);
  const auto right = buffer.subspan(half, half);
  for (;;) {
    const std::size_t count = first.Read(left);
    if (second.Read(right.first(count)) != count ||
        !std::ranges::equal(left.first(count), right.first(count))) {
      return false;
    }
    if (count < left.size()) return true;
  }
}

// A previous run stopped while writing a file leaves it under the staging prefix.
void RemoveStrayStagingFiles(const fs::path& folder) {
  for (const platform::FolderEntry& entry : platform::ListFolder(folder)) {
    if ((entry.attributes & platform::attr::kDirectory) == 0 &&
        entry.name.starts_with(kStagingPrefix)) {
      platform::DeleteFile(folder / platform::PathFromUtf8(entry.name));
    }
  }
}

// Writes the archived contents to a new file of its own in the folder, as open to others as
// the archive is and no further.
fs::path StageFile(const fs::path& folder, const ArchiveEntry& entry, platform::File& archive,
                   const platform::FileAccess& access, std::span<std::uint8_t> buffer) {
  auto [file, staged] = platform::File::CreateUnique(folder, kStagingPrefix);
  try {
    for (std::uint32_t remaining = entry.size; remaining > 0;) {
      const auto chunk = buffer.first(std::min<std::size_t>(remaining, buffer.size()));
      archive.ReadExact(chunk);
      file.Write(chunk);
      remaining -= static_cast<std::uint32_t>(chunk.size());
    }
    file.ShareAccessOf(access);
    file.Close();
  } catch (...) {
    try {
      platform::DeleteFile(staged);
    } catch (const platform::EInOutError&) {
      // The next run removes it.
    }
    throw;
  }
  return staged;
}

// Puts the staged file under the entry's name. What the folder already holds there is never
// replaced unless it has the archived contents: a file changed since it was archived keeps its
// name and the archived copy goes beside it, under a name that says so (or stays there, when an
// earlier stopped run put it there already). Returns where the file went.
fs::path PlaceFile(const fs::path& staged, const fs::path& target, std::span<std::uint8_t> buffer) {
  switch (platform::KindOfEntry(target)) {
    case platform::EntryKind::Missing:
      platform::RenameFile(staged, target);
      return target;
    case platform::EntryKind::PlainFile:
      if (SameContents(staged, target, buffer)) {
        platform::DeleteFile(staged);
        return target;
      }
      break;
    case platform::EntryKind::Other:
      break;
  }
  for (int copy = 1; copy <= kMaxArchivedCopies; ++copy) {
    fs::path beside = target;
    beside +=
        copy == 1 ? std::string(" (archiviert)") : " (archiviert " + std::to_string(copy) + ")";
    const platform::EntryKind kind = platform::KindOfEntry(beside);
    if (kind == platform::EntryKind::Missing) {
      platform::RenameFile(staged, beside);
      return beside;
    }
    if (kind == platform::EntryKind::PlainFile && SameContents(staged, beside, buffer)) {
      platform::DeleteFile(staged);
      return beside;
    }
  }
  throw platform::EInOutError(platform::io_error::kAccessDenied, target);
}

}  // namespace

std::vector<ArchiveEntry> ReadArchiveDirectory(const fs::path& archive, bool dataMayBeCutShort) {
  platform::File file = platform::File::OpenRead(archive);
  const std::vector<RecordBytes> rawDirectory = ReadRawDirectory(file);
  std::vector<ArchiveEntry> entries;
  for (CheckedEntry& checked : CheckDirectory(rawDirectory, file.Size(), dataMayBeCutShort)) {
    entries.push_back(std::move(checked.entry));
  }
  file.Close();
  return entries;
}

std::vector<KeptFile> UnpackArchive(const fs::path& folder, const fs::path& archive,
                                    const ArchiveProgress& progress) {
  platform::File archiveFile = platform::File::OpenRead(archive);
  const std::vector<RecordBytes> rawDirectory = ReadRawDirectory(archiveFile);
  const std::vector<CheckedEntry> entries = CheckDirectory(rawDirectory, archiveFile.Size());
  const platform::FileAccess access = archiveFile.Access();
  RemoveStrayStagingFiles(folder);

  std::vector<KeptFile> kept;
  std::vector<std::uint8_t> buffer(kCopyBufferSize);
  archiveFile.Seek(DataAreaStart(entries.size()));
  for (const CheckedEntry& checked : entries) {
    ReportFile(progress, "Dekodiere ", checked.codePageName);
    const fs::path target = folder / platform::PathFromUtf8(checked.entry.name);
    const fs::path staged = StageFile(folder, checked.entry, archiveFile, access, buffer);
    const fs::path placed = PlaceFile(staged, target, buffer);
    if (placed != target) kept.push_back({checked.entry.name, platform::Utf8Of(placed.filename())});
    try {
      platform::SetAttributes(placed, checked.entry.attributes);
    } catch (const platform::EInOutError&) {
      // The contents are what matters; a file left without its attributes is still restored.
    }
  }
  archiveFile.Close();
  return kept;
}

}  // namespace kestravuna
