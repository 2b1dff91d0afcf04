// A window of the designed set, built from its table in app/window_design: the frame, the
// client size and every control at its place, scaled to the screen's dots per inch. Labels,
// bevels, pictures and links are drawn by the window or panel they lie on, as such controls
// have no window of their own; panels, buttons, fields, the progress bar, the folder tree and
// the drive list are the system's controls (buttons drawn by the program, flat or framed, with
// their pictures). One procedure handles the window and its panels.
#pragma once

#include "app/win32/windows_api.h"

#include <string>
#include <string_view>
#include <vector>

#include "app/window_design.h"

namespace kestravuna::app::win32 {

class DesignedWindow {
 public:
  DesignedWindow(const DesignedWindow&) = delete;
  DesignedWindow& operator=(const DesignedWindow&) = delete;
  virtual ~DesignedWindow();

  HWND Handle() const noexcept { return window_; }
  int Dpi() const noexcept { return dpi_; }
  bool IsVisible() const { return IsWindowVisible(window_) != FALSE; }

  // The window of a control by its designed name (panels, buttons, fields ...).
  HWND ControlWindow(std::string_view name) const;
  // The text of a drawn label, shown at once.
  void SetText(std::string_view name, std::wstring text);
  std::wstring Text(std::string_view name) const;
  // Whether a check box is checked; a box set here shows its new state at once.
  bool IsChecked(std::string_view name) const;
  void SetChecked(std::string_view name, bool checked);
  // What a link hands to the shell's "open" action when it is pressed.
  void SetLinkTo(std::string_view name, std::string_view target);

  void CentreOnScreen();
  // Shows the window in front of the others and gives it the focus.
  void ShowInFront();
  // Shows the window in front of its owner, leaving the focus where it is.
  void ShowWithoutFocus();
  // Hides the window. If it has the focus, the focus goes back to its owner first, so the
  // owner learns where it came from.
  void Hide();

  // Every designed window of the program, for the message loop's keyboard handling.
  static bool IsDesignedWindow(HWND window);

 protected:
  // Makes the window, hidden; `owner` keeps it in front of that window.
  explicit DesignedWindow(const WindowDesign& design, HWND owner = nullptr);

  // A button was clicked (or a list changed): `control` is its designed name.
  virtual void OnCommand(std::string_view control, int notification);
  // A notification from a common control (the folder tree).
  virtual LRESULT OnNotify(std::string_view control, NMHDR& header);
  // Messages of the top-level window before the common handling; true when handled.
  virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
  // The close box or Alt+F4; hides the window unless overridden.
  virtual void OnClose();
  // Escape in the window.
  virtual void OnCancel() {}

 private:
  struct Control {
    const ControlDesign* design;
    HWND window = nullptr;  // none for what its parent draws
    HWND parent = nullptr;
    std::wstring text;
    bool hot = false;     // a flat button under the pointer
    std::wstring linkTo;  // a link's target
  };

  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK FlatButtonProcedure(HWND button, UINT message, WPARAM wParam,
                                              LPARAM lParam, UINT_PTR, DWORD_PTR reference);
  LRESULT Handle(HWND target, UINT message, WPARAM wParam, LPARAM lParam);

  void CreateControl(Control& control);
  void Paint(HWND target, HDC dc);
  void PaintPanelEdges(const Control& panel, HDC dc, RECT area);
  void PaintDrawn(const Control& control, HDC dc);
  void DrawButton(const Control& control, const DRAWITEMSTRUCT& item);
  bool SetHandCursor();
  bool PressLink(HWND target, POINT at);
  RECT PlaceOf(const Control& control) const;
  RECT TextPlaceOf(const Control& control, HDC dc) const;
  void Repaint(const Control& control);
  const Control* Find(std::string_view name) const;
  Control* Find(std::string_view name);
  const Control* FindByWindow(HWND window) const;

  int dpi_;
  HWND window_ = nullptr;
  // Reserved for the whole table before any control is made: the flat buttons' procedures
  // keep pointers into it.
  std::vector<Control> controls_;
};

}  // namespace kestravuna::app::win32
