#include "app/qt/designed_widgets.h"

#include <qdrawutil.h>

#include <QCheckBox>
#include <QDesktopServices>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <QUrl>
#include <QWindow>
#include <algorithm>

#include "app/qt/folder_tree.h"
#include "app/qt/pictures.h"

namespace kestravuna::app {

namespace {

constexpr const char* kWineFonts = "/usr/share/wine/fonts/";
constexpr int kDesignedFontHeight = 11;  // "MS Sans Serif" 8 points at 96 pixels per inch
constexpr int kFolderTreeFontHeight = 12;
constexpr int kFolderPathFontHeight = 9;
constexpr int kPanelBevelWidth = 2;
// The frames the windows draw for themselves, in pixels at 96 pixels per inch: the fixed
// border of a dialog, and the caption bars with the line below them.
constexpr int kFrameBorder = 3;
constexpr int kToolCaptionHeight = 16;
constexpr int kDialogCaptionHeight = 19;
constexpr QSize kCloseBoxSize(16, 14);
constexpr int kCaptionTextIndent = 2;
const QColor kInactiveCaption(128, 128, 128);
// A face standing in for the designed one is narrowed to its widths, but no further than this.
constexpr int kNarrowestStretch = 75;
// A face drawn bold by overstriking is one pixel wider per character, as the system draws a
// bitmap face that has no bold cut.
constexpr int kOverstrikeSpacing = 1;

bool closeSymbolFontLoaded = false;

QFont FontOf(const QStringList& families, int pixelHeight) {
  QFont font;
  font.setFamilies(families);
  font.setPixelSize(pixelHeight);
  return font;
}

// Whether `font` as the system resolves it is drawn from outlines, which can be emboldened,
// rather than from a bitmap face's fixed glyphs.
bool IsScalable(const QFont& font) {
  const QFontInfo resolved(font);
  return QFontDatabase::isSmoothlyScalable(resolved.family(), resolved.styleName());
}

// Bold text in `font`: emboldened outlines in a scalable face; in a bitmap face, which has no
// bold cut, the text drawn twice one pixel apart, so it stays in the designed face instead of
// falling back to another family's bold.
void DrawBoldText(QPainter& painter, const QRect& area, int flags, const QString& text,
                  QFont font) {
  const bool overstrike = !IsScalable(font);
  font.setBold(!overstrike);
  painter.setFont(font);
  painter.drawText(area, flags, text);
  if (overstrike) painter.drawText(area.translated(kOverstrikeSpacing, 0), flags, text);
}

// A bold label in a bitmap face: overstruck, and one pixel wider per character for it.
class OverstruckLabel : public QLabel {
 public:
  OverstruckLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    QFont spaced = font();
    spaced.setLetterSpacing(QFont::AbsoluteSpacing, kOverstrikeSpacing);
    setFont(spaced);
  }

  QSize sizeHint() const override { return QLabel::sizeHint() + QSize(kOverstrikeSpacing, 0); }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    const int flags = static_cast<int>(alignment()) | (wordWrap() ? Qt::TextWordWrap : 0);
    DrawBoldText(painter, contentsRect(), flags, text(), font());
  }
};

void SetTextColours(QWidget& widget, unsigned look) {
  QPalette palette = widget.palette();
  if (look & kRedText) palette.setColor(QPalette::WindowText, Qt::red);
  if (look & (kWhiteOnBlack | kWhiteOnActiveCaption)) {
    palette.setColor(QPalette::WindowText, Qt::white);
    // Qt has no role for the active caption colour; the selection colour is the system's
    // closest match, and follows the desktop's colour scheme in the same way.
    palette.setColor(QPalette::Window, look & kWhiteOnBlack
                                           ? QColor(Qt::black)
                                           : palette.color(QPalette::Active, QPalette::Highlight));
    widget.setAutoFillBackground(true);
  }
  if (look & kButtonFaceBackground) {
    palette.setColor(QPalette::Base, palette.color(QPalette::Button));
  }
  widget.setPalette(palette);
}

QPushButton* CreateCloseSymbolButton(QWidget* parent);

// The stretch (in percent) that gives `font` no more than the designed face's widths, measured
// on the lines of the password dialogs: their designed widths are the lines' widths in the
// designed face at the designed height.
int StretchToDesignedWidth(QFont font) {
  font.setPixelSize(kDesignedFontHeight);
  const auto fits = [&font](int stretch) {
    font.setStretch(stretch);
    const QFontMetricsF metrics(font);
    for (const WindowDesign* dialog : {&kSetPasswordDialog, &kEnterPasswordDialog}) {
      for (const ControlDesign& control : dialog->controls) {
        if (control.kind == ControlKind::Label &&
            metrics.horizontalAdvance(QtText(control.text)) > control.place.width) {
          return false;
        }
      }
    }
    return true;
  };
  int stretch = QFont::Unstretched;
  while (stretch > kNarrowestStretch && !fits(stretch)) --stretch;
  return stretch;
}

