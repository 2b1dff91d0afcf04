#include "unpack_archive.h"

#include <array>
#include <span>
#include <vector>

#include "archive_error.h"
#include "archive_io.h"
#include "archive_record.h"
#include "code_page.h"
#include "file.h"
#include "file_system.h"
#include "folder_listing.h"
#include "io_error.h"

namespace kestravuna {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kDirectoryTempName = "TEMP3.CRY";

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

// Anything but a plain name of one folder level could reach outside the target folder.
bool IsSafeFileName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
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
                                         std::int64_t archiveSize) {
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
  if (previousEnd > archiveSize) throw EArchiveError(ArchiveFault::DataEndsEarly);
  return entries;
}

// Removes what stands at the path first: a read-only file could not be opened for writing,
// and a symbolic link placed there must not lead the write out of the folder.
platform::File ReplaceFile(const fs::path& path) {
  try {
    platform::DeleteFile(path);
  } catch (const platform::EInOutError& error) {
    if (error.ErrorNumber() != platform::io_error::kFileNotFound) throw;
  }
  return platform::File::Create(path);
}

void RecreateFile(const fs::path& path, const ArchiveEntry& entry, platform::File& archive,
                  std::span<std::uint8_t> buffer) {
  platform::File file = ReplaceFile(path);
  for (std::uint32_t remaining = entry.size; remaining > 0;) {
    const auto chunk = buffer.first(std::min<std::size_t>(remaining, buffer.size()));
    archive.ReadExact(chunk);
    file.Write(chunk);
    remaining -= static_cast<std::uint32_t>(chunk.size());
  }
  file.Close();
  try {
    platform::SetAttributes(path, entry.attributes);
  } catch (const platform::EInOutError&) {
    // The contents are what matters; a file left without its attributes is still restored.
  }
}

}  // namespace

std::vector<ArchiveEntry> ReadArchiveDirectory(const fs::path& archive) {
  platform::File file = platform::File::OpenRead(archive);
  const std::vector<RecordBytes> rawDirectory = ReadRawDirectory(file);
  std::vector<ArchiveEntry> entries;
  for (CheckedEntry& checked : CheckDirectory(rawDirectory, file.Size())) {
    entries.push_back(std::move(checked.entry));
  }
  file.Close();
  return entries;
}

void UnpackArchive(const fs::path& folder, const fs::path& archive, std::string_view /*mask*/,
                   std::uint8_t /*option*/, const ArchiveProgress& progress) {
  platform::File archiveFile = platform::File::OpenRead(archive);
  const std::vector<RecordBytes> rawDirectory = ReadRawDirectory(archiveFile);

  // The directory is staged in the private temporary folder; after a failure the copy
  // stays there and tells which files the archive holds.
  const fs::path directoryTemp = platform::PrivateTempDir() / kDirectoryTempName;
  platform::File staging = platform::File::Create(directoryTemp);
  for (const RecordBytes& raw : rawDirectory) staging.Write(raw);
  staging.Close();

  const std::vector<CheckedEntry> entries = CheckDirectory(rawDirectory, archiveFile.Size());
  std::vector<std::uint8_t> buffer(kCopyBufferSize);
  archiveFile.Seek(DataAreaStart(entries.size()));
  for (const CheckedEntry& checked : entries) {
    ReportFile(progress, "Dekodiere ", checked.codePageName);
    RecreateFile(folder / checked.entry.name, checked.entry, archiveFile, buffer);
  }
  archiveFile.Close();
  try {
    platform::DeleteFile(directoryTemp);
  } catch (const platform::EInOutError&) {
    // A leftover copy of the directory in the private folder harms nothing.
  }
}

}  // namespace kestravuna
