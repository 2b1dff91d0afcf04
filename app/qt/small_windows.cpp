#include "app/qt/small_windows.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QLineEdit>
#include <QThread>
#include <QTime>

#include "app/qt/designed_widgets.h"
#include "app/qt/main_window.h"
#include "app/qt/message_service.h"
#include "protect/folder_protector.h"

namespace kestravuna::app {

namespace {

constexpr unsigned long kSplashPumpPauseMs = 10;

// The password as the dialogs pass it on: an empty field stands for the fixed text.
QString PasswordOf(const QLineEdit& field) {
  return field.text().isEmpty()
             ? QString::fromUtf8(kEmptyPasswordSubstitute.data(), kEmptyPasswordSubstitute.size())
             : field.text();
}

}  // namespace

Tsplash::Tsplash() : DesignedWindow(kSplashWindow) {}

void Tsplash::ShowAndWait() {
  show();
  const QString started = QTime::currentTime().toString("hh:mm:ss");
  while (QTime::currentTime().toString("hh:mm:ss") == started) {
    QCoreApplication::processEvents();
    QThread::msleep(kSplashPumpPauseMs);
  }
}

TAboutBox::TAboutBox() : DesignedWindow(kAboutBox) {
  ControlOf<TLink>(*this, "Link1").SetLinkTo(QString::fromUtf8(kHomepageAddress));
  ControlOf<TLink>(*this, "Link2").SetLinkTo(QString::fromUtf8(kMailAddress));
  connect(&ControlOf<QAbstractButton>(*this, "SpeedButton1"), &QAbstractButton::clicked, this,
          &QWidget::close);
}

void TAboutBox::ShowModeless() {
  if (!isVisible()) CentreOnScreen();
  ShowInFront();
}

TWait::TWait() : DesignedWindow(kWaitWindow) {}

void TWait::ShowModeless() {
  if (!placed_) CentreOnScreen();
  placed_ = true;
  show();
  raise();
}

PasswordDialog::PasswordDialog(const WindowDesign& design, const char* fieldName, TForm1& form)
    : DesignedWindow(design), form_(form), field_(ControlOf<QLineEdit>(*this, fieldName)) {
  auto& ok = ControlOf<QAbstractButton>(*this, "BitBtn1");
  connect(&ok, &QAbstractButton::clicked, this, [this] { BitBtn1Click(); });
  connect(&field_, &QLineEdit::returnPressed, &ok, &QAbstractButton::click);
}

void PasswordDialog::ShowModeless() {
  ShowInFront();
  field_.setFocus();
}

TPasswort::TPasswort(TForm1& form) : PasswordDialog(kSetPasswordDialog, "Pw", form) {
  field_.clear();
}

void TPasswort::BitBtn1Click() {
  if (field_.text().isEmpty()) MessageService::Show(EmptyPasswordBox());
  const QString password = PasswordOf(field_);
  hide();
  form_.EncodeFolder(password);
}

TPasswort2::TPasswort2(TForm1& form) : PasswordDialog(kEnterPasswordDialog, "pw", form) {}

void TPasswort2::BitBtn1Click() {
  hide();
  form_.DecodeFolder(PasswordOf(field_));
}

}  // namespace kestravuna::app
