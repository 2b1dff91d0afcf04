#include "archive/unpack_archive.h"

#include <algorithm>
#include <array>
#include <optional>
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

// The whole records of a header and directory held as one run of bytes.
std::vector<RecordBytes> RecordsOf(std::span<const std::uint8_t> raw) {
  std::vector<RecordBytes> records(raw.size() / kArchiveRecordSize);
  for (std::size_t i = 0; i < records.size(); ++i) {
    std::copy_n(raw.begin() + static_cast<std::ptrdiff_t>(i * kArchiveRecordSize),
                kArchiveRecordSize, records[i].begin());
  }
  return records;
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

// Whether the folder's file `existing` holds what the staged file does.
bool SameContents(platform::File& staged, const fs::path& existing,
                  std::span<std::uint8_t> buffer) {
  staged.Seek(0);
  platform::File other = platform::File::OpenRead(existing);
  if (staged.Size() != other.Size()) return false;
  const auto half = buffer.size() / 2;
  const auto left = buffer.first(half);
  const auto right = buffer.subspan(half, half);
  for (;;) {
    const std::size_t count = staged.Read(left);
    if (other.Read(right.first(count)) != count ||
        !std::ranges::equal(left.first(count), right.first(count))) {
      return false;
    }
    if (count < left.size()) return true;
  }
}

// `name` with `suffix` behind it, its end cut off as far as needed for the whole to fit into
// the folder (never within a character).
std::optional<std::string> FittingNameWith(const fs::path& folder, std::string_view name,
                                           std::string_view suffix) {
  std::string stem(name);
  for (;;) {
    const std::string candidate = stem + std::string(suffix);
    if (platform::NameFits(folder, candidate)) return candidate;
    if (stem.empty()) return std::nullopt;
    // One character off the end: its continuation bytes (10xxxxxx), then its first byte.
    while ((static_cast<unsigned char>(stem.back()) & 0xC0) == 0x80 && stem.size() > 1) {
      stem.pop_back();
    }
    stem.pop_back();
  }
}

// Where an archived file goes. What the folder already holds under its name is never replaced:
// it stays when it has the archived contents, and the staged copy is dropped; otherwise (changed
// since it was archived, not a plain file, or a name the run itself removes at its end) the
// archived copy goes beside it under a name that says so, shortened where needed to fit, or is
// dropped when an earlier stopped run put the same copy there already.
struct Placement {
  fs::path where;
  bool dropStaged = false;
};

Placement PlanPlacement(platform::File& staged, const fs::path& folder, const std::string& name,
                        bool reserved, std::span<std::uint8_t> buffer) {
  const fs::path target = folder / platform::PathFromUtf8(name);
  if (!platform::NameFits(folder, name)) {
    throw platform::EInOutError(platform::io_error::kInvalidFileName, target);
  }
  if (!reserved) {
    switch (platform::KindOfEntry(target)) {
      case platform::EntryKind::Missing:
        return {target};
      case platform::EntryKind::PlainFile:
        if (SameContents(staged, target, buffer)) return {target, true};
        break;
      case platform::EntryKind::Other:
        break;
    }
  }
  for (int copy = 1; copy <= kMaxArchivedCopies; ++copy) {
    const std::string suffix =
        copy == 1 ? std::string(" (archiviert)") : " (archiviert " + std::to_string(copy) + ")";
    const std::optional<std::string> besideName = FittingNameWith(folder, name, suffix);
    if (!besideName) break;
    const fs::path beside = folder / platform::PathFromUtf8(*besideName);
    const platform::EntryKind kind = platform::KindOfEntry(beside);
    if (kind == platform::EntryKind::Missing) return {beside};
    if (kind == platform::EntryKind::PlainFile && SameContents(staged, beside, buffer)) {
      return {beside, true};
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

void ArchiveSplitter::Receiver::HeaderArrived(std::span<const std::uint8_t>) {}
void ArchiveSplitter::Receiver::DirectoryChecked(std::span<const ArchiveEntry>) {}

ArchiveSplitter::ArchiveSplitter(std::int64_t archiveSize, Receiver& receiver)
    : archiveSize_(archiveSize), receiver_(receiver) {}

void ArchiveSplitter::Write(std::span<const std::uint8_t> bytes) {
  if (!directoryChecked_) TakeDirectory(bytes);
  if (directoryChecked_) TakeData(bytes);
}

bool ArchiveSplitter::GatherDirectory(std::span<const std::uint8_t>& bytes, std::size_t wanted) {
  const std::size_t taken = std::min(bytes.size(), wanted - rawDirectory_.size());
  rawDirectory_.insert(rawDirectory_.end(), bytes.begin(),
                       bytes.begin() + static_cast<std::ptrdiff_t>(taken));
  bytes = bytes.subspan(taken);
  return rawDirectory_.size() == wanted;
}

void ArchiveSplitter::TakeDirectory(std::span<const std::uint8_t>& bytes) {
  // The header first: it says how many records follow it.
  if (rawDirectory_.size() < kArchiveRecordSize && !GatherDirectory(bytes, kArchiveRecordSize)) {
    return;
  }
  const auto header = std::span(rawDirectory_).first<kArchiveRecordSize>();
  if (!headerArrived_) {
    headerArrived_ = true;
    receiver_.HeaderArrived(header);
  }
  const std::size_t recordCount = 1 + ArchiveRecord::Parse(header).DirectoryCount();
  if (!GatherDirectory(bytes, recordCount * kArchiveRecordSize)) return;

  for (CheckedEntry& checked : CheckDirectory(RecordsOf(rawDirectory_), archiveSize_)) {
    entries_.push_back(std::move(checked.entry));
    codePageNames_.push_back(std::move(checked.codePageName));
  }
  rawDirectory_ = {};
  directoryChecked_ = true;
  receiver_.DirectoryChecked(entries_);
  StartFile();
}

void ArchiveSplitter::TakeData(std::span<const std::uint8_t>& bytes) {
  while (current_ < entries_.size() && !bytes.empty()) {
    const auto chunk = bytes.first(std::min<std::size_t>(remaining_, bytes.size()));
    receiver_.FileBytes(chunk);
    remaining_ -= static_cast<std::uint32_t>(chunk.size());
    bytes = bytes.subspan(chunk.size());
    if (remaining_ == 0) {
      receiver_.FileEnds();
      ++current_;
      StartFile();
    }
  }
  // What follows the last file is not part of any file.
}

void ArchiveSplitter::StartFile() {
  for (; current_ < entries_.size(); ++current_) {
    receiver_.FileBegins(current_);
    remaining_ = entries_[current_].size;
    if (remaining_ > 0) return;
    receiver_.FileEnds();  // an empty file is complete at once
  }
}

ArchiveUnpacker::ArchiveUnpacker(fs::path folder, std::int64_t archiveSize,
                                 const platform::FileAccess& access, ArchiveProgress progress,
                                 std::vector<std::string> reservedNames)
    : folder_(std::move(folder)),
      access_(access),
      progress_(std::move(progress)),
      reservedNames_(std::move(reservedNames)),
      splitter_(archiveSize, *this) {}

ArchiveUnpacker::~ArchiveUnpacker() = default;

void ArchiveUnpacker::Write(std::span<const std::uint8_t> bytes) { splitter_.Write(bytes); }

void ArchiveUnpacker::FileBegins(std::size_t index) {
  ReportFile(progress_, "Dekodiere ", splitter_.CodePageNames()[index]);
  staged_.push_back(platform::StagedFile::Create(folder_));
}

void ArchiveUnpacker::FileBytes(std::span<const std::uint8_t> bytes) {
  staged_.back().Contents().Write(bytes);
}

void ArchiveUnpacker::FileEnds() {
  platform::File& file = staged_.back().Contents();
  file.ShareAccessOf(access_);
  // The caller flushes every file before it deletes what the archive came from; started now,
  // most of that work is done by then.
  file.StartFlush();
}

UnpackedFiles ArchiveUnpacker::Finish() {
  if (!splitter_.Complete()) throw platform::EInOutError(platform::io_error::kReadBeyondEnd);
  const std::vector<ArchiveEntry>& entries = splitter_.Entries();
  // Every file's place is settled before the first takes its name, so a file that cannot be
  // placed (a name this folder cannot hold) stops the restore with the folder unchanged.
  std::vector<std::uint8_t> buffer(kCopyBufferSize);
  std::vector<Placement> placements;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string& name = entries[i].name;
    placements.push_back(
        PlanPlacement(staged_[i].Contents(), folder_, name,
                      std::ranges::find(reservedNames_, name) != reservedNames_.end(), buffer));
  }
  UnpackedFiles placed;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const ArchiveEntry& entry = entries[i];
    const fs::path& where = placements[i].where;
    if (!placements[i].dropStaged) staged_[i].Publish(where);
    if (where.filename() != platform::PathFromUtf8(entry.name)) {
      placed.kept.push_back({entry.name, platform::Utf8Of(where.filename())});
    }
    try {
      platform::SetAttributes(where, entry.attributes);
    } catch (const platform::EInOutError&) {
      // The contents are what matters; a file left without its attributes is still restored.
    }
    placed.files.push_back(where);
  }
  staged_.clear();
  return placed;
}

UnpackedFiles UnpackArchive(const fs::path& folder, const fs::path& archive,
                            const ArchiveProgress& progress,
                            std::vector<std::string> reservedNames) {
  platform::File archiveFile = platform::File::OpenRead(archive);
  ArchiveUnpacker unpacker(folder, archiveFile.Size(), archiveFile.Access(), progress,
                           std::move(reservedNames));
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
