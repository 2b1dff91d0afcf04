#include "app/qt/window_set.h"

#include <QEvent>
#include <QGuiApplication>
#include <algorithm>

namespace kestravuna::app {

WindowSet::WindowSet()
    : aboutBox(mainWindow),
      waitWindow(mainWindow),
      setPassword(mainWindow),
      enterPassword(mainWindow) {
  mainWindow.Attach(aboutBox, waitWindow, setPassword, enterPassword);
  for (QWidget* window : HiddenByTheirOwners()) window->installEventFilter(this);
  connect(qGuiApp, &QGuiApplication::focusWindowChanged, this,
          [this](QWindow* now) { FocusMoved(now); });
}

void WindowSet::Start() {
  splash.ShowAndWait();
  mainWindow.CentreOnScreen();
  mainWindow.ShowInFront();
}

bool WindowSet::eventFilter(QObject* watched, QEvent* event) {
  // Hiding a dialog, the about box or the wait window gives the focus back to the main window,
  // whose activation handling runs at once, before the code that hid the window goes on (a
  // password dialog's OK rescans before its run starts). The splash window is not watched: that
  // handling hides it itself.
  if (event->type() == QEvent::Hide && mainWindow.isVisible()) {
    mainWindow.activateWindow();
    lastFocus_ = mainWindow.windowHandle();  // the focus change that follows is this one
    mainWindow.Activated();
  }
  return QObject::eventFilter(watched, event);
}

std::array<QWidget*, 4> WindowSet::HiddenByTheirOwners() {
  return {&aboutBox, &waitWindow, &setPassword, &enterPassword};
}

bool WindowSet::IsSecondaryWindow(const QWindow* window) {
  if (window == nullptr) return false;
  if (splash.windowHandle() == window) return true;
  return std::ranges::any_of(HiddenByTheirOwners(), [window](QWidget* widget) {
    return widget->windowHandle() == window;
  });
}

// The main window's activation handling runs when the focus comes to it from another window
// of the set (directly, or through a moment in which no window had it), and the first time
// it gets the focus at all; not when it comes back from another program or a message box.
void WindowSet::FocusMoved(QWindow* now) {
  if (now == nullptr) return;
  const bool fromSecondary = IsSecondaryWindow(lastFocus_);
  lastFocus_ = now;
  if (now != mainWindow.windowHandle() || (activatedOnce_ && !fromSecondary)) return;
  activatedOnce_ = true;
  mainWindow.Activated();
  splash.hide();
}

}  // namespace kestravuna::app
