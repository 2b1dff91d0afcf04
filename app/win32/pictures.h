// The program's pictures from its resources: 32-bit bitmaps with premultiplied alpha, drawn
// with AlphaBlend at any size. A button picture holds its normal and its disabled image side
// by side.
#pragma once

#include "app/win32/windows_api.h"

#include "app/window_design.h"

namespace kestravuna::app::win32 {

// The designed size of a button picture (one of its two images).
inline constexpr int kGlyphSize = 16;

// The picture's size in its own pixels.
SIZE PictureSize(Picture picture);
// Draws the part `source` (picture pixels) of `picture` into `target` (device pixels).
void DrawPicture(HDC dc, Picture picture, const RECT& source, const RECT& target);
// Draws a button picture's normal or disabled image into `target`.
void DrawGlyph(HDC dc, Picture picture, bool disabled, const RECT& target);
// The program's icon at the system's large or small size.
HICON ProgramIcon(bool small);

}  // namespace kestravuna::app::win32
