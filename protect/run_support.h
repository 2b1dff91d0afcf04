// What the protect and the restore run share.
#pragma once

#include <filesystem>
#include <string_view>

#include "archive_progress.h"
#include "container_check.h"
#include "file_system.h"
#include "folder_protector.h"
#include "protect_error.h"

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

// The program writes and removes its own file names in the user's folder; a file of someone
// else's that happens to carry one of them stops the run before anything is written.
inline void RefuseForeignFile(const std::filesystem::path& file) {
  if (!IsMissingOrOwnFile(file)) {
    throw EProtectError(ProtectFault::ForeignFile, file.filename().string());
  }
}

// What the packer and unpacker report goes to the status line.
inline ArchiveProgress ProgressFor(FolderView& view) {
  return {[&view](std::string_view text) { view.SetLabel(ViewLabel::aktiv, text); },
          [&view] { view.PumpMessages(); }};
}

}  // namespace kestravuna
