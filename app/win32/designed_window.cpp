#include "app/win32/designed_window.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <unordered_set>

#include "app/win32/layout.h"
#include "app/win32/pictures.h"
#include "app/win32/text.h"

namespace kestravuna::app::win32 {

namespace {

constexpr wchar_t kWindowClass[] = L"KestravunaWindow";
constexpr wchar_t kPanelClass[] = L"KestravunaPanel";
constexpr int kFirstControlId = 100;
constexpr int kDesignedFontHeight = 11;  // "MS Sans Serif" 8 points at 96 dots per inch
constexpr int kFolderTreeFontHeight = 12;
constexpr int kFolderPathFontHeight = 9;
constexpr int kGlyphSpacing = 4;           // between a button's picture and its caption
constexpr int kDriveListDropHeight = 160;  // the open list below the drive field
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kLinkBlue = RGB(0, 0, 255);

std::unordered_set<HWND>& DesignedWindows() {
  static std::unordered_set<HWND> windows;
  return windows;
}

// The designed fonts at the screen's dots per inch, made once and kept until the program ends.
struct Fonts {
  HFONT normal, bold, underlined, closeSymbol, folderPath, folderTree;
};

HFONT MakeFont(const wchar_t* face, int designedHeight, int dpi, int weight = FW_NORMAL,
               bool underline = false, BYTE charset = DEFAULT_CHARSET) {
  const auto make = [&](const wchar_t* name) {
    return CreateFontW(-Scaled(designedHeight, dpi), 0, 0, 0, weight, FALSE, underline, FALSE,
                       charset, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, name);
  };
  HFONT font = make(face);
  if (weight < FW_BOLD || charset == SYMBOL_CHARSET) return font;
  // The raster face has its bold cut only at the designed size; at other sizes the system
  // gives a regular one, and the bold texts take the nearest outline face's bold instead.
  HDC screen = GetDC(nullptr);
  HGDIOBJ previous = SelectObject(screen, font);
  TEXTMETRICW metrics{};
  GetTextMetricsW(screen, &metrics);
  SelectObject(screen, previous);
  ReleaseDC(nullptr, screen);
  if (metrics.tmWeight >= FW_BOLD) return font;
  DeleteObject(font);
  return make(L"Tahoma");
}

const Fonts& FontsAt(int dpi) {
  static const Fonts fonts{
      MakeFont(L"MS Sans Serif", kDesignedFontHeight, dpi),
      MakeFont(L"MS Sans Serif", kDesignedFontHeight, dpi, FW_BOLD),
      MakeFont(L"MS Sans Serif", kDesignedFontHeight, dpi, FW_NORMAL, true),
      // "r" in the symbol font is the close symbol.
      MakeFont(L"Marlett", kDesignedFontHeight, dpi, FW_BOLD, false, SYMBOL_CHARSET),
      MakeFont(L"MS Serif", kFolderPathFontHeight, dpi),
      MakeFont(L"MS Sans Serif", kFolderTreeFontHeight, dpi),
  };
  return fonts;
}

HFONT FontOf(const ControlDesign& control, int dpi) {
  const Fonts& fonts = FontsAt(dpi);
  if (control.look & kCloseSymbol) return fonts.closeSymbol;
  if (control.look & kSmallSerif) return fonts.folderPath;
  if (control.look & kBold) return fonts.bold;
  if (control.kind == ControlKind::Link) return fonts.underlined;
  if (control.kind == ControlKind::FolderTree) return fonts.folderTree;
  return fonts.normal;
}

void RegisterClasses() {
  static bool registered = false;
  if (registered) return;
  registered = true;
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = nullptr;  // every window and panel paints its whole area
  windowClass.lpszClassName = kWindowClass;
  windowClass.hIcon = ProgramIcon(false);
  windowClass.hIconSm = ProgramIcon(true);
  windowClass.lpfnWndProc = DefWindowProcW;  // replaced per window once it is made
  RegisterClassExW(&windowClass);
  windowClass.lpszClassName = kPanelClass;
  windowClass.hIcon = windowClass.hIconSm = nullptr;
  RegisterClassExW(&windowClass);
}

struct FrameStyle {
  DWORD style;
  DWORD extended;
};

FrameStyle StyleOf(const WindowDesign& design, HWND owner) {
  FrameStyle frame{WS_POPUP | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT};
  switch (design.frame) {
    case Frame::None:
      // The program's own window has a task-bar entry.
      if (owner == nullptr && !design.staysOnTop) {
        frame.extended |= WS_EX_APPWINDOW;
      } else {
        frame.extended |= WS_EX_TOOLWINDOW;
      }
      break;
    case Frame::ToolWindow:
      frame.style |= WS_CAPTION;
      frame.extended |= WS_EX_TOOLWINDOW;
      break;
    case Frame::Dialog:
      frame.style |= WS_CAPTION | WS_SYSMENU;
      frame.extended |= WS_EX_DLGMODALFRAME;
      break;
  }
  if (design.staysOnTop) frame.extended |= WS_EX_TOPMOST;
  return frame;
}

bool IsDrawn(ControlKind kind) {
  return kind == ControlKind::Label || kind == ControlKind::Bevel || kind == ControlKind::Picture ||
         kind == ControlKind::Link;
}

RECT ToRect(const Rect& place) {
  return {place.left, place.top, place.left + place.width, place.top + place.height};
}

// Text in the 3D look of a disabled caption: a light copy one pixel down and right, the
// shadow on top.
void DrawDisabledText(HDC dc, const std::wstring& text, RECT place, UINT format) {
  SetTextColor(dc, GetSysColor(COLOR_BTNHIGHLIGHT));
  OffsetRect(&place, 1, 1);
  DrawTextW(dc, text.c_str(), -1, &place, format);
  OffsetRect(&place, -1, -1);
  SetTextColor(dc, GetSysColor(COLOR_BTNSHADOW));
  DrawTextW(dc, text.c_str(), -1, &place, format);
}

}  // namespace

DesignedWindow::DesignedWindow(const WindowDesign& design, HWND owner) : dpi_(ScreenDpi()) {
  RegisterClasses();
  const FrameStyle frame = StyleOf(design, owner);
  RECT outer{0, 0, Scaled(design.clientWidth, dpi_), Scaled(design.clientHeight, dpi_)};
  AdjustWindowRectEx(&outer, frame.style, FALSE, frame.extended);
  POINT at{0, 0};  // windows without a designed place are centred when they are shown
  if (design.position)
    at = {Scaled(design.position->left, dpi_), Scaled(design.position->top, dpi_)};
  window_ = CreateWindowExW(frame.extended, kWindowClass, Wide(design.caption).c_str(), frame.style,
                            at.x, at.y, outer.right - outer.left, outer.bottom - outer.top, owner,
                            nullptr, GetModuleHandleW(nullptr), nullptr);
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Procedure));
  DesignedWindows().insert(window_);
  controls_.reserve(design.controls.size());
  for (const ControlDesign& control : design.controls) {
    controls_.push_back(Control{&control, nullptr, nullptr, Wide(control.text), false, {}});
    CreateControl(controls_.back());
  }
}

