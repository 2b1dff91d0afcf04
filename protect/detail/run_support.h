// What the protect and the restore run share.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>
#include <utility>

#include "archive/archive_progress.h"
#include "platform/file_system.h"
#include "platform/folder_lock.h"
#include "platform/utf8_path.h"
#include "protect/container_check.h"
#include "protect/folder_protector.h"
#include "protect/protect_error.h"

namespace kestravuna {

// One run as the window sees it: busy from start to end, the wait window up while the work
// goes on. Both end on every path, also when an error ends the run, so a failed run leaves
// neither a disabled window nor a wait window behind.
class FolderProtector::Run {
 public:
  explicit Run(FolderProtector& protector) : protector_(protector) {
    protector_.busy_ = true;
    protector_.view_.SetBusy(true);
    protector_.view_.ShowWaitWindow();
  }
  ~Run() {
    protector_.runProgress_.End();
    HideWaitWindow();
    protector_.busy_ = false;
    protector_.view_.SetBusy(false);
  }
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;

  void HideWaitWindow() {
    if (!waitShown_) return;
    waitShown_ = false;
    protector_.view_.HideWaitWindow();
  }

 private:
  FolderProtector& protector_;
  bool waitShown_ = true;
};

// The program's own files of a folder go only where they exist.
inline void DeleteIfPresent(const std::filesystem::path& file) {
  if (platform::FileExists(file)) platform::DeleteFile(file);
}

// A run holds its folder from its first look to its last change; a second run of the same
// folder, in this process or another, is refused before it looks at anything.
inline platform::FolderLock LockFolder(const std::filesystem::path& folder) {
  std::optional<platform::FolderLock> lock = platform::FolderLock::TryLock(folder);
  if (!lock) throw EProtectError(ProtectFault::FolderBusy);
  return std::move(*lock);
}

// The program writes and removes its own file names in the user's folder; an entry of someone
// else's that happens to carry one of them (a file of other contents, a link, a folder) stops
// the run before anything is written.
inline void RefuseForeignFile(const std::filesystem::path& file) {
  if (!IsMissingOrOwnFile(file)) {
    throw EProtectError(ProtectFault::ForeignFile, platform::Utf8Of(file.filename()));
  }
}

// A run that would stop at a file it may not delete (someone else's file in a shared folder,
// a read-only folder) is refused before it writes anything, naming the file.
inline void RefuseUndeletable(const std::filesystem::path& file, ProtectFault fault) {
  if (!platform::CanDeleteFile(file)) {
    throw EProtectError(fault, platform::Utf8Of(file.filename()));
  }
}

// What the packer and unpacker report goes to the status line.
inline ArchiveProgress ProgressFor(FolderView& view) {
  return {[&view](std::string_view text) { view.ShowStatus(text); },
          [&view] { view.PumpMessages(); }};
}

// The same, with the bytes packed moving the progress bar; the window draws the bar as it moves,
// also within one large file.
inline ArchiveProgress ProgressFor(FolderView& view, RunProgress& bar) {
  ArchiveProgress progress = ProgressFor(view);
  progress.bytesPacked = [&view, &bar](std::int64_t done, std::int64_t total) {
    if (bar.Advance(done, total)) view.PumpMessages();
  };
  return progress;
}

}  // namespace kestravuna
