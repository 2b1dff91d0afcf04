// The designed window set, without a toolkit: every window's frame, caption and size, and every
// control's name, kind, place, text and look. Each front end builds its widgets from these
// tables, so the names that tests and accessibility tools find, the German texts and the pixel
// layout are written down once. Texts are UTF-8; places are client pixels, relative to the
// control's parent.
#pragma once

#include <optional>
#include <span>
#include <string_view>

namespace kestravuna::app {

struct Rect {
  int left;
  int top;
  int width;
  int height;
};

struct Point {
  int left;
  int top;
};

enum class ControlKind {
  Label,
  Bevel,         // a frame line drawn around (or, with TopLine, above) its rectangle
  Panel,         // holds other controls, with an optional centred caption; edges by look
  FlatButton,    // a flat button with a picture that has a normal and a disabled image
  PushButton,    // a button with a frame; with a glyph where the look asks for one
  Edit,          // one-line text field
  PasswordEdit,  // one-line text field showing "*" for every character
  ProgressBar,   // range 0..100
  FolderTree,    // the folders of one drive
  DriveList,     // drop-down list of the mounted volumes
  Picture,       // one of the program's pictures, named by `picture`
  Link,          // a label that opens its target on a press
  CheckBox,      // a box the user checks or clears, with its text on the right
};

// How a control looks, as flags to combine.
enum Look : unsigned {
  kPlain = 0,
  kBold = 1u << 0,
  kCentered = 1u << 1,
  kWordWrap = 1u << 2,
  kRedText = 1u << 3,
  kWhiteOnBlack = 1u << 4,
  kWhiteOnActiveCaption = 1u << 5,  // the title strip
  kRaised = 1u << 6,                // raised edge (bevels and panels)
  kLowered = 1u << 7,               // lowered edge (bevels and panels)
  kRaisedInLowered = 1u << 8,       // panel: lowered outer and raised inner edge
  kLoweredInRaised = 1u << 9,       // panel: raised outer and lowered inner edge
  kSingleBorder = 1u << 10,         // panel: a flat one-pixel line around the edges
  kTopLine = 1u << 11,              // bevel: one line along the top only
  kDefaultButton = 1u << 12,        // pressed by Enter in the window
  kHandPointer = 1u << 13,
  kCloseSymbol = 1u << 14,           // the caption is the symbol font's close symbol
  kSmallSerif = 1u << 15,            // "MS Serif" at 9 pixels (the folder path)
  kButtonFaceBackground = 1u << 16,  // the folder tree's background
  kStretched = 1u << 17,             // a picture drawn to fill its place
  kFixedSize = 1u << 18,             // a label that keeps its size; others grow with their text
};

// The pictures the program draws for itself.
enum class Picture { None, Logo, Title, Protect, Restore, Information, Quit, Cancel, Close, Ok };

struct ControlDesign {
  std::string_view name;  // the designed name, the widget's object name
  ControlKind kind;
  Rect place;
  std::string_view text = {};
  unsigned look = kPlain;
  std::string_view parent = {};  // a panel of the same window; empty: the window itself
  Picture picture = Picture::None;
};

enum class Frame {
  None,        // no frame, caption bar or border icons
  ToolWindow,  // small caption bar, no border icons
  Dialog,      // caption bar with a close box
};

struct WindowDesign {
  std::string_view name;  // the instance name, the window's object name
  std::string_view caption;
  Frame frame;
  int clientWidth;
  int clientHeight;
  // Where the window appears; none: centred on the screen when it is shown.
  std::optional<Point> position;
  bool staysOnTop;
  std::span<const ControlDesign> controls;
};

// The windows in the order the program creates them.
extern const WindowDesign kMainWindow;           // Form1
extern const WindowDesign kSplashWindow;         // splash
extern const WindowDesign kAboutBox;             // AboutBox
extern const WindowDesign kWaitWindow;           // Wait
extern const WindowDesign kSetPasswordDialog;    // Passwort
extern const WindowDesign kEnterPasswordDialog;  // Passwort2

// The main window's tab stops in their designed order; its flat buttons take no focus.
inline constexpr std::string_view kMainWindowTabOrder[] = {"Folders", "BitBtn1", "Drives"};

// The title strip that drags the main window: a press at client column x and row y starts a
// drag when 0 < x < width - 1 and 0 < y < 15.
bool IsInTitleStrip(int x, int y, int windowWidth);

// The targets of the about box's links.
inline constexpr std::string_view kHomepageAddress = "https://kestravuna.example.org/";
inline constexpr std::string_view kMailAddress = "mailto:kontakt@kestravuna.example.org";

}  // namespace kestravuna::app
