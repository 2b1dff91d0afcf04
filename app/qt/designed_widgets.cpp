#include "app/qt/designed_widgets.h"

#include <qdrawutil.h>

#include <QDesktopServices>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <QUrl>
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

// A bold label in a bitmap face, which has no bold cut: the text drawn twice, one pixel apart,
// so it stays in the designed face instead of falling back to another family's bold.
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
    const QRect area = contentsRect();
    painter.drawText(area, flags, text());
    painter.drawText(area.translated(kOverstrikeSpacing, 0), flags, text());
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
  auto* button = new QPushButton(parent);
  if (control.look & kCloseSymbol) {
    // "r" in the symbol font is the close symbol; without that font a multiplication sign.
    QFont symbol = closeSymbolFontLoaded ? FontOf({"Marlett"}, kDesignedFontHeight)
                                         : DesignedFont(kDesignedFontHeight + 2);
    symbol.setBold(true);
    button->setFont(symbol);
    button->setText(closeSymbolFontLoaded ? QtText(control.text) : QString(QChar(0x00D7)));
  } else {
    button->setText(QtText(control.text));
  }
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
  }
  return nullptr;
}

Qt::WindowFlags FlagsOf(const WindowDesign& design, bool owned) {
  Qt::WindowFlags flags;
  switch (design.frame) {
    case Frame::None:
      // The window system keeps a tool window above its owner, a plain one not.
      flags = (owned ? Qt::Tool : Qt::Window) | Qt::FramelessWindowHint;
      break;
    case Frame::ToolWindow:
      flags = Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
      break;
    case Frame::Dialog:
      flags =
          Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
      break;
  }
  if (design.staysOnTop) flags |= Qt::WindowStaysOnTopHint;
  return flags;
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
  // and leave gaps. Tahoma has its metrics and scales.
  const bool unscaled = qGuiApp == nullptr || qGuiApp->devicePixelRatio() == 1.0;
  return FontOf(unscaled ? QStringList{"MS Sans Serif", "Tahoma", "DejaVu Sans"}
                         : QStringList{"Tahoma", "DejaVu Sans"},
                pixelHeight);
}

DesignedWindow::DesignedWindow(const WindowDesign& design, QWidget* owner) : QWidget(owner) {
  QWidget& window = *this;
  window.setObjectName(QtText(design.name));
  window.setWindowTitle(QtText(design.caption));
  // An owned window stays above its owner (the window system makes it transient for it).
  window.setWindowFlags(FlagsOf(design, owner != nullptr));
  window.setFixedSize(design.clientWidth, design.clientHeight);
  window.setFont(DesignedFont(kDesignedFontHeight));
  if (design.position) window.move(design.position->left, design.position->top);
  for (const ControlDesign& control : design.controls) {
    QWidget* parent = &window;
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
  linkColor_ = color;
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
