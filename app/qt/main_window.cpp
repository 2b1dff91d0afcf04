#include "app/qt/main_window.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>

#include "app/qt/folder_tree.h"
#include "app/qt/message_service.h"
#include "app/qt/small_windows.h"

namespace kestravuna::app {

MainWindow::MainWindow()
    : DesignedWindow(kMainWindow),
      statusLine_(ControlOf<QLabel>(*this, "aktiv")),
      folderLabel_(ControlOf<QLabel>(*this, "aktOrdner")),
      progressBar_(ControlOf<QProgressBar>(*this, "Count")),
      protectButton_(ControlOf<QAbstractButton>(*this, "code")),
      restoreButton_(ControlOf<QAbstractButton>(*this, "decode")),
      folderTree_(ControlOf<FolderTree>(*this, "Folders")),
      driveList_(ControlOf<DriveList>(*this, "Drives")),
      statistics_{&ControlOf<QLabel>(*this, "anzSubFolder"), &ControlOf<QLabel>(*this, "anzFiles"),
                  &ControlOf<QLabel>(*this, "anzSize")},
      protector_(*this) {
  const auto onClick = [this](const char* button, auto handler) {
    connect(&ControlOf<QAbstractButton>(*this, button), &QAbstractButton::clicked, this,
            [handler] { RunHandler(handler); });
  };
  onClick("code", [this] { setPassword_->ShowModeless(); });
  onClick("decode", [this] { enterPassword_->ShowModeless(); });
  onClick("SpeedButton4", [this] { aboutBox_->ShowModeless(); });
  onClick("SpeedButton3", [this] { AskToQuit(); });
  onClick("BitBtn1", [this] { ControlOf<QAbstractButton>(*this, "SpeedButton3").click(); });
  onClick("SpeedButton6", [this] { protector_.CancelScan(); });
  folderTree_.OnFolderSelected(
      [this](const std::filesystem::path& folder) { FolderSelected(folder); });
  driveList_.OnDriveChosen([this](const std::filesystem::path& drive) {
    RunHandler([&] { protector_.ChooseDrive(drive); });
  });

  QWidget* previousStop = nullptr;
  for (const std::string_view name : kMainWindowTabOrder) {
    QWidget& stop = ControlOf<QWidget>(*this, std::string(name).c_str());
    if (previousStop != nullptr) setTabOrder(previousStop, &stop);
    previousStop = &stop;
  }

  // The tree presents the working directory on its drive, which chooses that folder.
  const std::filesystem::path start = protector_.CurrentFolder();
  driveList_.ShowDrive(protector_.lastDrive());
  folderTree_.ShowDrive(protector_.lastDrive());
  folderTree_.ShowFolder(start);
  RunHandler([&] { protector_.ChooseFolder(start); });
}

void MainWindow::Attach(AboutBox& aboutBox, WaitWindow& waitWindow, SetPasswordDialog& setPassword,
                        EnterPasswordDialog& enterPassword) {
  aboutBox_ = &aboutBox;
  waitWindow_ = &waitWindow;
  setPassword_ = &setPassword;
  enterPassword_ = &enterPassword;
}

void MainWindow::ProtectWithTypedPassword(const QString& typed, bool encrypt) {
  RunHandler(
      [&] { protector_.ProtectWithTypedPassword(typed.toStdString(), {.encrypt = encrypt}); });
}

void MainWindow::RestoreWithTypedPassword(const QString& typed) {
  RunHandler([&] { protector_.RestoreWithTypedPassword(typed.toStdString()); });
}

void MainWindow::Activated() {
  RunHandler([this] {
    protector_.WindowActivated();
    progressBar_.setValue(0);
  });
}

void MainWindow::AskToQuit() {
  if (MessageService::Ask(QuitQuestionBox())) RequestQuit();
}

void MainWindow::FolderSelected(const std::filesystem::path& folder) {
  RunHandler([&] {
    try {
      protector_.ChooseFolder(folder);
    } catch (...) {
      // The folder is gone or closed to us: the tree goes back to the folder that is chosen.
      folderTree_.ShowFolder(protector_.CurrentFolder());
      throw;
    }
  });
}

void MainWindow::ShowStatus(std::string_view text) { statusLine_.setText(QtText(text)); }

void MainWindow::ShowFolder(const std::filesystem::path& folder) {
  folderLabel_.setText(QString::fromLocal8Bit(folder.native()));
}

void MainWindow::ShowStatistic(Statistic figure, std::string_view text) {
  QLabel& label = *statistics_[static_cast<std::size_t>(figure)];
  label.setText(QtText(text));
  FitWidth(label);
}

void MainWindow::ShowProgress(int position) { progressBar_.setValue(position); }

void MainWindow::EnableAction(Action action, bool enabled) {
  (action == Action::Protect ? protectEnabled_ : restoreEnabled_) = enabled;
  ApplyEnabledStates();
}

void MainWindow::ApplyEnabledStates() {
  protectButton_.setEnabled(protectEnabled_ && !busy_);
  restoreButton_.setEnabled(restoreEnabled_ && !busy_);
  folderTree_.setEnabled(!busy_);
  driveList_.setEnabled(!busy_);
}

void MainWindow::ShowWaitWindow() { waitWindow_->ShowModeless(); }

void MainWindow::HideWaitWindow() { waitWindow_->hide(); }

void MainWindow::ShowMessage(const MessageBox& box) { MessageService::Show(box); }

void MainWindow::PumpMessages() { QCoreApplication::processEvents(); }

void MainWindow::SetBusy(bool busy) {
  busy_ = busy;
  ApplyEnabledStates();
}

void MainWindow::ShowDrive(const std::filesystem::path& drive) {
  driveList_.ShowDrive(drive);
  folderTree_.ShowDrive(drive);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  event->ignore();
  RunHandler([this] { AskToQuit(); });
}

bool MainWindow::IsDragArea(QPoint at) const { return IsInTitleStrip(at.x(), at.y(), width()); }

}  // namespace kestravuna::app
