// The main window: the folder tree, the statistics panel and the buttons, on the core's
// FolderProtector. It is the core's FolderView and forwards the user's events to it.
#pragma once

#include <QPoint>
#include <array>
#include <filesystem>

#include "app/qt/designed_widgets.h"
#include "protect/folder_protector.h"
#include "protect/folder_view.h"

class QAbstractButton;
class QLabel;
class QProgressBar;

namespace kestravuna::app {

class DriveList;
class FolderTree;
class AboutBox;
class SetPasswordDialog;
class EnterPasswordDialog;
class WaitWindow;

class MainWindow : public DesignedWindow, public FolderView {
 public:
  // Builds the window and presents the working directory, which chooses it as the folder
  // (a refusal box for "/" comes now, before any window is visible).
  MainWindow();

  // The windows the main window shows; they are created after it.
  void Attach(AboutBox& aboutBox, WaitWindow& waitWindow, SetPasswordDialog& setPassword,
              EnterPasswordDialog& enterPassword);

  // The password dialogs' OK: a run on the chosen folder with what was typed; a protect
  // encrypts the contents when the set-password dialog's check box asks for it.
  void ProtectWithTypedPassword(const QString& typed, bool encrypt);
  void RestoreWithTypedPassword(const QString& typed);
  // The focus came back from another window of the program (or this is the first time).
  void Activated();
  // "Beenden": the quit question; "&Ja" ends the program once the running handlers are done.
  void AskToQuit();

  FolderProtector& Protector() { return protector_; }

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
  // A close request from the system asks the quit question; the window itself never closes.
  void closeEvent(QCloseEvent* event) override;
  // The title strip drags the window.
  bool IsDragArea(QPoint at) const override;

 private:
  void FolderSelected(const std::filesystem::path& folder);
  void ApplyEnabledStates();

  QLabel& statusLine_;
  QLabel& folderLabel_;
  QProgressBar& progressBar_;
  QAbstractButton& protectButton_;
  QAbstractButton& restoreButton_;
  FolderTree& folderTree_;
  DriveList& driveList_;
  // The figures' labels, in the order of Statistic: written for every file a scan counts.
  std::array<QLabel*, 3> statistics_;
  AboutBox* aboutBox_ = nullptr;
  WaitWindow* waitWindow_ = nullptr;
  SetPasswordDialog* setPassword_ = nullptr;
  EnterPasswordDialog* enterPassword_ = nullptr;

  FolderProtector protector_;
  bool busy_ = false;
  bool protectEnabled_ = true;  // as the scan left them; a run disables both meanwhile
  bool restoreEnabled_ = true;
};

}  // namespace kestravuna::app
