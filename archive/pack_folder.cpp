#include "pack_folder.h"

#include <algorithm>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "archive_error.h"
#include "archive_io.h"
#include "archive_record.h"
#include "code_page.h"
#include "file.h"
#include "file_system.h"
#include "folder_listing.h"

namespace kestravuna {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kDirectoryTempName = "TEMP1.CRY";  // header and directory records
constexpr std::string_view kDataTempName = "TEMP2.CRY";       // the files' contents

struct FileToPack {
  std::string name;          // as the platform names it
  std::string codePageName;  // as the archive stores it
  std::uint32_t attributes;
  std::uint32_t size;
};

// Directories, the packer's own temporary files (by a case-sensitive substring test, as
// the folder scan tests names) and the running program are never packed.
bool IsPacked(const fs::path& folder, const platform::FolderEntry& entry) {
  if ((entry.attributes & platform::attr::kDirectory) != 0) return false;
  if (entry.name.find(kDirectoryTempName) != std::string::npos ||
      entry.name.find(kDataTempName) != std::string::npos) {
    return false;
  }
  return !platform::IsOwnExecutable(folder / entry.name);
}

// One listing serves as both the count and the contents, so the header's count always
// matches the directory. Everything the format cannot hold is refused here, before the
// first byte is written.
std::vector<FileToPack> ListFilesToPack(const fs::path& folder) {
  std::vector<FileToPack> files;
  for (const platform::FolderEntry& entry : platform::ListFolder(folder)) {
    if (!IsPacked(folder, entry)) continue;
    if (files.size() == kArchiveMaxFiles) throw EArchiveError(ArchiveFault::TooManyFiles);
    if (entry.size >= static_cast<std::uint64_t>(kArchiveSizeLimit)) {
      throw EArchiveError(ArchiveFault::FileTooLarge, entry.name);
    }
    std::optional<std::string> codePageName = platform::Utf8ToCodePage(entry.name);
    if (!codePageName || codePageName->size() > kArchiveNameCapacity) {
      throw EArchiveError(ArchiveFault::NameNotStorable, entry.name);
    }
    files.push_back({entry.name, std::move(*codePageName), entry.attributes,
                     static_cast<std::uint32_t>(entry.size)});
  }
  std::int64_t archiveSize = DataAreaStart(files.size());
  for (const FileToPack& file : files) archiveSize += file.size;
  if (archiveSize >= kArchiveSizeLimit) throw EArchiveError(ArchiveFault::ArchiveTooLarge);
  return files;
}

// Appends exactly the listed size: the directory already promises it, so a file that
// shrank or grew since it was listed stops the packing.
void AppendFileData(const fs::path& path, const FileToPack& file, platform::File& data,
                    std::span<std::uint8_t> buffer) {
  platform::File source = platform::File::OpenRead(path);
  std::uint32_t remaining = file.size;
  while (remaining > 0) {
    const std::size_t read =
        source.Read(buffer.first(std::min<std::size_t>(remaining, buffer.size())));
    if (read == 0) throw EArchiveError(ArchiveFault::FileChanged, file.name);
    data.Write(buffer.first(read));
    remaining -= static_cast<std::uint32_t>(read);
  }
  if (source.Read(buffer.first(1)) != 0) throw EArchiveError(ArchiveFault::FileChanged, file.name);
  source.Close();
}

void AppendWholeFile(const fs::path& path, platform::File& target, std::span<std::uint8_t> buffer) {
  platform::File source = platform::File::OpenRead(path);
  while (const std::size_t read = source.Read(buffer)) target.Write(buffer.first(read));
  source.Close();
}

}  // namespace

void PackFolder(const fs::path& folder, std::string_view /*mask*/, const fs::path& target,
                std::uint8_t /*option*/, const ArchiveProgress& progress) {
  const std::vector<FileToPack> files = ListFilesToPack(folder);
  const fs::path tempDir = platform::PrivateTempDir();
  const fs::path directoryTemp = tempDir / kDirectoryTempName;
  const fs::path dataTemp = tempDir / kDataTempName;
  std::vector<std::uint8_t> buffer(kCopyBufferSize);

  platform::File directory = platform::File::Create(directoryTemp);
  platform::File data = platform::File::Create(dataTemp);
  // One record buffer serves the header and every entry, so the unused bytes of a name
  // field hold what a longer name before it left there. Readers ignore them; reusing the
  // buffer keeps archives byte for byte as this format has always been written.
  ArchiveRecord record = MakeArchiveHeader(files.size());
  directory.Write(record.Serialize());
  std::int64_t runningOffset = record.offset;
  for (const FileToPack& file : files) {
    record.SetName(file.codePageName);
    record.SetFlags(file.attributes);
    record.count = 0;
    record.secondCount = 0;
    runningOffset += file.size;
    record.offset = static_cast<std::int32_t>(runningOffset);  // below 2^31, checked when listing
    ReportFile(progress, "Kodiere ", file.codePageName);
    AppendFileData(folder / file.name, file, data, buffer);
    directory.Write(record.Serialize());
  }
  directory.Close();
  data.Close();

  platform::File archive = platform::File::Create(target);
  AppendWholeFile(directoryTemp, archive, buffer);
  AppendWholeFile(dataTemp, archive, buffer);
  archive.Close();
  platform::DeleteFile(dataTemp);
  platform::DeleteFile(directoryTemp);
}

}  // namespace kestravuna
