#include "app/qt/main_window.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QWindow>

#include "app/qt/folder_tree.h"
#include "app/qt/message_service.h"
#include "app/qt/small_windows.h"
#include "platform/file_system.h"

namespace kestravuna::app {

TForm1::TForm1()
    : DesignedWindow(kMainWindow),
      aktiv_(ControlOf<QLabel>(*this, "aktiv")),
      aktOrdner_(ControlOf<QLabel>(*this, "aktOrdner")),
      count_(ControlOf<QProgressBar>(*this, "Count")),
      code_(ControlOf<QAbstractButton>(*this, "code")),
      decode_(ControlOf<QAbstractButton>(*this, "decode")),
      folders_(ControlOf<FolderTree>(*this, "Folders")),
      drives_(ControlOf<DriveList>(*this, "Drives")),
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
  onClick("SpeedButton3", [this] { SpeedButton3Click(); });
  onClick("BitBtn1", [this] { ControlOf<QAbstractButton>(*this, "SpeedButton3").click(); });
  onClick("SpeedButton6", [this] { protector_.CancelScan(); });
  folders_.OnFolderSelected([this](const std::filesystem::path& folder) { FoldersChange(folder); });
  drives_.OnDriveChosen([this](const std::filesystem::path& drive) {
    RunHandler([&] { protector_.ChooseDrive(drive); });
  });

  // The tree presents the working directory on its drive, which chooses that folder.
  const std::filesystem::path start = protector_.CurrentFolder();
  drives_.ShowDrive(protector_.lastDrive());
  folders_.ShowDrive(protector_.lastDrive());
  folders_.ShowFolder(start);
  RunHandler([&] { protector_.ChooseFolder(start); });
}

void TForm1::Attach(TAboutBox& aboutBox, TWait& wait, TPasswort& setPassword,
                    TPasswort2& enterPassword) {
  aboutBox_ = &aboutBox;
  wait_ = &wait;
  setPassword_ = &setPassword;
  enterPassword_ = &enterPassword;
}

void TForm1::EncodeFolder(const QString& password) {
  RunHandler([&] { protector_.EncodeFolder(password.toStdString()); });
}

void TForm1::DecodeFolder(const QString& password) {
  RunHandler([&] { protector_.DecodeFolder(password.toStdString()); });
}

void TForm1::FormActivate() {
  RunHandler([this] {
    protector_.WindowActivated();
    count_.setValue(0);
  });
}

void TForm1::SpeedButton3Click() {
  if (MessageService::Ask(QuitQuestionBox())) RequestQuit();
}

void TForm1::FoldersChange(const std::filesystem::path& folder) {
  RunHandler([&] {
    try {
      platform::SetWorkingDirectory(folder);
    } catch (...) {
      // The folder is gone or closed to us: the tree goes back to the folder that is chosen.
      folders_.ShowFolder(protector_.CurrentFolder());
      throw;
    }
    protector_.ChooseFolder(folder);
  });
}

void TForm1::ShowStatus(std::string_view text) { aktiv_.setText(QtText(text)); }

void TForm1::ShowFolder(const std::filesystem::path& folder) {
  aktOrdner_.setText(QString::fromLocal8Bit(folder.native()));
}

void TForm1::ShowStatistic(Statistic figure, std::string_view text) {
  QLabel& label = *statistics_[static_cast<std::size_t>(figure)];
  label.setText(QtText(text));
  FitWidth(label);
}

void TForm1::ShowProgress(int position) { count_.setValue(position); }

void TForm1::EnableAction(Action action, bool enabled) {
  (action == Action::Protect ? protectEnabled_ : restoreEnabled_) = enabled;
  ApplyEnabledStates();
}

void TForm1::ApplyEnabledStates() {
  code_.setEnabled(protectEnabled_ && !busy_);
  decode_.setEnabled(restoreEnabled_ && !busy_);
  folders_.setEnabled(!busy_);
  drives_.setEnabled(!busy_);
}

void TForm1::ShowWaitWindow() { wait_->ShowModeless(); }

void TForm1::HideWaitWindow() { wait_->hide(); }

void TForm1::ShowMessage(const MessageBox& box) { MessageService::Show(box); }

void TForm1::PumpMessages() { QCoreApplication::processEvents(); }

void TForm1::SetBusy(bool busy) {
  busy_ = busy;
  ApplyEnabledStates();
}

void TForm1::ShowDrive(const std::filesystem::path& drive) {
  drives_.ShowDrive(drive);
  folders_.ShowDrive(drive);
}

void TForm1::closeEvent(QCloseEvent* event) {
  event->ignore();
  RunHandler([this] { SpeedButton3Click(); });
}

void TForm1::mousePressEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (event->button() != Qt::LeftButton || !IsInTitleStrip(at.x(), at.y(), width())) {
    return DesignedWindow::mousePressEvent(event);
  }
  // The window manager moves the window where it can; otherwise the window follows by hand.
  const bool systemMove = windowHandle() != nullptr && windowHandle()->startSystemMove();
  if (!systemMove) {
    dragging_ = true;
    dragOffset_ = event->globalPosition().toPoint() - pos();
  }
  event->accept();
}

void TForm1::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_) return DesignedWindow::mouseMoveEvent(event);
  move(event->globalPosition().toPoint() - dragOffset_);
}

void TForm1::mouseReleaseEvent(QMouseEvent* event) {
  dragging_ = false;
  DesignedWindow::mouseReleaseEvent(event);
}

}  // namespace kestravuna::app
