// The protect run. Its order is chosen so that a run stopped at any point, by an error or by
// the process being killed, leaves the user's files intact or restorable:
//   0. the folder is locked against other runs and pinned: every step acts on the folder that
//      was locked and checked, wherever its path leads meanwhile; what would stop the run
//      halfway (an entry of someone else's under one of the program's names, a file that may
//      not be deleted) is refused before anything is written;
//   1. a CHIFF.CRD without container (a restore's last leftover) goes;
//   2. the folder is packed into CHIFF.CRY, compressed (and, when asked, encrypted) into
//      CHIFF.TMP, and CHIFF.TMP is decoded again and compared with the archive;
//   3. CHIFF.TMP and the password record reach the disk, and the record reads back;
//   4. CHIFF.TMP replaces the plain archive in one step, and the folder's entries reach the disk;
//   5. only then are the plain files deleted, and only those the archive holds, each only while
//      it is as it was packed: a file written to since stays, and the run says so.
// Until step 4 every user file is in place, and a run that fails there removes what it made;
// from then on the container and its record are.
#include <algorithm>
#include <array>
#include <optional>
#include <span>
#include <string>
#include <utility>
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
#include "seal/sealed_container.h"

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

// Whether the file `now` is as the listing before packing saw it.
bool IsAsPacked(std::span<const platform::FolderEntry> packed,
                const std::optional<platform::FolderEntry>& now) {
  if (!now) return false;
  const auto before = std::ranges::find(packed, now->name, &platform::FolderEntry::name);
  return before != packed.end() && SameFileState(*before, *now);
}

// Whether every archived file still lies in the folder, none deleted yet.
bool FolderHoldsEveryFile(const std::filesystem::path& folder,
                          std::span<const ArchiveEntry> archived) {
  return std::ranges::all_of(archived, [&](const ArchiveEntry& entry) {
    return platform::FileExists(folder / platform::PathFromUtf8(entry.name));
  });
}

std::string JoinedNames(std::span<const std::string> names) {
  std::string joined;
  for (const std::string& name : names) joined += (joined.empty() ? "" : ", ") + name;
  return joined;
}

// The files a protect run has made in the folder: only names whose file the run has written
// whole. Unless the run keeps them, they go again when it ends, so that a failed run leaves the
// folder as it found it. The compressor's output goes first and the record last, and a deletion
// that fails ends the cleanup: every state it leaves is one a later run recognises (CHIFF.TMP
// only beside the plain archive it came from, a record only beside a container or alone).
class FilesOfThisRun {
 public:
  enum Output { kArchive, kCompressed, kRecord };

  explicit FilesOfThisRun(const std::filesystem::path& folder)
      : paths_{folder / kContainerName, folder / kCompressorOutputName, folder / kRecordName},
        folder_(folder) {}
  FilesOfThisRun(const FilesOfThisRun&) = delete;
  FilesOfThisRun& operator=(const FilesOfThisRun&) = delete;
  ~FilesOfThisRun() {
    if (!made_[kArchive] && !made_[kCompressed] && !made_[kRecord]) return;
    try {
      for (const Output output : {kCompressed, kArchive, kRecord}) {
        if (made_[output]) DeleteIfPresent(paths_[output]);
      }
      platform::SyncDirectory(folder_);
    } catch (const platform::EInOutError&) {
      // The error that ended the run is on its way.
    }
  }

  void Made(Output output) { made_[output] = true; }
  // The compressor's output now stands under the archive's name, as the container.
  void CompressedBecameContainer() { made_[kCompressed] = false; }
  void Keep() { made_ = {}; }

 private:
  std::array<std::filesystem::path, 3> paths_;
  std::array<bool, 3> made_{};
  std::filesystem::path folder_;
};

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

