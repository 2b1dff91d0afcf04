// The main window: the folder tree, the statistics panel and the buttons, on the core's
// FolderProtector. It is the core's FolderView and forwards the user's events to it.
#pragma once

#include <array>
#include <filesystem>
#include <functional>

#include "app/win32/designed_window.h"
#include "app/win32/folder_tree.h"
#include "protect/folder_protector.h"
#include "protect/folder_view.h"

namespace kestravuna::app::win32 {

class AboutWindow;
class EnterPasswordDialog;
class SetPasswordDialog;
class WaitWindow;

class MainWindow : public DesignedWindow, public FolderView {
 public:
  // Builds the window, hidden, and presents the working directory, which chooses it as the
  // folder (a refusal box for "C:\" comes now, before any window is visible).
  MainWindow();

  // The windows the main window shows; they are made after it. `isSecondary` tells whether a
  // window is one of them (or the splash window): the focus coming back from one of those
  // counts the folder afresh.
  void Attach(AboutWindow& about, WaitWindow& wait, SetPasswordDialog& setPassword,
              EnterPasswordDialog& enterPassword, std::function<bool(HWND)> isSecondary,
              std::function<void()> firstActivation);

  // The password dialogs' OK: a run on the chosen folder with the typed password; a protect
  // encrypts the contents when the set-password dialog's check box asks for it.
  void Protect(const std::string& typed, bool encrypt);
  void Restore(const std::string& typed);

  // FolderView
  void ShowStatus(std::string_view text) override;
  void ShowFolder(const std::filesystem::path& folder) override;
  void ShowStatistic(Statistic figure, std::string_view text) override;
  void ShowProgress(int position) override;
  void EnableAction(Action action, bool enabled) override;
  void ShowWaitWindow() override;
  void HideWaitWindow() override;
  void ShowMessage(const MessageBox& box) override;
  void PumpMessages() override;
  void SetBusy(bool busy) override;
  void ShowDrive(const std::filesystem::path& drive) override;

 protected:
  void OnCommand(std::string_view control, int notification) override;
  LRESULT OnNotify(std::string_view control, NMHDR& header) override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  // A close request from the system asks the quit question; the window itself never closes.
  void OnClose() override;

 private:
  // The focus came back from another window of the program (or this is the first time).
  void Activated();
  // "Beenden" and the close symbol: the quit question.
  void AskToQuit();
  void FolderChosen(const std::filesystem::path& folder);
  void ApplyEnabledStates();

  FolderTree folders_;
  DriveList drives_;
  AboutWindow* about_ = nullptr;
  WaitWindow* wait_ = nullptr;
  SetPasswordDialog* setPassword_ = nullptr;
  EnterPasswordDialog* enterPassword_ = nullptr;
  std::function<bool(HWND)> isSecondary_;
  std::function<void()> firstActivation_;

  FolderProtector protector_;
  bool busy_ = false;
  bool protectEnabled_ = true;  // as the scan left them; a run disables both meanwhile
  bool restoreEnabled_ = true;
  bool activatedOnce_ = false;
};

// Hands one message to its window, with the keyboard handling of a dialog in every window of
// the set (Tab, Enter, Escape).
void DispatchMessageOf(MSG& message);
// Lets every pending window message run and returns without waiting.
void PumpPendingMessages();

}  // namespace kestravuna::app::win32
