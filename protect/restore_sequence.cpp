// The restore run. The container and the password record stay until every file has been
// recreated and has reached the disk, so a restore stopped at any point can be run again.
// The decompressed archive goes to CHIFF.TMP and is unpacked from there; it is removed last.
//
// A CHIFF.CRY that is not a container is a plain archive: the packer's output of a protect
// run that stopped before it deleted anything, or of an interrupted restore of earlier
// versions, which left the plain archive under that name beside the record. It is a leftover
// of an interrupted protect, and goes without a password, when it begins as the packer's
// archives do (a file of someone else's under that name is never removed) and either there is
// no record, or CHIFF.TMP beside it is a container (which exists only before a protect deletes
// a file), or every file it holds is in the folder as archived. Otherwise it is unpacked
// directly, after the password test, and nothing is decompressed.
#include <string>
#include <vector>

#include "code_page.h"
#include "container_check.h"
#include "file.h"
#include "file_system.h"
#include "folder_protector.h"
#include "password_record.h"
#include "run_support.h"
#include "unpack_archive.h"

namespace kestravuna {

namespace {

// The entered password must hold the stored one; an empty stored password opens nothing.
// Comparing in UTF-8 is the same test as in the code page, and needs no conversion of an
// entry the code page cannot hold.
bool Accepts(std::string_view entered, std::string_view storedCodePage) {
  return !storedCodePage.empty() &&
         entered.find(platform::CodePageToUtf8(storedCodePage)) != std::string_view::npos;
}

// The container first: whatever a stop leaves behind then no longer looks protected, and
// the next protect clears it away.
void DeleteRunFiles(const std::filesystem::path& folder) {
  DeleteIfPresent(folder / kContainerName);
  DeleteIfPresent(folder / kRecordName);
  DeleteIfPresent(folder / kCompressorOutputName);
  platform::SyncDirectory(folder);
}

void SyncRecreatedFiles(const std::filesystem::path& folder, const std::filesystem::path& archive) {
  for (const ArchiveEntry& entry : ReadArchiveDirectory(archive)) {
    platform::File::OpenRead(folder / entry.name).Sync();
  }
  platform::SyncDirectory(folder);
}

bool IsInterruptedProtect(const std::filesystem::path& folder) {
  const std::filesystem::path container = folder / kContainerName;
  return BeginsLikeArchive(container) &&
         (!platform::FileExists(folder / kRecordName) ||
          IsContainer(folder / kCompressorOutputName) || FolderHoldsArchive(folder, container));
}

}  // namespace

void FolderProtector::DecodeFolder(std::string_view password) {
  if (busy_) return;
  const std::filesystem::path folder = currentFolder_;
  const std::filesystem::path container = folder / kContainerName;
  const bool plainArchive = platform::FileExists(container) && !IsContainer(container);
  // The decompressor writes CHIFF.TMP, and every way out of a restore removes it.
  RefuseForeignFile(folder / kCompressorOutputName);

  if (plainArchive && IsInterruptedProtect(folder)) {
    Run run(*this);
    view_.SetLabel(ViewLabel::aktiv, "Dekodierung läuft...");
    DeleteRunFiles(folder);
    FinishRestore(run, folder);
    return;
  }

  if (!Accepts(password, ReadPasswordRecord(folder / kRecordName))) {
    view_.ShowMessageBox(BoxIcon::Error, BoxOwner::None, "Falsches Passwort !",
                         "Sie haben keine Berechtigung zu dieser Aktion !");
    return;
  }

  Run run(*this);
  view_.SetLabel(ViewLabel::aktiv, "Dekodierung läuft...");
  std::filesystem::path archive = container;
  if (!plainArchive) {
    archive = folder / kCompressorOutputName;
    pack.Visible = false;
    pack.UseStream = false;
    pack.InputFile = container.string();
    pack.OutputFile = archive.string();
    pack.CompressMode = TCompressMode::Good;
    pack.Decompress();
  }
  UnpackArchive(folder, archive, "*.*", 0, ProgressFor(view_));
  SyncRecreatedFiles(folder, archive);
  DeleteRunFiles(folder);
  FinishRestore(run, folder);
}

void FolderProtector::FinishRestore(Run& run, const std::filesystem::path& folder) {
  run.HideWaitWindow();
  view_.SetLabel(ViewLabel::aktiv, "Dekodierung abgeschlossen.");
  scan_.ResetStatistics();
  scan_.ScanFolder(folder);
  view_.SetProgress(100);
}

}  // namespace kestravuna
