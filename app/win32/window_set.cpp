#include "app/win32/window_set.h"

namespace kestravuna::app::win32 {

WindowSet::WindowSet()
    : about_(main_.Handle()), wait_(main_.Handle()), setPassword_(main_), enterPassword_(main_) {
  main_.Attach(
      about_, wait_, setPassword_, enterPassword_,
      [this](HWND window) { return IsSecondary(window); }, [this] { splash_.Hide(); });
}

void WindowSet::Start() {
  splash_.ShowAndWait();
  main_.CentreOnScreen();
  main_.ShowInFront();
}

bool WindowSet::IsSecondary(HWND window) const {
  if (window == nullptr) return false;
  for (const DesignedWindow* secondary : std::initializer_list<const DesignedWindow*>{
           &splash_, &about_, &wait_, &setPassword_, &enterPassword_}) {
    if (secondary->Handle() == window) return true;
  }
  return false;
}

}  // namespace kestravuna::app::win32