DesignedWindow::~DesignedWindow() {
  DesignedWindows().erase(window_);
  SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DefWindowProcW));
  DestroyWindow(window_);
}

bool DesignedWindow::IsDesignedWindow(HWND window) { return DesignedWindows().contains(window); }

void DesignedWindow::CreateControl(Control& control) {
  const ControlDesign& design = *control.design;
  control.parent = window_;
  if (!design.parent.empty()) control.parent = Find(design.parent)->window;
  if (IsDrawn(design.kind)) return;

  const wchar_t* windowClass = WC_BUTTONW;
  DWORD style = WS_CHILD | WS_VISIBLE;
  DWORD extended = 0;
  std::wstring text = control.text;
  int height = 0;  // the designed one unless set
  switch (design.kind) {
    case ControlKind::Panel:
      windowClass = kPanelClass;
      style |= WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
      extended = WS_EX_CONTROLPARENT;
      break;
    case ControlKind::FlatButton:
      style |= BS_OWNERDRAW;
      break;
    case ControlKind::PushButton:
      style |= BS_OWNERDRAW;
      if (!(design.look & kCloseSymbol)) style |= WS_TABSTOP;
      break;
    case ControlKind::Edit:
    case ControlKind::PasswordEdit:
      windowClass = WC_EDITW;
      style |= WS_TABSTOP | ES_AUTOHSCROLL;
      if (design.kind == ControlKind::PasswordEdit) style |= ES_PASSWORD;
      extended = WS_EX_CLIENTEDGE;
      text.clear();
      break;
    case ControlKind::ProgressBar:
      windowClass = PROGRESS_CLASSW;
      break;
    case ControlKind::CheckBox:
      // The system's own box: Space toggles it, and it draws the focus around its text.
      style |= BS_AUTOCHECKBOX | WS_TABSTOP;
      break;
    case ControlKind::FolderTree:
      windowClass = WC_TREEVIEWW;
      style |= WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS;
      extended = WS_EX_CLIENTEDGE;
      break;
    case ControlKind::DriveList:
      windowClass = WC_COMBOBOXEXW;
      style |= WS_TABSTOP | CBS_DROPDOWNLIST;
      height = Scaled(design.place.height + kDriveListDropHeight, dpi_);
      break;
    case ControlKind::Label:
    case ControlKind::Bevel:
    case ControlKind::Picture:
    case ControlKind::Link:
      return;
  }
  const RECT place = PlaceOf(control);
  const int id = (design.look & kDefaultButton)
                     ? IDOK
                     : kFirstControlId + static_cast<int>(&control - controls_.data());
  control.window = CreateWindowExW(
      extended, windowClass, text.c_str(), style, place.left, place.top, place.right - place.left,
      height > 0 ? height : place.bottom - place.top, control.parent,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
  SendMessageW(control.window, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(design, dpi_)), FALSE);
  switch (design.kind) {
    case ControlKind::Panel:
      SetWindowLongPtrW(control.window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
      SetWindowLongPtrW(control.window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Procedure));
      break;
    case ControlKind::FlatButton:
      SetWindowSubclass(control.window, FlatButtonProcedure, 0,
                        reinterpret_cast<DWORD_PTR>(&control));
      break;
    case ControlKind::PasswordEdit:
      SendMessageW(control.window, EM_SETPASSWORDCHAR, L'*', 0);
      break;
    case ControlKind::ProgressBar:
      SendMessageW(control.window, PBM_SETRANGE32, 0, 100);
      break;
    case ControlKind::FolderTree:
      if (design.look & kButtonFaceBackground) {
        TreeView_SetBkColor(control.window, GetSysColor(COLOR_BTNFACE));
      }
      break;
    default:
      break;
  }
}

