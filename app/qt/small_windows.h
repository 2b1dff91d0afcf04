// The windows the main window shows and hides: the splash window, the about box, the wait
// window and the two password dialogs. Each exists once; none is ever shown modally. All but
// the splash window (shown before the main window) belong to the main window and stay above it.
#pragma once

#include "app/qt/designed_widgets.h"

class QAbstractButton;
class QLineEdit;

namespace kestravuna::app {

class MainWindow;

// Shown during start-up, on top of everything, without frame or text.
class SplashWindow : public DesignedWindow {
 public:
  SplashWindow();
  // Shows the window and returns at the next tick of the clock's seconds (at most one second),
  // letting the windows work meanwhile.
  void ShowAndWait();
};

class AboutBox : public DesignedWindow {
 public:
  explicit AboutBox(QWidget& owner);
  // Shows the box, or brings it to the front when it is open already.
  void ShowModeless();

 protected:
  // Escape closes the box, as its close box does.
  void keyPressEvent(QKeyEvent* event) override;
};

// "Ihre Daten werden verarbeitet..." while a run works.
class WaitWindow : public DesignedWindow {
 public:
  explicit WaitWindow(QWidget& owner);
  // Centred on the screen at the first showing; later showings keep that place.
  void ShowModeless();

 private:
  bool placed_ = false;
};

// What the two password dialogs share: the field, the OK button that Enter presses, and the
// form whose run OK starts.
class PasswordDialog : public DesignedWindow {
 public:
  // Shows the dialog (or brings it to the front) with the focus in the field.
  void ShowModeless();
  // OK: what the dialog does with the password.
  virtual void Confirm() = 0;

 protected:
  PasswordDialog(const WindowDesign& design, const char* fieldName, MainWindow& form);
  // Escape hides the dialog without a run; the field keeps its text. Enter presses OK wherever
  // the focus is, as in a dialog of the system.
  void keyPressEvent(QKeyEvent* event) override;

  MainWindow& form_;
  QLineEdit& field_;
};

// The set-password dialog before a protect, with the check box that asks for the contents to be
// encrypted: it starts as it was at the last OK (of this or an earlier start of the program).
class SetPasswordDialog : public PasswordDialog {
 public:
  explicit SetPasswordDialog(MainWindow& form);
  void Confirm() override;

 private:
  QAbstractButton& encrypt_;
};

// The enter-password dialog before a restore.
class EnterPasswordDialog : public PasswordDialog {
 public:
  explicit EnterPasswordDialog(MainWindow& form);
  void Confirm() override;
};

}  // namespace kestravuna::app
