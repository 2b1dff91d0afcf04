// The program's windows, each made once in the designed order and kept until the end.
#pragma once

#include "app/win32/main_window.h"
#include "app/win32/small_windows.h"

namespace kestravuna::app::win32 {

class WindowSet {
 public:
  // Makes the windows in order, all hidden: the main window first (which chooses the working
  // directory as its folder), then the splash window, the about box, the wait window and the
  // two password dialogs.
  WindowSet();

  // Start-up as the user sees it: the splash window for up to a second, then the main window
  // centred on the screen. The first activation hides the splash window.
  void Start();

 private:
  bool IsSecondary(HWND window) const;

  MainWindow main_;
  SplashWindow splash_;
  AboutWindow about_;
  WaitWindow wait_;
  SetPasswordDialog setPassword_;
  EnterPasswordDialog enterPassword_;
};

}  // namespace kestravuna::app::win32