HWND DesignedWindow::ControlWindow(std::string_view name) const {
  const Control* control = Find(name);
  return control != nullptr ? control->window : nullptr;
}

void DesignedWindow::SetText(std::string_view name, std::wstring text) {
  Control* control = Find(name);
  if (control == nullptr || control->text == text) return;
  Repaint(*control);  // where the old text was
  control->text = std::move(text);
  Repaint(*control);
}

void DesignedWindow::SetLinkTo(std::string_view name, std::string_view target) {
  if (Control* control = Find(name)) control->linkTo = Wide(target);
}

std::wstring DesignedWindow::Text(std::string_view name) const {
  const Control* control = Find(name);
  if (control == nullptr) return {};
  if (control->window == nullptr) return control->text;
  const int length = GetWindowTextLengthW(control->window);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(control->window, text.data(), length + 1)));
  return text;
}

bool DesignedWindow::IsChecked(std::string_view name) const {
  return SendMessageW(ControlWindow(name), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void DesignedWindow::SetChecked(std::string_view name, bool checked) {
  SendMessageW(ControlWindow(name), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void DesignedWindow::CentreOnScreen() {
  RECT outer;
  GetWindowRect(window_, &outer);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(window_, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& work = monitor.rcWork;
  const int width = outer.right - outer.left;
  const int height = outer.bottom - outer.top;
  SetWindowPos(window_, nullptr, work.left + (work.right - work.left - width) / 2,
               work.top + (work.bottom - work.top - height) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void DesignedWindow::ShowInFront() {
  ShowWindow(window_, SW_SHOW);
  SetForegroundWindow(window_);
  SetActiveWindow(window_);
}

void DesignedWindow::ShowWithoutFocus() {
  SetWindowPos(window_, HWND_TOP, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

void DesignedWindow::Hide() {
  HWND owner = GetWindow(window_, GW_OWNER);
  if (GetActiveWindow() == window_ && owner != nullptr && IsWindowVisible(owner)) {
    SetActiveWindow(owner);
  }
  ShowWindow(window_, SW_HIDE);
}

void DesignedWindow::OnCommand(std::string_view, int) {}

LRESULT DesignedWindow::OnNotify(std::string_view, NMHDR&) { return 0; }

bool DesignedWindow::OnMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

void DesignedWindow::OnClose() { Hide(); }

LRESULT CALLBACK DesignedWindow::Procedure(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
  auto* self = reinterpret_cast<DesignedWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  return self->Handle(window, message, wParam, lParam);
}

LRESULT DesignedWindow::Handle(HWND target, UINT message, WPARAM wParam, LPARAM lParam) {
  if (target == window_) {
    LRESULT result = 0;
    if (OnMessage(message, wParam, lParam, result)) return result;
  }
  switch (message) {
    case WM_ERASEBKGND:
      return 1;  // WM_PAINT draws everything, without flicker
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(target, &paint);
      RECT client;
      GetClientRect(target, &client);
      // Drawn off screen first, so that labels written per counted file do not flicker.
      HDC buffer = CreateCompatibleDC(dc);
      HBITMAP bitmap = CreateCompatibleBitmap(dc, client.right, client.bottom);
      HGDIOBJ previous = SelectObject(buffer, bitmap);
      Paint(target, buffer);
      BitBlt(dc, 0, 0, client.right, client.bottom, buffer, 0, 0, SRCCOPY);
      SelectObject(buffer, previous);
      DeleteObject(bitmap);
      DeleteDC(buffer);
      EndPaint(target, &paint);
      return 0;
    }
    case WM_DRAWITEM: {
      const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (const Control* control = FindByWindow(item.hwndItem)) DrawButton(*control, item);
      return TRUE;
    }
    case WM_COMMAND: {
      if (LOWORD(wParam) == IDCANCEL && lParam == 0) {
        OnCancel();
        return 0;
      }
      if (const Control* control = FindByWindow(reinterpret_cast<HWND>(lParam))) {
        OnCommand(control->design->name, HIWORD(wParam));
      }
      return 0;
    }
    case WM_NOTIFY: {
      auto& header = *reinterpret_cast<NMHDR*>(lParam);
      if (const Control* control = FindByWindow(header.hwndFrom)) {
        return OnNotify(control->design->name, header);
      }
      break;
    }
    case WM_SETCURSOR:
      if (SetHandCursor()) return TRUE;
      break;
    case WM_LBUTTONDOWN:
      if (PressLink(target, POINT{static_cast<short>(LOWORD(lParam)),
                                  static_cast<short>(HIWORD(lParam))})) {
        return 0;
      }
      break;
    case WM_CLOSE:
      if (target == window_) {
        OnClose();
        return 0;
      }
      break;
    default:
      break;
  }
  return DefWindowProcW(target, message, wParam, lParam);
}

LRESULT CALLBACK DesignedWindow::FlatButtonProcedure(HWND button, UINT message, WPARAM wParam,
                                                     LPARAM lParam, UINT_PTR, DWORD_PTR reference) {
  // A flat button shows its edge only while the pointer is over it.
  auto& control = *reinterpret_cast<Control*>(reference);
  if (message == WM_MOUSEMOVE && !control.hot) {
    control.hot = true;
    TRACKMOUSEEVENT leave{sizeof leave, TME_LEAVE, button, 0};
    TrackMouseEvent(&leave);
    InvalidateRect(button, nullptr, FALSE);
  } else if (message == WM_MOUSELEAVE) {
    control.hot = false;
    InvalidateRect(button, nullptr, FALSE);
  }
  return DefSubclassProc(button, message, wParam, lParam);
}

void DesignedWindow::Paint(HWND target, HDC dc) {
  RECT client;
  GetClientRect(target, &client);
  FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
  SetBkMode(dc, TRANSPARENT);
  if (const Control* panel = FindByWindow(target)) PaintPanelEdges(*panel, dc, client);
  for (const Control& control : controls_) {
    if (control.window == nullptr && control.parent == target) PaintDrawn(control, dc);
  }
}

void DesignedWindow::PaintPanelEdges(const Control& panel, HDC dc, RECT area) {
  const unsigned look = panel.design->look;
  const RECT whole = area;
  if (look & kWhiteOnBlack) FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  if (look & kSingleBorder) {
    FrameRect(dc, &area, GetSysColorBrush(COLOR_WINDOWFRAME));
    InflateRect(&area, -1, -1);
  }
  // Outer edge first, then the inner one.
  if (look & kRaised) DrawEdge(dc, &area, BDR_RAISEDINNER, BF_RECT | BF_ADJUST);
  if (look & kLowered) DrawEdge(dc, &area, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
  if (look & kLoweredInRaised) {
    DrawEdge(dc, &area, EDGE_RAISED, BF_RECT | BF_ADJUST);
    DrawEdge(dc, &area, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
  }
  if (look & kRaisedInLowered) {
    DrawEdge(dc, &area, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
    DrawEdge(dc, &area, BDR_RAISEDINNER, BF_RECT | BF_ADJUST);
  }
  if (!panel.text.empty()) {
    HGDIOBJ previous = SelectObject(dc, FontOf(*panel.design, dpi_));
    SetTextColor(dc, look & kWhiteOnBlack ? RGB(255, 255, 255) : GetSysColor(COLOR_BTNTEXT));
    RECT place = whole;
    DrawTextW(dc, panel.text.c_str(), -1, &place,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, previous);
  }
}

void DesignedWindow::PaintDrawn(const Control& control, HDC dc) {
  const ControlDesign& design = *control.design;
  RECT place = PlaceOf(control);
  switch (design.kind) {
    case ControlKind::Bevel:
      if (design.look & kTopLine) {
        DrawEdge(dc, &place, EDGE_ETCHED, BF_TOP);
      } else {
        DrawEdge(dc, &place, design.look & kRaised ? BDR_RAISEDINNER : BDR_SUNKENOUTER, BF_RECT);
      }
      return;
    case ControlKind::Picture: {
      // Unstretched pictures are drawn from their top-left corner and cut where the place ends.
      const SIZE whole = PictureSize(design.picture);
      RECT source{0, 0, whole.cx, whole.cy};
      if (!(design.look & kStretched)) {
        source.right = std::min<LONG>(design.place.width, whole.cx);
        source.bottom = std::min<LONG>(design.place.height, whole.cy);
        place.right = place.left + Scaled(source.right, dpi_);
        place.bottom = place.top + Scaled(source.bottom, dpi_);
      }
      DrawPicture(dc, design.picture, source, place);
      return;
    }
    case ControlKind::Label:
    case ControlKind::Link: {
      if (design.look & kWhiteOnBlack) {
        FillRect(dc, &place, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
      } else if (design.look & kWhiteOnActiveCaption) {
        FillRect(dc, &place, GetSysColorBrush(COLOR_ACTIVECAPTION));
      }
      COLORREF colour = GetSysColor(COLOR_WINDOWTEXT);
      if (design.look & kRedText) colour = kRed;
      if (design.look & (kWhiteOnBlack | kWhiteOnActiveCaption)) colour = RGB(255, 255, 255);
      if (design.kind == ControlKind::Link) colour = kLinkBlue;
      HGDIOBJ previous = SelectObject(dc, FontOf(design, dpi_));
      SetTextColor(dc, colour);
      place = TextPlaceOf(control, dc);
      UINT format = DT_NOPREFIX | (design.look & kCentered ? DT_CENTER : DT_LEFT);
      format |= design.look & kWordWrap ? DT_WORDBREAK : DT_SINGLELINE | DT_VCENTER;
      DrawTextW(dc, control.text.c_str(), -1, &place, format);
      SelectObject(dc, previous);
      return;
    }
    default:
      return;
  }
}

void DesignedWindow::DrawButton(const Control& control, const DRAWITEMSTRUCT& item) {
  const ControlDesign& design = *control.design;
  HDC dc = item.hDC;
  RECT area = item.rcItem;
  const bool pushed = item.itemState & ODS_SELECTED;
  const bool disabled = item.itemState & ODS_DISABLED;
  FillRect(dc, &area, GetSysColorBrush(COLOR_BTNFACE));
  if (design.kind == ControlKind::FlatButton) {
    if (pushed) {
      DrawEdge(dc, &area, BDR_SUNKENOUTER, BF_RECT);
    } else if (control.hot && !disabled) {
      DrawEdge(dc, &area, BDR_RAISEDINNER, BF_RECT);
    }
  } else {
    RECT frame = area;
    if (design.look & kDefaultButton) {
      FrameRect(dc, &frame, GetSysColorBrush(COLOR_WINDOWFRAME));
      InflateRect(&frame, -1, -1);
    }
    DrawFrameControl(dc, &frame, DFC_BUTTON, DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0));
    if (item.itemState & ODS_FOCUS) {
      RECT focus = frame;
      InflateRect(&focus, -3, -3);
      DrawFocusRect(dc, &focus);
    }
  }
  if (pushed) OffsetRect(&area, 1, 1);

  // The picture and the caption side by side, centred together.
  HGDIOBJ previous = SelectObject(dc, FontOf(design, dpi_));
  SetBkMode(dc, TRANSPARENT);
  RECT measured{0, 0, 0, 0};
  DrawTextW(dc, control.text.c_str(), -1, &measured, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  const int glyph = design.picture != Picture::None ? Scaled(kGlyphSize, dpi_) : 0;
  const int spacing = glyph > 0 && !control.text.empty() ? Scaled(kGlyphSpacing, dpi_) : 0;
  const int width = glyph + spacing + measured.right;
  int left = area.left + (area.right - area.left - width) / 2;
  const int middle = (area.top + area.bottom) / 2;
  if (glyph > 0) {
    DrawGlyph(dc, design.picture, disabled,
              RECT{left, middle - glyph / 2, left + glyph, middle - glyph / 2 + glyph});
    left += glyph + spacing;
  }
  RECT caption{left, area.top, area.right, area.bottom};
  const UINT format = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX;
  if (disabled) {
    DrawDisabledText(dc, control.text, caption, format);
  } else {
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    DrawTextW(dc, control.text.c_str(), -1, &caption, format);
  }
  SelectObject(dc, previous);
}

bool DesignedWindow::SetHandCursor() {
  POINT at;
  GetCursorPos(&at);
  for (const Control& control : controls_) {
    if (!(control.design->look & kHandPointer) && control.design->kind != ControlKind::Link)
      continue;
    if (control.window != nullptr || !IsWindowVisible(control.parent)) continue;
    POINT local = at;
    ScreenToClient(control.parent, &local);
    const RECT place = PlaceOf(control);
    if (PtInRect(&place, local) && WindowFromPoint(at) == control.parent) {
      SetCursor(LoadCursorW(nullptr, IDC_HAND));
      return true;
    }
  }
  return false;
}

bool DesignedWindow::PressLink(HWND target, POINT at) {
  for (const Control& control : controls_) {
    if (control.design->kind != ControlKind::Link || control.parent != target) continue;
    const RECT place = PlaceOf(control);
    if (!PtInRect(&place, at)) continue;
    // The link opens on the press; whether the shell could open it is not reported.
    ShellExecuteW(GetDesktopWindow(), L"open", control.linkTo.c_str(), nullptr, nullptr,
                  SW_SHOWNORMAL);
    return true;
  }
  return false;
}

RECT DesignedWindow::PlaceOf(const Control& control) const {
  return ToRect(Scaled(control.design->place, dpi_));
}

RECT DesignedWindow::TextPlaceOf(const Control& control, HDC dc) const {
  RECT place = PlaceOf(control);
  // Labels that do not keep their size grow to the right with their text.
  if (control.design->kind == ControlKind::Label && !(control.design->look & kFixedSize)) {
    RECT measured{0, 0, 0, 0};
    DrawTextW(dc, control.text.c_str(), -1, &measured, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    place.right = std::max(place.right, place.left + measured.right);
  }
  return place;
}

void DesignedWindow::Repaint(const Control& control) {
  if (control.window != nullptr) {
    InvalidateRect(control.window, nullptr, FALSE);
    return;
  }
  HDC dc = GetDC(control.parent);
  HGDIOBJ previous = SelectObject(dc, FontOf(*control.design, dpi_));
  const RECT place = TextPlaceOf(control, dc);
  SelectObject(dc, previous);
  ReleaseDC(control.parent, dc);
  InvalidateRect(control.parent, &place, FALSE);
}

const DesignedWindow::Control* DesignedWindow::Find(std::string_view name) const {
  const auto found =
      std::ranges::find(controls_, name, [](const Control& c) { return c.design->name; });
  return found != controls_.end() ? &*found : nullptr;
}

DesignedWindow::Control* DesignedWindow::Find(std::string_view name) {
  const auto found =
      std::ranges::find(controls_, name, [](const Control& c) { return c.design->name; });
  return found != controls_.end() ? &*found : nullptr;
}

const DesignedWindow::Control* DesignedWindow::FindByWindow(HWND window) const {
  if (window == nullptr) return nullptr;
  const auto found = std::ranges::find(controls_, window, &Control::window);
  return found != controls_.end() ? &*found : nullptr;
}

}  // namespace kestravuna::app::win32
