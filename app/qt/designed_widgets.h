// Builds a window of the designed set from its table (app/window_design.h): the frame, the
// caption, the fixed client size and every control at its designed place, named by its designed
// name. The classes here are the few controls Qt has no exact match for.
#pragma once

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QString>
#include <QWidget>

#include "app/window_design.h"

namespace kestravuna::app {

// Registers the designed fonts ("MS Sans Serif", the symbol font "Marlett") where the system
// has them; Qt picks a close match for a family it does not know.
void LoadDesignedFonts();
// A UTF-8 text of the tables or the core as Qt's string.
QString QtText(std::string_view text);

// "MS Sans Serif" at `pixelHeight`, or the closest font the system has.
QFont DesignedFont(int pixelHeight);
// A label that is not of fixed size takes the width its text needs (never less than designed).
void FitWidth(QWidget& label);

// A window of the designed set: frame, caption and fixed client size as `design` says, and
// every control created as a child before the derived window's members are initialised. A
// window with an `owner` belongs to it: it stays above the owner while it is shown.
//
// The window draws its frame itself, as the main window draws its title strip: a tool window's
// small caption bar with no border icons, a dialog's caption bar with its close box. Window
// managers differ in which border icons they leave out when asked; a frame of its own looks as
// designed under every one. Pressing the caption bar moves the window.
class DesignedWindow : public QWidget {
 public:
  explicit DesignedWindow(const WindowDesign& design, QWidget* owner = nullptr);

  void CentreOnScreen();
  // Shows the window in its normal state above the others and gives it the focus.
  void ShowInFront();
  // Shows the window in its normal state above the others, leaving the focus where it is.
  void ShowNormal();
  // The client area, which holds the controls: inside the frame, or the whole window.
  QWidget& ClientArea() const { return *client_; }

 protected:
  // Whether a left press at `at` (window pixels) moves the window: the caption bar.
  virtual bool IsDragArea(QPoint at) const;

  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QRect CaptionBar() const;

  Frame frame_;
  QWidget* client_;
  bool dragging_ = false;  // moved by hand where the window system cannot move it
  QPoint dragOffset_;
};

// The control named `name` of a built window (not of a window it owns); the tables guarantee
// that it is there.
template <typename Control>
Control& ControlOf(const QWidget& window, const char* name) {
  Control* found = nullptr;
  for (Control* control : window.findChildren<Control*>(name)) {
    if (control->window() == &window) found = control;
  }
  Q_ASSERT_X(found != nullptr, "ControlOf", name);
  return *found;
}

// Bevels and panels: edges drawn as the look flags say, and a panel's caption centred.
class EdgeWidget : public QWidget {
 public:
  EdgeWidget(QWidget* parent, unsigned look, const QString& caption);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  unsigned look_;
  QString caption_;
};

// A label that looks like a web link and hands its target to the desktop on a press.
class TLink : public QLabel {
 public:
  explicit TLink(QWidget* parent);

  void SetLinkColor(const QColor& color);  // repaints at once
  void SetLinkTo(const QString& target) { linkTo_ = target; }

 protected:
  // The target opens on the press, not the release; the label's own handling does not run.
  void mousePressEvent(QMouseEvent* event) override;

 private:
  QString linkTo_;
};

}  // namespace kestravuna::app
