#include "app/win32/layout.h"

#include "app/win32/windows_api.h"

namespace kestravuna::app::win32 {

namespace {

// The designed pixel that holds the scaled pixel `scaled`.
int Unscaled(int scaled, int dpi) { return scaled * kDesignDpi / dpi; }

}  // namespace

int Scaled(int designed, int dpi) { return MulDiv(designed, dpi, kDesignDpi); }

Rect Scaled(const Rect& designed, int dpi) {
  const int left = Scaled(designed.left, dpi);
  const int top = Scaled(designed.top, dpi);
  return {left, top, Scaled(designed.left + designed.width, dpi) - left,
          Scaled(designed.top + designed.height, dpi) - top};
}

int ScreenDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : kDesignDpi;
}

bool IsTitleStripHit(int x, int y, int clientWidth, int dpi) {
  if (x < 0 || y < 0) return false;
  return IsInTitleStrip(Unscaled(x, dpi), Unscaled(y, dpi), Unscaled(clientWidth - 1, dpi) + 1);
}

}  // namespace kestravuna::app::win32
