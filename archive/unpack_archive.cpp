#include "archive/unpack_archive.h"

#include <algorithm>
#include <array>
#include <span>
#include <string>
#include <utility>
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

std::vector<ArchiveEntry> CheckArchiveDirectory(std::span<const std::uint8_t> headerAndDirectory,
                                                std::int64_t archiveSize) {
  std::vector<RecordBytes> records(headerAndDirectory.size() / kArchiveRecordSize);
  // Without its header there is nothing to check, as with an archive cut short there.
  if (records.empty()) throw platform::EInOutError(platform::io_error::kReadBeyondEnd);
  for (std::size_t i = 0; i < records.size(); ++i) {
    std::copy_n(headerAndDirectory.begin() + static_cast<std::ptrdiff_t>(i * kArchiveRecordSize),
                kArchiveRecordSize, records[i].begin());
  }
  std::vector<ArchiveEntry> entries;
  for (CheckedEntry& checked : CheckDirectory(records, archiveSize)) {
    entries.push_back(std::move(checked.entry));
  }
  return entries;
}

ArchiveUnpacker::ArchiveUnpacker(fs::path folder, std::int64_t archiveSize,
                                 const platform::FileAccess& access, ArchiveProgress progress)
    : folder_(std::move(folder)),
      archiveSize_(archiveSize),
      access_(access),
      progress_(std::move(progress)) {}

ArchiveUnpacker::~ArchiveUnpacker() {
  file_.reset();
  for (const fs::path& staged : staged_) {
    if (staged.empty()) continue;  // placed by Finish
    try {
      platform::DeleteFile(staged);
    } catch (const platform::EInOutError&) {
      // The next run removes it.
    }
  }
}

void ArchiveUnpacker::Write(std::span<const std::uint8_t> bytes) {
  if (!directoryChecked_) TakeDirectory(bytes);
  if (directoryChecked_) TakeData(bytes);
}

bool ArchiveUnpacker::GatherDirectory(std::span<const std::uint8_t>& bytes, std::size_t wanted) {
  const std::size_t taken = std::min(bytes.size(), wanted - rawDirectory_.size());
  rawDirectory_.insert(rawDirectory_.end(), bytes.begin(),
                       bytes.begin() + static_cast<std::ptrdiff_t>(taken));
  bytes = bytes.subspan(taken);
  return rawDirectory_.size() == wanted;
}

void ArchiveUnpacker::TakeDirectory(std::span<const std::uint8_t>& bytes) {
  // The header first: it says how many records follow it.
  if (rawDirectory_.size() < kArchiveRecordSize && !GatherDirectory(bytes, kArchiveRecordSize)) {
    return;
  }
  const auto header = std::span(rawDirectory_).first<kArchiveRecordSize>();
  std::vector<RecordBytes> records(1 + ArchiveRecord::Parse(header).DirectoryCount());
  if (!GatherDirectory(bytes, records.size() * kArchiveRecordSize)) return;

  for (std::size_t i = 0; i < records.size(); ++i) {
    std::copy_n(rawDirectory_.begin() + static_cast<std::ptrdiff_t>(i * kArchiveRecordSize),
                kArchiveRecordSize, records[i].begin());
  }
  for (CheckedEntry& checked : CheckDirectory(records, archiveSize_)) {
    entries_.push_back(std::move(checked.entry));
    codePageNames_.push_back(std::move(checked.codePageName));
  }
  rawDirectory_ = {};
  directoryChecked_ = true;
  RemoveStrayStagingFiles(folder_);
  StartFile();
}

void ArchiveUnpacker::TakeData(std::span<const std::uint8_t>& bytes) {
  while (file_ && !bytes.empty()) {
    const auto chunk = bytes.first(std::min<std::size_t>(remaining_, bytes.size()));
    file_->Write(chunk);
    remaining_ -= static_cast<std::uint32_t>(chunk.size());
    bytes = bytes.subspan(chunk.size());
    if (remaining_ == 0) {
      CloseFile();
      ++current_;
      StartFile();
    }
  }
  // What follows the last file is not part of any file.
}

void ArchiveUnpacker::StartFile() {
  for (; current_ < entries_.size(); ++current_) {
    ReportFile(progress_, "Dekodiere ", codePageNames_[current_]);
    auto [file, staged] = platform::File::CreateUnique(folder_, kStagingPrefix);
    staged_.push_back(std::move(staged));
    file_.emplace(std::move(file));
    remaining_ = entries_[current_].size;
    if (remaining_ > 0) return;
    CloseFile();  // an empty file is complete at once
  }
}

void ArchiveUnpacker::CloseFile() {
  file_->ShareAccessOf(access_);
  // The caller flushes every file before it deletes what the archive came from; started now,
  // most of that work is done by then.
  file_->StartFlush();
  file_->Close();
  file_.reset();
}

UnpackedFiles ArchiveUnpacker::Finish() {
  if (!directoryChecked_ || current_ < entries_.size()) {
    throw platform::EInOutError(platform::io_error::kReadBeyondEnd);
  }
  UnpackedFiles placed;
  std::vector<std::uint8_t> buffer(kCopyBufferSize);
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    const ArchiveEntry& entry = entries_[i];
    const fs::path target = folder_ / platform::PathFromUtf8(entry.name);
    const fs::path where = PlaceFile(staged_[i], target, buffer);
    staged_[i].clear();  // no longer ours to remove
    if (where != target) placed.kept.push_back({entry.name, platform::Utf8Of(where.filename())});
    try {
      platform::SetAttributes(where, entry.attributes);
    } catch (const platform::EInOutError&) {
      // The contents are what matters; a file left without its attributes is still restored.
    }
    placed.files.push_back(where);
  }
  return placed;
}

UnpackedFiles UnpackArchive(const fs::path& folder, const fs::path& archive,
                            const ArchiveProgress& progress) {
  platform::File archiveFile = platform::File::OpenRead(archive);
  ArchiveUnpacker unpacker(folder, archiveFile.Size(), archiveFile.Access(), progress);
  std::vector<std::uint8_t> buffer(kCopyBufferSize);
  for (;;) {
    const std::size_t count = archiveFile.Read(buffer);
    if (count == 0) break;
    unpacker.Write(std::span(buffer).first(count));
  }
  archiveFile.Close();
  return unpacker.Finish();
}

}  // namespace kestravuna
