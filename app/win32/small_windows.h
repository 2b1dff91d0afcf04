// The windows the main window shows and hides: the splash window, the about box, the wait
// window and the two password dialogs. Each exists once; none is ever shown modally.
#pragma once

#include "app/win32/designed_window.h"

namespace kestravuna::app::win32 {

class MainWindow;

// Shown during start-up, on top of everything, without frame or text.
class SplashWindow : public DesignedWindow {
 public:
  SplashWindow();
  // Shows the window and returns at the next tick of the clock's seconds (at most one second),
  // letting the windows work meanwhile.
  void ShowAndWait();
};

class AboutWindow : public DesignedWindow {
 public:
  explicit AboutWindow(HWND owner);
  // Shows the box, or brings it to the front when it is open already.
  void ShowModeless();

 protected:
  void OnCommand(std::string_view control, int notification) override;
  void OnCancel() override { Hide(); }
};

// "Ihre Daten werden verarbeitet..." while a run works.
class WaitWindow : public DesignedWindow {
 public:
  explicit WaitWindow(HWND owner);
  // Centred on the screen at the first showing; later showings keep that place.
  void ShowModeless();

 private:
  bool placed_ = false;
};

// What the two password dialogs share: the field, the OK button that Enter presses, and the
// main window whose run OK starts.
class PasswordDialog : public DesignedWindow {
 public:
  // Shows the dialog (or brings it to the front) with the focus in the field.
  void ShowModeless();

 protected:
  PasswordDialog(const WindowDesign& design, const char* fieldName, MainWindow& main);
  void OnCommand(std::string_view control, int notification) override;
  // OK: what the dialog does with the typed password.
  virtual void Confirm() = 0;
  std::string TypedPassword() const;

  MainWindow& main_;

 private:
  const char* fieldName_;
};

// The set-password dialog before a protect, with the check box that asks for the contents to be
// encrypted: it starts as it was at the last OK (of this or an earlier start of the program).
class SetPasswordDialog : public PasswordDialog {
 public:
  explicit SetPasswordDialog(MainWindow& main);

 protected:
  void Confirm() override;
};

// The enter-password dialog before a restore.
class EnterPasswordDialog : public PasswordDialog {
 public:
  explicit EnterPasswordDialog(MainWindow& main);

 protected:
  void Confirm() override;
};

}  // namespace kestravuna::app::win32
