// The main window's working part without the widgets: the chosen folder and drive, the
// folder statistics, and the protect and restore runs with the compressor instance `pack`.
// The window forwards its events here and implements FolderView for what it is told.
//
// No run may lose a file. Protect deletes a plain file only after the new container has been
// decoded and compared with the archive, the container, its password record and the folder
// have reached the disk, and only when the archive holds that file. Restore keeps the
// container and the record until every file has been recreated. An interrupted run leaves
// only states that the next protect or restore completes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "archive/unpack_archive.h"
#include "compress/zarlz.h"
#include "platform/folder_listing.h"
#include "protect/folder_scan.h"
#include "protect/folder_view.h"
#include "protect/run_progress.h"
#include "seal/sealed_container.h"

namespace kestravuna {

// The files of a protected folder.
inline constexpr std::string_view kContainerName = "CHIFF.CRY";
inline constexpr std::string_view kRecordName = "CHIFF.CRD";
inline constexpr std::string_view kCompressorOutputName = "CHIFF.TMP";
// What both dialogs pass for an empty password field.
inline constexpr std::string_view kEmptyPasswordSubstitute = "@VOID#";

// The password the dialogs pass on for what was typed: an empty field stands for the fixed text.
constexpr std::string_view PasswordAsTyped(std::string_view typed) {
  return typed.empty() ? kEmptyPasswordSubstitute : typed;
}

// How a protect stores the folder.
struct ProtectOptions {
  // The codec of the container; the window always protects in mode Good.
  TCompressMode method = TCompressMode::Good;
  // The container enciphered under the password (sealed_container.h) instead of the legacy
  // container, which keeps no secret: its password only gates this program's own restore.
  bool encrypt = false;
};

class FolderProtector {
 public:
  // The chosen folder starts as the working directory; the window announces it through
  // ChooseFolder as the folder tree presents it.
  explicit FolderProtector(FolderView& view);

  // Makes `folder` the working directory before the windows are made, so that the program
  // starts with it chosen (a folder given on the command line). Raises EInOutError when the
  // folder cannot be entered.
  static void StartIn(const std::filesystem::path& folder);

  // The user chose `folder` in the folder tree: it becomes the working directory, then the
  // change is announced (shown, refused or scanned). A folder that cannot be entered raises
  // EInOutError before anything changes; the window then shows CurrentFolder() again.
  // Refused (false) while a run is under way.
  bool ChooseFolder(const std::filesystem::path& folder);
  // The user chose `drive` (a mount point) in the drive list. An unreachable drive is reported
  // and the list goes back to the last drive that worked.
  void ChooseDrive(const std::filesystem::path& drive);
  // The user cancels the scan: stops the current and every later scan until a folder change.
  void CancelScan() { scan_.Cancel(); }
  // The main window has become active: remember its drive and count the folder afresh.
  void WindowActivated();

  // The set-password dialog's OK with what was typed: an empty field is noted in the
  // "Sicherheitshinweis" box and protects with kEmptyPasswordSubstitute, unless the contents are
  // to be encrypted: then the EncryptionNeedsPasswordBox note is all that happens. Ignored while
  // a run is under way. False when no protect ran.
  bool ProtectWithTypedPassword(std::string_view typed, const ProtectOptions& options = {});
  // The enter-password dialog's OK: an empty field stands for kEmptyPasswordSubstitute, without
  // a note. Ignored while a run is under way.
  void RestoreWithTypedPassword(std::string_view typed);

  // Protects the chosen folder with `password` (UTF-8, never empty). Ignored while a run is
  // under way. Raises the error that ends the run.
  void EncodeFolder(std::string_view password, const ProtectOptions& options = {});
  // Deletes the plain files of `folder` that `archived` holds, except names containing
  // "CHIFF.CR", each only while it is as `packed` (the listing the archive was packed from)
  // shows it. Returns the names of the files that stayed because they changed since.
  std::vector<std::string> DeletePlainFiles(const std::filesystem::path& folder,
                                            std::span<const ArchiveEntry> archived,
                                            std::span<const platform::FolderEntry> packed);
  // Restores the chosen folder if `password` (UTF-8, never empty) opens it: for a legacy
  // container when it holds the stored one, for an encrypted one when it is the password the
  // contents were encrypted with. Ignored while a run is under way. Raises the error that ends
  // the run.
  void DecodeFolder(std::string_view password);

  const std::filesystem::path& CurrentFolder() const noexcept { return currentFolder_; }
  const std::filesystem::path& lastDrive() const noexcept { return lastDrive_; }
  bool IsBusy() const noexcept { return busy_; }
  const FolderScan& Scan() const noexcept { return scan_; }

  // Told the compressor's running byte counts during a run (see TZarLZ::SetProgressObserver).
  void SetCodingProgressObserver(TZarLZ::ProgressObserver observer) {
    pack_.SetProgressObserver(std::move(observer));
  }

 private:
  class Run;

  // The folder change once `folder` is the working directory: shown, refused or scanned.
  void AnnounceFolder(const std::filesystem::path& folder);
  void Rescan();
  bool ChangeDrive(const std::filesystem::path& drive);
  // Decodes the folder's container into its files (see restore_sequence.cpp): the legacy
  // container, or the contents of the encrypted one, unlocked already.
  UnpackedFiles DecodeContainer(const std::filesystem::path& folder,
                                UnsealingStream* sealedContents);
  void FinishRestore(Run& run, const std::filesystem::path& folder,
                     const std::vector<KeptFile>& kept);

  FolderView& view_;
  TZarLZ pack_;  // hidden: its captions are never shown
  FolderScan scan_;
  RunProgress runProgress_{view_};  // the bar during a run
  std::filesystem::path currentFolder_;
  std::filesystem::path lastDrive_;
  bool busy_ = false;
};

}  // namespace kestravuna
