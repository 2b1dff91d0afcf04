// The program's windows, each created once in the designed order and kept until the end, and
// the rule that runs the main window's activation handling.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWindow>
#include <array>

#include "app/qt/main_window.h"
#include "app/qt/small_windows.h"

namespace kestravuna::app {

class WindowSet : public QObject {
 public:
  // Creates the windows in order, all hidden: the main window first (which chooses the
  // working directory as its folder), then the splash window, the about box, the wait window
  // and the two password dialogs.
  WindowSet();

  // Start-up as the user sees it: the splash window for up to a second, then the main window
  // centred on the screen. The first activation hides the splash window.
  void Start();

  MainWindow mainWindow;
  SplashWindow splash;
  AboutBox aboutBox;
  WaitWindow waitWindow;
  SetPasswordDialog setPassword;
  EnterPasswordDialog enterPassword;

 protected:
  // A secondary window that is hidden gives the focus back to the main window.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FocusMoved(QWindow* now);
  // The windows other than the splash window, which their owners show and hide.
  std::array<QWidget*, 4> HiddenByTheirOwners();
  bool IsSecondaryWindow(const QWindow* window);

  QPointer<QWindow> lastFocus_;
  bool activatedOnce_ = false;
};

}  // namespace kestravuna::app
