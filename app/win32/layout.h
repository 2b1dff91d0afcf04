// The designed window set is laid out in pixels at 96 dots per inch. The program declares
// itself DPI-aware, so at a higher setting it scales every designed pixel, font and picture by
// dpi/96 itself instead of letting the system stretch its windows as bitmaps.
#pragma once

#include "app/window_design.h"

namespace kestravuna::app::win32 {

inline constexpr int kDesignDpi = 96;

// A designed length at `dpi`, rounded to the nearest pixel.
int Scaled(int designed, int dpi);
// A designed place at `dpi`: both corners are scaled, so neighbouring controls stay neighbours.
Rect Scaled(const Rect& designed, int dpi);
// The screen's dots per inch (the system setting, LogPixels).
int ScreenDpi();

// Whether a press at client pixel (x, y) of the main window, `clientWidth` pixels wide at
// `dpi`, lies in the title strip that drags the window (the designed rule, in designed pixels).
bool IsTitleStripHit(int x, int y, int clientWidth, int dpi);

}  // namespace kestravuna::app::win32