QWidget* CreateLabel(QWidget* parent, const ControlDesign& control) {
  const QString text = QtText(control.text);
  QLabel* label = nullptr;
  if (!(control.look & kBold)) {
    label = new QLabel(text, parent);
  } else if (IsScalable(parent->font())) {
    label = new QLabel(text, parent);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
  } else {
    label = new OverstruckLabel(text, parent);
  }
  label->setAlignment((control.look & kCentered ? Qt::AlignHCenter : Qt::AlignLeft) |
                      Qt::AlignVCenter);
  label->setWordWrap(control.look & kWordWrap);
  if (control.look & kWordWrap) label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  if (control.look & kSmallSerif) {
    label->setFont(FontOf({"MS Serif", "DejaVu Serif"}, kFolderPathFontHeight));
  }
  // Mouse presses pass through to the window, which decides what the title strip does.
  return label;
}

QWidget* CreatePushButton(QWidget* parent, const ControlDesign& control) {
  if (control.look & kCloseSymbol) return CreateCloseSymbolButton(parent);
  auto* button = new QPushButton(QtText(control.text), parent);
  if (control.picture != Picture::None) button->setIcon(ButtonIcon(control.picture));
  button->setDefault(control.look & kDefaultButton);
  return button;
}

QWidget* CreateFlatButton(QWidget* parent, const ControlDesign& control) {
  auto* button = new QToolButton(parent);
  button->setText(QtText(control.text));
  button->setIcon(ButtonIcon(control.picture));
  button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  button->setAutoRaise(true);
  // Flat buttons take no focus: the keyboard moves between the designed tab stops only.
  button->setFocusPolicy(Qt::NoFocus);
  return button;
}

QWidget* CreatePicture(QWidget* parent, const ControlDesign& control) {
  auto* picture = new QLabel(parent);
  picture->setPixmap(DrawPicture(control.picture));
  // Unstretched pictures are drawn from their top-left corner and cut where the place ends.
  picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  picture->setScaledContents(control.look & kStretched);
  return picture;
}

QWidget* CreateControl(QWidget* parent, const ControlDesign& control) {
  switch (control.kind) {
    case ControlKind::Label:
      return CreateLabel(parent, control);
    case ControlKind::Bevel: {
      auto* bevel = new EdgeWidget(parent, control.look, {});
      bevel->setAttribute(Qt::WA_TransparentForMouseEvents);
      return bevel;
    }
    case ControlKind::Panel:
      return new EdgeWidget(parent, control.look, QtText(control.text));
    case ControlKind::FlatButton:
      return CreateFlatButton(parent, control);
    case ControlKind::PushButton:
      return CreatePushButton(parent, control);
    case ControlKind::Edit:
      return new QLineEdit(parent);
    case ControlKind::PasswordEdit: {
      auto* edit = new QLineEdit(parent);
      edit->setEchoMode(QLineEdit::Password);
      edit->setStyleSheet("QLineEdit { lineedit-password-character: 42; }");  // "*"
      return edit;
    }
    case ControlKind::ProgressBar: {
      auto* bar = new QProgressBar(parent);
      bar->setRange(0, 100);
      bar->setValue(0);
      bar->setTextVisible(false);
      return bar;
    }
    case ControlKind::FolderTree: {
      auto* tree = new FolderTree(parent);
      tree->setFont(DesignedFont(kFolderTreeFontHeight));
      return tree;
    }
    case ControlKind::DriveList:
      return new DriveList(parent);
    case ControlKind::Picture:
      return CreatePicture(parent, control);
    case ControlKind::Link: {
      auto* link = new TLink(parent);
      link->setText(QtText(control.text));
      return link;
    }
    case ControlKind::CheckBox:
      return new QCheckBox(QtText(control.text), parent);
  }
  return nullptr;
}

// Every window draws its own frame. The window system keeps a tool window above its owner, a
// plain one not.
Qt::WindowFlags FlagsOf(const WindowDesign& design, bool owned) {
  Qt::WindowFlags flags = (owned ? Qt::Tool : Qt::Window) | Qt::FramelessWindowHint;
  if (design.staysOnTop) flags |= Qt::WindowStaysOnTopHint;
  return flags;
}

