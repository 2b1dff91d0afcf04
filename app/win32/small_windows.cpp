#include "app/win32/small_windows.h"

#include "app/win32/main_window.h"
#include "app/win32/message_boxes.h"
#include "app/win32/text.h"
#include "protect/user_settings.h"

namespace kestravuna::app::win32 {

namespace {

constexpr DWORD kSplashPumpPauseMs = 10;
constexpr std::string_view kEncryptBox = "Verschluesseln";

WORD CurrentSecond() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return now.wSecond;
}

}  // namespace

SplashWindow::SplashWindow() : DesignedWindow(kSplashWindow) {}

void SplashWindow::ShowAndWait() {
  ShowInFront();
  UpdateWindow(Handle());
  const WORD started = CurrentSecond();
  while (CurrentSecond() == started) {
    PumpPendingMessages();
    Sleep(kSplashPumpPauseMs);
  }
}

AboutWindow::AboutWindow(HWND owner) : DesignedWindow(kAboutBox, owner) {
  SetLinkTo("Link1", kHomepageAddress);
  SetLinkTo("Link2", kMailAddress);
}

void AboutWindow::ShowModeless() {
  if (!IsVisible()) CentreOnScreen();
  ShowInFront();
}

void AboutWindow::OnCommand(std::string_view control, int notification) {
  if (control == "SpeedButton1" && notification == BN_CLICKED) Hide();
}

WaitWindow::WaitWindow(HWND owner) : DesignedWindow(kWaitWindow, owner) {}

void WaitWindow::ShowModeless() {
  if (!placed_) CentreOnScreen();
  placed_ = true;
  ShowWithoutFocus();
  UpdateWindow(Handle());
}

PasswordDialog::PasswordDialog(const WindowDesign& design, const char* fieldName, MainWindow& main)
    : DesignedWindow(design, main.Handle()), main_(main), fieldName_(fieldName) {}

void PasswordDialog::ShowModeless() {
  ShowInFront();
  SetFocus(ControlWindow(fieldName_));
}

void PasswordDialog::OnCommand(std::string_view control, int notification) {
  if (control == "BitBtn1" && notification == BN_CLICKED) Confirm();
}

std::string PasswordDialog::TypedPassword() const { return Utf8(Text(fieldName_)); }

// The field starts empty and keeps what was typed while the dialog is hidden.
SetPasswordDialog::SetPasswordDialog(MainWindow& main)
    : PasswordDialog(kSetPasswordDialog, "Pw", main) {
  SetChecked(kEncryptBox, RememberedEncryption());
}

void SetPasswordDialog::Confirm() {
  const std::string typed = TypedPassword();
  const bool encrypt = IsChecked(kEncryptBox);
  RememberEncryption(encrypt);
  Hide();
  main_.Protect(typed, encrypt);
}

EnterPasswordDialog::EnterPasswordDialog(MainWindow& main)
    : PasswordDialog(kEnterPasswordDialog, "pw", main) {}

void EnterPasswordDialog::Confirm() {
  Hide();
  main_.Restore(TypedPassword());
}

}  // namespace kestravuna::app::win32