void FolderProtector::EncodeFolder(std::string_view password, const ProtectOptions& options) {
  if (busy_) return;
  const platform::FolderLock lock = LockFolder(currentFolder_);
  const std::filesystem::path& folder = lock.Folder();
  Run run(*this);
  view_.ShowStatus("Kodierung läuft...");
  const std::filesystem::path container = folder / kContainerName;
  const std::filesystem::path record = folder / kRecordName;
  const std::filesystem::path compressed = folder / kCompressorOutputName;

  // The legacy record keeps the password; the record of an encrypted folder keeps nothing of it,
  // so that it cannot be tried offline, and a program that knows only legacy containers opens
  // the folder with no password at all.
  const std::optional<std::string> storedPassword =
      options.encrypt ? std::optional<std::string>("") : platform::Utf8ToCodePage(password);
  if (!storedPassword) throw EProtectError(ProtectFault::PasswordNotStorable);
  // Packing would replace an existing container and with it the files it holds.
  if (platform::FileExists(container)) throw EProtectError(ProtectFault::AlreadyProtected);
  RefuseForeignFile(container);
  // A run of this program leaves CHIFF.TMP only beside a CHIFF.CRY, so one found without it is
  // someone else's file, however much it looks like a container.
  if (platform::KindOfEntry(compressed) != platform::EntryKind::Missing) {
    throw EProtectError(ProtectFault::ForeignFile, std::string(kCompressorOutputName));
  }
  RefuseForeignFile(record);
  const std::vector<platform::FolderEntry> listedForPacking = platform::ListFolder(folder);
  for (const platform::FolderEntry& entry : listedForPacking) {
    if (IsDeletable(entry) && IsPacked(folder, entry)) {
      RefuseUndeletable(folder / platform::PathFromUtf8(entry.name),
                        ProtectFault::FileNotDeletable);
    }
  }
  DeleteIfPresent(record);
  // Derived before the work starts, so that the derivation's memory is given back before the
  // packer and the compressor take theirs.
  std::optional<SealKey> key;
  if (options.encrypt) key.emplace(SealKey::ForNewContainer(password));

  FilesOfThisRun made(folder);
  runProgress_.BeginStep(0, kProgressPacked);
  PackFolder(folder, container, ProgressFor(view_, runProgress_));
  made.Made(FilesOfThisRun::kArchive);

  view_.ShowStatus("Prüfung...");
  pack_.Visible = false;
  runProgress_.BeginStep(kProgressPacked, kProgressCoded);
  CompressAndVerify(pack_, container, compressed, options.method, key ? &*key : nullptr);
  made.Made(FilesOfThisRun::kCompressed);
  platform::SyncFiles({compressed});

  WritePasswordRecord(record, *storedPassword);
  made.Made(FilesOfThisRun::kRecord);
  if (ReadPasswordRecord(record) != storedPassword->substr(0, kPasswordCapacity)) {
    throw EProtectError(ProtectFault::RecordUnreadable);
  }

  const std::vector<ArchiveEntry> archived = ReadArchiveDirectory(container);
  platform::ReplaceFile(compressed, container);
  made.CompressedBecameContainer();
  platform::SyncDirectory(folder);

  if (const auto changed = FirstFileChangedSince(listedForPacking, archived, folder)) {
    // Every file is still in place: going back to the plain folder keeps the change.
    throw EProtectError(ProtectFault::ChangedWhileProtected, *changed);
  }
  std::vector<std::string> changedSinceCheck;
  try {
    changedSinceCheck = DeletePlainFiles(folder, archived, listedForPacking);
  } catch (...) {
    // Once a file is gone, the container is the only place that holds it.
    if (!FolderHoldsEveryFile(folder, archived)) made.Keep();
    throw;
  }
  made.Keep();
  view_.ShowStatus("Kodierung abgeschlossen.");
  run.HideWaitWindow();
  scan_.ResetStatistics();
  scan_.ScanFolder(folder);
  view_.ShowProgress(100);
  if (!changedSinceCheck.empty()) {
    throw EProtectError(ProtectFault::ChangedWhileDeleting, JoinedNames(changedSinceCheck));
  }
}

std::vector<std::string> FolderProtector::DeletePlainFiles(
    const std::filesystem::path& folder, std::span<const ArchiveEntry> archived,
    std::span<const platform::FolderEntry> packed) {
  view_.ShowStatus("Moment...");
  std::vector<std::string> changed;
  for (const platform::FolderEntry& entry : platform::ListFolder(folder)) {
    if (!platform::IsPlainFile(entry.attributes)) continue;
    // Files the packer leaves out (its temporary names, the program itself) are not in the
    // archive, so a restore could not bring them back.
    if (IsDeletable(entry) && Archived(archived, entry.name)) {
      const std::filesystem::path file = folder / platform::PathFromUtf8(entry.name);
      // Looked at once more right before it goes: a file written to since it was packed holds
      // what the container does not.
      if (IsAsPacked(packed, platform::EntryOf(file))) {
        platform::DeleteFile(file);
      } else {
        changed.push_back(entry.name);
      }
    }
    view_.PumpMessages();
  }
  view_.ShowStatus("bereit");
  return changed;
}

}  // namespace kestravuna
