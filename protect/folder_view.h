// What the folder scan and the protect and restore sequences need from the main window.
// The window implements it with widgets; the command-line tool and the tests implement it
// without any UI, so every sequence runs and is checked headlessly. Texts are UTF-8.
#pragma once

#include <filesystem>
#include <string_view>

namespace kestravuna {

// The labels of the statistics panel that the scan and the sequences write.
enum class ViewLabel {
  aktiv,         // the status line
  aktOrdner,     // the chosen folder's path
  anzSubFolder,  // subfolder count
  anzFiles,      // file count
  anzSize        // size in MB
};

// The two action buttons.
enum class ViewButton {
  code,   // "Verschlüsseln..."
  decode  // "Wiederherstellen..."
};

enum class BoxIcon { Error, Information };

// Application boxes are modal to every window of the program; ownerless boxes belong to
// no window.
enum class BoxOwner { Application, None };

class FolderView {
 public:
  virtual ~FolderView() = default;

  virtual void SetLabel(ViewLabel label, std::string_view text) = 0;
  virtual void SetProgress(int position) = 0;  // the progress bar `Count`, 0..100
  virtual void SetButtonEnabled(ViewButton button, bool enabled) = 0;
  virtual void ShowWaitWindow() = 0;
  virtual void HideWaitWindow() = 0;
  // Shows a box with an OK button and returns when it is closed.
  virtual void ShowMessageBox(BoxIcon icon, BoxOwner owner, std::string_view caption,
                              std::string_view text) = 0;
  // Lets every pending window event run and returns without waiting.
  virtual void PumpMessages() = 0;
  // A protect or restore run starts (true) or has ended (false). While it runs the window
  // disables whatever would start another run or change the folder under it: both action
  // buttons, the folder tree and the drive list. Repainting and the status line go on. The
  // scan at the end of a run still sets the buttons; the window keeps those states and shows
  // them when the run has ended.
  virtual void SetBusy(bool busy) = 0;
  // The drive list selects `drive` and the folder tree shows its root, without announcing
  // a folder or drive change (the caller runs that handling itself).
  virtual void ShowDrive(const std::filesystem::path& drive) = 0;
};

}  // namespace kestravuna
