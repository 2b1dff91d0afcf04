#include "app/qt/small_windows.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QThread>
#include <QTime>

#include "app/qt/designed_widgets.h"
#include "app/qt/main_window.h"
#include "protect/user_settings.h"

namespace kestravuna::app {

namespace {

constexpr unsigned long kSplashPumpPauseMs = 10;

}  // namespace

SplashWindow::SplashWindow() : DesignedWindow(kSplashWindow) {}

void SplashWindow::ShowAndWait() {
  show();
  const QString started = QTime::currentTime().toString("hh:mm:ss");
  while (QTime::currentTime().toString("hh:mm:ss") == started) {
    QCoreApplication::processEvents();
    QThread::msleep(kSplashPumpPauseMs);
  }
}

AboutBox::AboutBox(QWidget& owner) : DesignedWindow(kAboutBox, &owner) {
  ControlOf<TLink>(*this, "Link1").SetLinkTo(QString::fromUtf8(kHomepageAddress));
  ControlOf<TLink>(*this, "Link2").SetLinkTo(QString::fromUtf8(kMailAddress));
  connect(&ControlOf<QAbstractButton>(*this, "SpeedButton1"), &QAbstractButton::clicked, this,
          &QWidget::close);
}

void AboutBox::ShowModeless() {
  if (!isVisible()) CentreOnScreen();
  ShowInFront();
}

void AboutBox::keyPressEvent(QKeyEvent* event) {
  if (event->key() != Qt::Key_Escape) return DesignedWindow::keyPressEvent(event);
  close();
}

WaitWindow::WaitWindow(QWidget& owner) : DesignedWindow(kWaitWindow, &owner) {}

void WaitWindow::ShowModeless() {
  if (!placed_) CentreOnScreen();
  placed_ = true;
  ShowNormal();
}

PasswordDialog::PasswordDialog(const WindowDesign& design, const char* fieldName, MainWindow& form)
    : DesignedWindow(design, &form), form_(form), field_(ControlOf<QLineEdit>(*this, fieldName)) {
  connect(&ControlOf<QAbstractButton>(*this, "BitBtn1"), &QAbstractButton::clicked, this,
          [this] { Confirm(); });
}

void PasswordDialog::ShowModeless() {
  ShowInFront();
  field_.setFocus();
}

void PasswordDialog::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Escape:
      return hide();
    // The field and the check box leave Enter to the window; the focused OK button takes it
    // itself.
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return ControlOf<QAbstractButton>(*this, "BitBtn1").click();
    default:
      return DesignedWindow::keyPressEvent(event);
  }
}

SetPasswordDialog::SetPasswordDialog(MainWindow& form)
    : PasswordDialog(kSetPasswordDialog, "Pw", form),
      encrypt_(ControlOf<QAbstractButton>(*this, "Verschluesseln")) {
  field_.clear();
  encrypt_.setChecked(RememberedEncryption());
}

void SetPasswordDialog::Confirm() {
  const bool encrypt = encrypt_.isChecked();
  RememberEncryption(encrypt);
  hide();
  form_.ProtectWithTypedPassword(field_.text(), encrypt);
}

EnterPasswordDialog::EnterPasswordDialog(MainWindow& form)
    : PasswordDialog(kEnterPasswordDialog, "pw", form) {}

void EnterPasswordDialog::Confirm() {
  hide();
  form_.RestoreWithTypedPassword(field_.text());
}

}  // namespace kestravuna::app