int CaptionHeightOf(Frame frame) {
  switch (frame) {
    case Frame::None:
      return 0;
    case Frame::ToolWindow:
      return kToolCaptionHeight;
    case Frame::Dialog:
      return kDialogCaptionHeight;
  }
  return 0;
}

QPushButton* CreateCloseSymbolButton(QWidget* parent) {
  auto* button = new QPushButton(parent);
  QFont symbol = closeSymbolFontLoaded ? FontOf({"Marlett"}, kDesignedFontHeight)
                                       : DesignedFont(kDesignedFontHeight + 2);
  symbol.setBold(true);
  button->setFont(symbol);
  // "r" in the symbol font is the close symbol; without that font a multiplication sign.
  button->setText(closeSymbolFontLoaded ? QString("r") : QString(QChar(0x00D7)));
  return button;
}

}  // namespace

void LoadDesignedFonts() {
  // Tahoma's bold cut is left out: emboldened from the regular outlines it is as bold as the
  // designed face's bold, the shipped cut is barely heavier than the regular one.
  for (const char* face : {"ms_sans_serif.ttf", "tahoma.ttf"}) {
    QFontDatabase::addApplicationFont(QString(kWineFonts) + face);
  }
  closeSymbolFontLoaded =
      QFontDatabase::addApplicationFont(QString(kWineFonts) + "marlett.ttf") >= 0;
}

QString QtText(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void FitWidth(QWidget& label) {
  label.resize(std::max(label.width(), label.sizeHint().width()), label.height());
}

QFont DesignedFont(int pixelHeight) {
  // "MS Sans Serif" is a bitmap face: drawn at any scale but 1 its glyphs keep their pixel size
  // and leave gaps. A scalable face takes its place there, narrowed where it runs wider, so that
  // text fills the boxes the designed face was measured for.
  const bool unscaled = qGuiApp == nullptr || qGuiApp->devicePixelRatio() == 1.0;
  if (unscaled) return FontOf({"MS Sans Serif", "Tahoma", "DejaVu Sans"}, pixelHeight);
  QFont scalable = FontOf({"Tahoma", "DejaVu Sans"}, pixelHeight);
  static const int stretch = StretchToDesignedWidth(scalable);
  scalable.setStretch(stretch);
  return scalable;
}

DesignedWindow::DesignedWindow(const WindowDesign& design, QWidget* owner)
    : QWidget(owner), frame_(design.frame), client_(this) {
  QWidget& window = *this;
  window.setObjectName(QtText(design.name));
  window.setWindowTitle(QtText(design.caption));
  // An owned window stays above its owner (the window system makes it transient for it).
  window.setWindowFlags(FlagsOf(design, owner != nullptr));
  window.setFont(DesignedFont(kDesignedFontHeight));
  if (frame_ == Frame::None) {
    window.setFixedSize(design.clientWidth, design.clientHeight);
  } else {
    const int captionHeight = CaptionHeightOf(frame_);
    window.setFixedSize(design.clientWidth + 2 * kFrameBorder,
                        design.clientHeight + 2 * kFrameBorder + captionHeight);
    client_ = new QWidget(this);
    client_->setGeometry(kFrameBorder, kFrameBorder + captionHeight, design.clientWidth,
                         design.clientHeight);
  }
  if (frame_ == Frame::Dialog) {
    QPushButton* closeBox = CreateCloseSymbolButton(this);
    closeBox->setObjectName("CloseBox");
    closeBox->setFocusPolicy(Qt::NoFocus);
    const QRect bar = CaptionBar();
    closeBox->setGeometry(QRect(QPoint(bar.right() - 1 - kCloseBoxSize.width(),
                                       bar.top() + (bar.height() - kCloseBoxSize.height()) / 2),
                                kCloseBoxSize));
    connect(closeBox, &QPushButton::clicked, this, &QWidget::close);
  }
  if (design.position) window.move(design.position->left, design.position->top);
  for (const ControlDesign& control : design.controls) {
    QWidget* parent = client_;
    if (!control.parent.empty()) {
      parent = window.findChild<QWidget*>(QtText(control.parent));
      Q_ASSERT(parent != nullptr);  // the tables list every panel before its children
    }
    QWidget* widget = CreateControl(parent, control);
    widget->setObjectName(QtText(control.name));
    widget->setGeometry(control.place.left, control.place.top, control.place.width,
                        control.place.height);
    if (control.kind == ControlKind::Label && !(control.look & kFixedSize)) FitWidth(*widget);
    if (control.look & kHandPointer) widget->setCursor(Qt::PointingHandCursor);
    SetTextColours(*widget, control.look);
  }
}

void DesignedWindow::CentreOnScreen() {
  const QRect screen = this->screen()->availableGeometry();
  move(screen.center() - QPoint(width() / 2, height() / 2));
}

void DesignedWindow::ShowInFront() {
  ShowNormal();
  activateWindow();
}

QRect DesignedWindow::CaptionBar() const {
  // The caption bar without the line below it.
  return {kFrameBorder, kFrameBorder, width() - 2 * kFrameBorder, CaptionHeightOf(frame_) - 1};
}

bool DesignedWindow::IsDragArea(QPoint at) const {
  return frame_ != Frame::None && CaptionBar().contains(at);
}

void DesignedWindow::paintEvent(QPaintEvent*) {
  if (frame_ == Frame::None) return;
  QPainter painter(this);
  qDrawWinPanel(&painter, rect(), palette(), false);
  const QRect bar = CaptionBar();
  // The caption bar in the system's active caption colour while the window is active (as the
  // main window's title strip), grey while it is not.
  painter.fillRect(bar, isActiveWindow() ? palette().color(QPalette::Active, QPalette::Highlight)
                                         : kInactiveCaption);
  painter.setPen(Qt::white);
  DrawBoldText(painter, bar.adjusted(kCaptionTextIndent, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
               windowTitle(), font());
}

void DesignedWindow::changeEvent(QEvent* event) {
  if (event->type() == QEvent::ActivationChange) update();
  QWidget::changeEvent(event);
}

void DesignedWindow::mousePressEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (event->button() != Qt::LeftButton || !IsDragArea(at)) {
    return QWidget::mousePressEvent(event);
  }
  // The window manager moves the window where it can; otherwise the window follows by hand.
  const bool systemMove = windowHandle() != nullptr && windowHandle()->startSystemMove();
  if (!systemMove) {
    dragging_ = true;
    dragOffset_ = event->globalPosition().toPoint() - pos();
  }
  event->accept();
}

void DesignedWindow::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_) return QWidget::mouseMoveEvent(event);
  move(event->globalPosition().toPoint() - dragOffset_);
}

