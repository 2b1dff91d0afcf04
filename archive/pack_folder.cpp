#include "archive/pack_folder.h"

#include <algorithm>
#include <functional>
#include <optional>
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
#include "platform/utf8_path.h"

namespace kestravuna {

namespace {

namespace fs = std::filesystem;

// The names the packer's temporary files once had in the folder; a file under one of them may
// be such a leftover, so none is ever packed.
constexpr std::string_view kDirectoryTempName = "TEMP1.CRY";
constexpr std::string_view kDataTempName = "TEMP2.CRY";

struct FileToPack {
  std::string name;          // as the platform names it
  std::string codePageName;  // as the archive stores it
  std::uint32_t attributes;
  std::uint32_t size;
};

}  // namespace

// Directories, the packer's own temporary files (by a case-sensitive substring test, as
// the folder scan tests names) and the running program are never packed.
bool IsPacked(const fs::path& folder, const platform::FolderEntry& entry) {
  if ((entry.attributes & platform::attr::kDirectory) != 0) return false;
  if (entry.name.find(kDirectoryTempName) != std::string::npos ||
      entry.name.find(kDataTempName) != std::string::npos) {
    return false;
  }
  return !platform::IsOwnExecutable(folder / platform::PathFromUtf8(entry.name));
}

namespace {

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
    // A name the unpacker would refuse (one holding "\\", which Windows takes for a
    // separator) must never reach an archive whose files are then deleted.
    std::optional<std::string> codePageName = platform::Utf8ToCodePage(entry.name);
    if (!codePageName || codePageName->size() > kArchiveNameCapacity ||
        !IsSafeFileName(*codePageName)) {
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
// shrank or grew since it was listed stops the packing. Each piece copied is told to `copied`.
// Returns who may read the file.
platform::FileAccess AppendFileData(const fs::path& path, const FileToPack& file,
                                    platform::File& data, std::span<std::uint8_t> buffer,
                                    const std::function<void(std::size_t)>& copied) {
  platform::File source = platform::File::OpenRead(path);
  std::uint32_t remaining = file.size;
  while (remaining > 0) {
    const std::size_t read =
        source.Read(buffer.first(std::min<std::size_t>(remaining, buffer.size())));
    if (read == 0) throw EArchiveError(ArchiveFault::FileChanged, file.name);
    data.Write(buffer.first(read));
    remaining -= static_cast<std::uint32_t>(read);
    copied(read);
  }
  if (source.Read(buffer.first(1)) != 0) throw EArchiveError(ArchiveFault::FileChanged, file.name);
  const platform::FileAccess access = source.Access();
  source.Close();
  return access;
}

void AppendWholeFile(platform::File& source, platform::File& target,
                     std::span<std::uint8_t> buffer) {
  source.Seek(0);
  while (const std::size_t read = source.Read(buffer)) target.Write(buffer.first(read));
}

}  // namespace

void PackFolder(const fs::path& folder, const fs::path& target, const ArchiveProgress& progress) {
  const std::vector<FileToPack> files = ListFilesToPack(folder);
  std::vector<std::uint8_t> buffer(kCopyBufferSize);

  // Header and directory, and the files' contents, are gathered in two files without names in
  // the private temporary folder: whatever ends the run, they vanish with it, and packers of
  // other folders running at the same time never meet them.
  const fs::path tempDir = platform::PrivateTempDir();
  platform::File directory = platform::File::CreateAnonymous(tempDir);
  platform::File data = platform::File::CreateAnonymous(tempDir);
  // One record buffer serves the header and every entry, so the unused bytes of a name
  // field hold what a longer name before it left there. Readers ignore them; reusing the
  // buffer keeps every archive byte for byte what other readers and writers of the format
  // produce.
  ArchiveRecord record = MakeArchiveHeader(files.size());
  directory.Write(record.Serialize());
  std::int64_t runningOffset = record.offset;
  std::optional<platform::FileAccess> narrowest;
  std::int64_t bytesToPack = 0;
  for (const FileToPack& file : files) bytesToPack += file.size;
  std::int64_t bytesPacked = 0;
  const auto copied = [&](std::size_t bytes) {
    bytesPacked += static_cast<std::int64_t>(bytes);
    if (progress.bytesPacked) progress.bytesPacked(bytesPacked, bytesToPack);
  };
  for (const FileToPack& file : files) {
    record.SetName(file.codePageName);
    record.SetFlags(file.attributes);
    record.count = 0;
    record.secondCount = 0;
    runningOffset += file.size;
    record.offset = static_cast<std::int32_t>(runningOffset);  // below 2^31, checked when listing
    ReportFile(progress, "Kodiere ", file.codePageName);
    const platform::FileAccess access =
        AppendFileData(folder / platform::PathFromUtf8(file.name), file, data, buffer, copied);
    narrowest = narrowest ? platform::NarrowestAccess(*narrowest, access) : access;
    directory.Write(record.Serialize());
  }

  platform::File archive = platform::File::Replace(target);
  try {
    AppendWholeFile(directory, archive, buffer);
    AppendWholeFile(data, archive, buffer);
    // Nobody may read the archive who could not read every file in it.
    if (narrowest) archive.ShareAccessOf(*narrowest);
    archive.Close();
  } catch (...) {
    // A full disk, say: the half-written archive is this call's own and goes.
    platform::DeleteCreatedFile(std::move(archive), target);
    throw;
  }
}

}  // namespace kestravuna
