#include "app/win32/pictures.h"

#include <array>
#include <cstddef>

#include "app/win32/resource_ids.h"

namespace kestravuna::app::win32 {

namespace {

int ResourceOf(Picture picture) {
  switch (picture) {
    case Picture::Logo:
      return IDB_LOGO;
    case Picture::Title:
      return IDB_TITLE;
    case Picture::Protect:
      return IDB_PROTECT;
    case Picture::Restore:
      return IDB_RESTORE;
    case Picture::Information:
      return IDB_INFORMATION;
    case Picture::Quit:
      return IDB_QUIT;
    case Picture::Cancel:
      return IDB_CANCEL;
    case Picture::Close:
      return IDB_CLOSE;
    case Picture::Ok:
      return IDB_OK;
    case Picture::None:
      break;
  }
  return 0;
}

// Loaded once, on first use, and kept until the program ends.
HBITMAP BitmapOf(Picture picture) {
  static std::array<HBITMAP, static_cast<std::size_t>(Picture::Ok) + 1> loaded{};
  HBITMAP& bitmap = loaded[static_cast<std::size_t>(picture)];
  if (bitmap == nullptr && picture != Picture::None) {
    // As a DIB section the alpha channel stays as stored.
    bitmap = static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr),
                                             MAKEINTRESOURCEW(ResourceOf(picture)), IMAGE_BITMAP, 0,
                                             0, LR_CREATEDIBSECTION));
  }
  return bitmap;
}

}  // namespace

SIZE PictureSize(Picture picture) {
  BITMAP bitmap{};
  if (HBITMAP loaded = BitmapOf(picture)) GetObjectW(loaded, sizeof bitmap, &bitmap);
  return {bitmap.bmWidth, bitmap.bmHeight};
}

void DrawPicture(HDC dc, Picture picture, const RECT& source, const RECT& target) {
  HBITMAP bitmap = BitmapOf(picture);
  if (bitmap == nullptr) return;
  HDC pictureDc = CreateCompatibleDC(dc);
  HGDIOBJ previous = SelectObject(pictureDc, bitmap);
  const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  SetStretchBltMode(dc, HALFTONE);
  AlphaBlend(dc, target.left, target.top, target.right - target.left, target.bottom - target.top,
             pictureDc, source.left, source.top, source.right - source.left,
             source.bottom - source.top, blend);
  SelectObject(pictureDc, previous);
  DeleteDC(pictureDc);
}

void DrawGlyph(HDC dc, Picture picture, bool disabled, const RECT& target) {
  const int left = disabled ? kGlyphSize : 0;
  DrawPicture(dc, picture, RECT{left, 0, left + kGlyphSize, kGlyphSize}, target);
}

HICON ProgramIcon(bool small) {
  const int size = GetSystemMetrics(small ? SM_CXSMICON : SM_CXICON);
  return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_KESTRAVUNA),
                                       IMAGE_ICON, size, size, LR_SHARED));
}

}  // namespace kestravuna::app::win32