void DesignedWindow::mouseReleaseEvent(QMouseEvent* event) {
  dragging_ = false;
  QWidget::mouseReleaseEvent(event);
}

void DesignedWindow::ShowNormal() {
  // The program's small windows have no task bar entry to come back from: one that was
  // minimised (through the window manager) comes back in its normal state.
  setWindowState(windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
  show();
  raise();
}

EdgeWidget::EdgeWidget(QWidget* parent, unsigned look, const QString& caption)
    : QWidget(parent), look_(look), caption_(caption) {}

void EdgeWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QRect area = rect();
  const QPalette& colours = palette();
  if (look_ & kWhiteOnBlack) painter.fillRect(area, Qt::black);
  if (look_ & kTopLine) {
    qDrawShadeLine(&painter, area.left(), area.top(), area.right(), area.top(), colours, true);
    return;
  }
  if (look_ & kSingleBorder) {
    painter.setPen(colours.color(QPalette::WindowText));
    painter.drawRect(area.adjusted(0, 0, -1, -1));
    area.adjust(1, 1, -1, -1);
  }
  // Outer edge first, then the inner one.
  const auto drawEdge = [&](bool sunken, int width) {
    qDrawShadePanel(&painter, area, colours, sunken, width);
    area.adjust(width, width, -width, -width);
  };
  if (look_ & kRaised) drawEdge(false, 1);
  if (look_ & kLowered) drawEdge(true, 1);
  if (look_ & kLoweredInRaised) {
    drawEdge(false, kPanelBevelWidth);
    drawEdge(true, kPanelBevelWidth);
  }
  if (look_ & kRaisedInLowered) {
    drawEdge(true, 1);
    drawEdge(false, 1);
  }
  if (!caption_.isEmpty()) {
    painter.setPen(look_ & kWhiteOnBlack ? QColor(Qt::white) : colours.color(QPalette::WindowText));
    painter.drawText(rect(), Qt::AlignCenter, caption_);
  }
}

TLink::TLink(QWidget* parent) : QLabel(parent) {
  QFont underlined = DesignedFont(kDesignedFontHeight);
  underlined.setUnderline(true);
  setFont(underlined);
  SetLinkColor(QColor(0, 0, 255));
  setCursor(Qt::PointingHandCursor);
}

void TLink::SetLinkColor(const QColor& color) {
  QPalette colours = palette();
  colours.setColor(QPalette::WindowText, color);
  setPalette(colours);
  repaint();
}

void TLink::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QLabel::mousePressEvent(event);
  // Whether the desktop could open the target is not reported, as with any link.
  QDesktopServices::openUrl(QUrl(linkTo_));
  event->accept();
}

}  // namespace kestravuna::app
