// What the folder scan and the protect and restore runs need from the main window. Each front
// end implements it with its own widgets; the command-line tool and the tests implement it
// without any UI, so every run is checked headlessly. Texts are UTF-8.
//
// The rules a front end keeps:
// - Long work (a scan, a protect, a restore) runs on the window's thread and calls
//   PumpMessages between files and chunks, so the window repaints and the user's clicks arrive
//   in the middle of it. Such calls into FolderProtector are refused while a run goes on
//   (ChooseFolder returns false; ChooseDrive, EncodeFolder and DecodeFolder do nothing, and a
//   window activation does not rescan); CancelScan is always accepted.
// - SetBusy(true) tells the front end to disable whatever would start another run or change the
//   folder under it (both actions, the folder tree, the drive list) and to refuse to close the
//   window; SetBusy(false) gives them back.
// - EncodeFolder and DecodeFolder raise the exception that ends a run. The front end catches
//   every exception where its own event handler calls into the core and shows it in the general
//   error box (caption "Kestravuna", the message with a "." behind it when its last character
//   lies above "."): no exception may reach the window system's event loop.
#pragma once

#include <filesystem>
#include <string_view>

#include "protect/message_boxes.h"

namespace kestravuna {

// The three figures of the statistics panel.
enum class Statistic { SubFolders, Files, Size };

// The two things a user starts.
enum class Action { Protect, Restore };

class FolderView {
 public:
  virtual ~FolderView() = default;

  virtual void ShowStatus(std::string_view text) = 0;  // the status line
  virtual void ShowFolder(const std::filesystem::path& folder) = 0;
  virtual void ShowStatistic(Statistic figure, std::string_view text) = 0;
  virtual void ShowProgress(int position) = 0;  // the progress bar, 0..100
  virtual void EnableAction(Action action, bool enabled) = 0;
  virtual void ShowWaitWindow() = 0;
  virtual void HideWaitWindow() = 0;
  // Shows a box with an OK button and returns when it is closed.
  virtual void ShowMessage(const MessageBox& box) = 0;
  // Lets every pending window event run and returns without waiting.
  virtual void PumpMessages() = 0;
  // A protect or restore run starts (true) or has ended (false); see the rules above. The scan
  // at the end of a run still enables and disables the actions; the window keeps those states
  // and shows them when the run has ended.
  virtual void SetBusy(bool busy) = 0;
  // The drive list selects `drive` and the folder tree shows its root, without announcing
  // a folder or drive change (the caller runs that handling itself).
  virtual void ShowDrive(const std::filesystem::path& drive) = 0;
};

}  // namespace kestravuna
