#include "protect/folder_protector.h"

#include <algorithm>
#include <vector>

#include "platform/file_system.h"
#include "platform/io_error.h"

namespace kestravuna {

namespace {

bool IsWithin(const std::filesystem::path& folder, const std::filesystem::path& drive) {
  return std::mismatch(drive.begin(), drive.end(), folder.begin(), folder.end()).first ==
         drive.end();
}

// The mount point that holds `folder`: the deepest one on its path. Drive roots on Windows
// are all as long as the first disk's, so the first disk is only the fallback.
std::filesystem::path DriveOf(const std::filesystem::path& folder) {
  std::filesystem::path drive;
  for (const std::filesystem::path& candidate : platform::Drives()) {
    if (IsWithin(folder, candidate) && candidate.native().size() > drive.native().size()) {
      drive = candidate;
    }
  }
  return drive.empty() ? platform::FirstDiskRoot() : drive;
}

}  // namespace

FolderProtector::FolderProtector(FolderView& view)
    : view_(view),
      scan_(view),
      currentFolder_(platform::WorkingDirectory()),
      lastDrive_(DriveOf(currentFolder_)) {
  pack_.SetEventPump([this] {
    const TZarLZ::Progress coded = pack_.CurrentProgress();
    runProgress_.Advance(coded.done, coded.total);
    view_.PumpMessages();
  });
}

void FolderProtector::StartIn(const std::filesystem::path& folder) {
  platform::SetWorkingDirectory(folder);
}

bool FolderProtector::ChooseFolder(const std::filesystem::path& folder) {
  if (busy_) return false;
  // The runs and the packer work in the chosen folder; one that cannot be entered is not chosen.
  platform::SetWorkingDirectory(folder);
  AnnounceFolder(folder);
  return true;
}

void FolderProtector::AnnounceFolder(const std::filesystem::path& folder) {
  currentFolder_ = folder;
  scan_.StartNewFolder();
  view_.ShowFolder(folder);
  view_.ShowProgress(0);
  if (folder.native() == platform::FirstDiskRoot().native()) {
    view_.ShowMessage(RootFolderRefusedBox());
    view_.EnableAction(Action::Protect, false);
    view_.EnableAction(Action::Restore, false);
    scan_.Cancel();
    return;
  }
  scan_.ScanFolder(folder);
  view_.ShowProgress(0);
}

void FolderProtector::ChooseDrive(const std::filesystem::path& drive) {
  if (busy_) return;
  if (ChangeDrive(drive)) return;
  view_.ShowMessage(DriveUnreachableBox());
  // Going back is a drive change of its own; should the last drive fail as well, the
  // report is given once more instead of going back and forth for ever.
  if (lastDrive_ == drive) return;
  if (!ChangeDrive(lastDrive_)) view_.ShowMessage(DriveUnreachableBox());
}

bool FolderProtector::ChangeDrive(const std::filesystem::path& drive) {
  try {
    // The drive's root becomes the working directory, as any chosen folder does.
    platform::SetWorkingDirectory(drive);
  } catch (const platform::EInOutError&) {
    return false;
  }
  view_.ShowDrive(drive);
  AnnounceFolder(drive);
  lastDrive_ = drive;
  Rescan();
  return true;
}

bool FolderProtector::ProtectWithTypedPassword(std::string_view typed,
                                               const ProtectOptions& options) {
  if (busy_) return false;
  if (typed.empty()) {
    // A fixed text everybody knows would keep no secret.
    if (options.encrypt) {
      view_.ShowMessage(EncryptionNeedsPasswordBox());
      return false;
    }
    view_.ShowMessage(EmptyPasswordBox());
  }
  EncodeFolder(PasswordAsTyped(typed), options);
  return true;
}

void FolderProtector::RestoreWithTypedPassword(std::string_view typed) {
  DecodeFolder(PasswordAsTyped(typed));
}

void FolderProtector::WindowActivated() {
  lastDrive_ = DriveOf(platform::WorkingDirectory());
  // A run under way rescans at its end; counting now would only mix into its status line.
  if (busy_) return;
  Rescan();
}

void FolderProtector::Rescan() {
  scan_.ResetStatistics();
  scan_.ScanFolder(currentFolder_);
  view_.ShowProgress(0);
}

}  // namespace kestravuna
