// The protect run. Its order is chosen so that a run stopped at any point, by an error or by
// the process being killed, leaves the user's files intact or restorable:
//   0. the folder is locked against other runs, and what would stop the run halfway (an entry
//      of someone else's under one of the program's names, a file that may not be deleted) is
//      refused before anything is written;
//   1. leftovers of an interrupted run go (CHIFF.TMP, a CHIFF.CRD without container);
//   2. the folder is packed into CHIFF.CRY, compressed into CHIFF.TMP, and CHIFF.TMP is
//      decoded again and compared with the archive;
//   3. CHIFF.TMP and the password record reach the disk, and the record reads back;
//   4. the plain archive makes room for the container under its name, and the folder's
//      entries reach the disk;
//   5. only then are the plain files deleted, and only those the archive holds, unless one was
//      written to since it was packed: then the container and record go again.
// Until step 4 every user file is in place; from then on the container and its record are.
#include <algorithm>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "archive/pack_folder.h"
#include "archive/unpack_archive.h"
#include "platform/code_page.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/folder_listing.h"
#include "platform/folder_lock.h"
#include "platform/io_error.h"
#include "platform/utf8_path.h"
#include "protect/container_check.h"
#include "protect/detail/run_support.h"
#include "protect/folder_protector.h"
#include "protect/password_record.h"
#include "protect/protect_error.h"

namespace kestravuna {

namespace {

// Names holding this text are the program's own files and survive the deletion.
constexpr std::string_view kSurvivorMark = "CHIFF.CR";

bool Archived(std::span<const ArchiveEntry> archived, std::string_view name) {
  return std::ranges::any_of(archived,
                             [name](const ArchiveEntry& entry) { return entry.name == name; });
}

// A plain file that is not one of the program's own; DeletePlainFiles removes it when the
// archive holds it.
bool IsDeletable(const platform::FolderEntry& entry) {
  return platform::IsPlainFile(entry.attributes) &&
         entry.name.find(kSurvivorMark) == std::string::npos;
}

bool SameFileState(const platform::FolderEntry& a, const platform::FolderEntry& b) {
  return a.size == b.size && a.fileId == b.fileId && a.modifiedNs == b.modifiedNs;
}

// The first archived file that was written to or replaced since the folder was listed for
// packing: its archived copy is older than what the folder holds, so deleting it would lose
// the change. A file removed meanwhile loses nothing and does not count.
std::optional<std::string> FirstFileChangedSince(std::span<const platform::FolderEntry> listed,
                                                 std::span<const ArchiveEntry> archived,
                                                 const std::filesystem::path& folder) {
  for (const platform::FolderEntry& now : platform::ListFolder(folder)) {
    if (!Archived(archived, now.name)) continue;
    const auto before = std::ranges::find(listed, now.name, &platform::FolderEntry::name);
    if (before == listed.end() || !SameFileState(*before, now)) return now.name;
  }
  return std::nullopt;
}

}  // namespace

void FolderProtector::EncodeFolder(std::string_view password) {
  if (busy_) return;
  const std::filesystem::path folder = currentFolder_;
  const platform::FolderLock lock = LockFolder(folder);
  Run run(*this);
  view_.ShowStatus("Kodierung läuft...");
  const std::filesystem::path container = folder / kContainerName;
  const std::filesystem::path record = folder / kRecordName;
  const std::filesystem::path compressed = folder / kCompressorOutputName;

  const std::optional<std::string> storedPassword = platform::Utf8ToCodePage(password);
  if (!storedPassword) throw EProtectError(ProtectFault::PasswordNotStorable);
  // Packing would replace an existing container and with it the files it holds.
  if (platform::FileExists(container)) throw EProtectError(ProtectFault::AlreadyProtected);
  // Without a container these are an interrupted run's own output; they must not end up in
  // the archive. An entry of someone else's under one of these names is never replaced.
  RefuseForeignFile(container);
  RefuseForeignFile(compressed);
  RefuseForeignFile(record);
  const std::vector<platform::FolderEntry> listedForPacking = platform::ListFolder(folder);
  for (const platform::FolderEntry& entry : listedForPacking) {
    if (IsDeletable(entry) && IsPacked(folder, entry)) {
      RefuseUndeletable(folder / platform::PathFromUtf8(entry.name),
                        ProtectFault::FileNotDeletable);
    }
  }
  DeleteIfPresent(compressed);
  DeleteIfPresent(record);

  runProgress_.BeginStep(0, kProgressPacked);
  PackFolder(folder, container, ProgressFor(view_, runProgress_));

  view_.ShowStatus("Prüfung...");
  pack.Visible = false;
  pack.UseStream = false;
  pack.InputFile = platform::Utf8Of(container);
  pack.OutputFile = platform::Utf8Of(compressed);
  pack.CompressMode = containerMode;
  runProgress_.BeginStep(kProgressPacked, kProgressCoded);
  CompressAndVerify(pack, container, compressed);
  platform::File::OpenRead(compressed).Sync();

  WritePasswordRecord(record, *storedPassword);
  if (ReadPasswordRecord(record) != storedPassword->substr(0, kPasswordCapacity)) {
    throw EProtectError(ProtectFault::RecordUnreadable);
  }

  const std::vector<ArchiveEntry> archived = ReadArchiveDirectory(container);
  platform::DeleteFile(container);
  platform::RenameFile(compressed, container);
  platform::SyncDirectory(folder);

  if (const auto changed = FirstFileChangedSince(listedForPacking, archived, folder)) {
    // Every file is still in place: going back to the plain folder keeps the change.
    platform::DeleteFile(container);
    platform::DeleteFile(record);
    platform::SyncDirectory(folder);
    throw EProtectError(ProtectFault::ChangedWhileProtected, *changed);
  }
  DeletePlainFiles(folder, archived);
  view_.ShowStatus("Kodierung abgeschlossen.");
  run.HideWaitWindow();
  scan_.ResetStatistics();
  scan_.ScanFolder(folder);
  view_.ShowProgress(100);
}

void FolderProtector::DeletePlainFiles(const std::filesystem::path& folder,
                                       std::span<const ArchiveEntry> archived) {
  view_.ShowStatus("Moment...");
  for (const platform::FolderEntry& entry : platform::ListFolder(folder)) {
    if (!platform::IsPlainFile(entry.attributes)) continue;
    // Files the packer leaves out (its temporary names, the program itself) are not in the
    // archive, so a restore could not bring them back.
    if (IsDeletable(entry) && Archived(archived, entry.name)) {
      const std::filesystem::path file = folder / platform::PathFromUtf8(entry.name);
      try {
        platform::SetAttributes(file, platform::attr::kArchive);  // drops a read-only mark
      } catch (const platform::EInOutError&) {
        // Deleting needs no write access to the file itself; the deletion reports its own error.
      }
      platform::DeleteFile(file);
    }
    view_.PumpMessages();
  }
  view_.ShowStatus("bereit");
}

}  // namespace kestravuna
