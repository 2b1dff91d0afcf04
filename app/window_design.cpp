#include "app/window_design.h"

namespace kestravuna::app {

namespace {

using enum ControlKind;

// Children come after their panel, so a front end can build the table in order. One control
// a line: name, kind, {left, top, width, height}, text, look, parent panel, picture.
// clang-format off
constexpr ControlDesign kMainControls[] = {
    {"Bevel2", Bevel, {0, 0, 593, 17}, {}, kRaised},
    {"Label1", Label, {1, 1, 576, 15}, " Kestravuna", kFixedSize | kBold | kWhiteOnActiveCaption | kHandPointer},
    {"BitBtn1", PushButton, {576, 0, 17, 17}, "r", kBold | kCloseSymbol},
    {"Bevel1", Bevel, {0, 17, 593, 432}, {}, kRaised},
    {"Bevel9", Bevel, {16, 24, 116, 97}, {}, kRaised},
    {"Bevel10", Bevel, {24, 32, 100, 81}, {}, kLowered},
    {"Image1", Picture, {24, 32, 100, 81}, {}, kPlain, {}, Picture::Logo},
    {"LabelOrdner", Label, {360, 24, 35, 13}, "Ordner:"},
    {"Folders", FolderTree, {360, 40, 217, 337}, {}, kButtonFaceBackground},
    {"code", FlatButton, {360, 384, 217, 25}, "Verschlüsseln...", kPlain, {}, Picture::Protect},
    {"decode", FlatButton, {360, 416, 217, 25}, "Wiederherstellen...", kPlain, {}, Picture::Restore},

    {"Panel1", Panel, {8, 128, 137, 313}, {}, kSingleBorder | kLoweredInRaised},
    {"Label12", Label, {4, 4, 127, 13}, "Quick-Steps", kCentered | kWhiteOnBlack, "Panel1"},
    {"Label9", Label, {6, 24, 53, 13}, "Schritt 1:", kBold, "Panel1"},
    {"Label6", Label, {6, 40, 121, 49}, "Wählen Sie den Order, dessen Dateien ver- schlüsselt werden sollen.", kFixedSize | kWordWrap, "Panel1"},
    {"Label10", Label, {6, 88, 53, 13}, "Schritt 2:", kBold, "Panel1"},
    {"Label7", Label, {6, 104, 121, 49}, "Legen Sie fest, ob die Unterordner mit einbezo- gen werden sollen.", kFixedSize | kWordWrap, "Panel1"},
    {"Label11", Label, {6, 152, 53, 13}, "Schritt 3:", kBold, "Panel1"},
    {"Label8", Label, {6, 168, 121, 49}, "Klicken Sie auf VERSCHLÜSSELN oder WIEDERHERSTELLEN.", kFixedSize | kWordWrap, "Panel1"},
    {"SpeedButton4", FlatButton, {8, 248, 121, 25}, "Informationen", kPlain, "Panel1", Picture::Information},
    {"SpeedButton3", FlatButton, {8, 280, 121, 25}, "Beenden", kPlain, "Panel1", Picture::Quit},

    {"Panel2", Panel, {160, 32, 193, 345}, {}, kRaised},
    {"Panel3", Panel, {1, 1, 191, 24}, "Statistik- & Infofenster", kCentered | kWhiteOnBlack | kRaisedInLowered, "Panel2"},
    {"Label13", Label, {8, 32, 78, 13}, "aktueller Ordner:", kPlain, "Panel2"},
    {"Bevel3", Bevel, {8, 48, 177, 17}, {}, kLowered, "Panel2"},
    {"aktOrdner", Label, {16, 50, 161, 14}, "aktOrdner", kFixedSize | kWordWrap | kSmallSerif, "Panel2"},
    {"Bevel4", Bevel, {0, 81, 193, 15}, {}, kTopLine, "Panel2"},
    {"Label14", Label, {8, 96, 112, 13}, "Anzahl der Unterordner:", kPlain, "Panel2"},
    {"Bevel5", Bevel, {8, 112, 177, 17}, {}, kLowered, "Panel2"},
    {"anzSubFolder", Label, {16, 114, 65, 13}, "anzSubFolder", kPlain, "Panel2"},
    {"Label16", Label, {8, 144, 149, 13}, "Anzahl der Dateien (insgesamt):", kPlain, "Panel2"},
    {"Bevel6", Bevel, {8, 160, 177, 17}, {}, kLowered, "Panel2"},
    {"anzFiles", Label, {16, 162, 38, 13}, "anzFiles", kPlain, "Panel2"},
    {"Label17", Label, {8, 192, 94, 13}, "Größe aller Dateien:", kPlain, "Panel2"},
    {"Bevel7", Bevel, {8, 208, 177, 17}, {}, kLowered, "Panel2"},
    {"anzSize", Label, {16, 210, 37, 13}, "anzSize", kPlain, "Panel2"},
    {"SpeedButton6", FlatButton, {8, 232, 177, 25}, "Vorgang abbrechen...", kPlain, "Panel2", Picture::Cancel},
    {"Bevel8", Bevel, {8, 272, 177, 25}, {}, kLowered, "Panel2"},
    {"aktiv", Label, {16, 278, 161, 13}, {}, kFixedSize | kCentered | kRedText, "Panel2"},
    {"Label15", Label, {8, 312, 90, 13}, "Status / Fortschritt:", kPlain, "Panel2"},
    {"Count", ProgressBar, {8, 328, 177, 9}, {}, kPlain, "Panel2"},

    {"Panel4", Panel, {160, 384, 193, 57}, {}, kRaised},
    {"Drives", DriveList, {16, 32, 169, 19}, {}, kPlain, "Panel4"},
};

constexpr ControlDesign kSplashControls[] = {
    {"Panel1", Panel, {0, 0, 471, 284}, {}, kSingleBorder | kRaised},
    {"Image1", Picture, {1, 1, 465, 280}, {}, kStretched, "Panel1", Picture::Title},
};

constexpr ControlDesign kAboutControls[] = {
    {"Image1", Picture, {0, 0, 300, 200}, {}, kPlain, {}, Picture::Title},
    {"Bevel1", Bevel, {0, 0, 300, 200}, {}, kLowered},
    {"Link1", Link, {312, 72, 92, 13}, "Link zur Homepage"},
    {"Link2", Link, {312, 96, 83, 13}, "eMail schreiben..."},
    {"SpeedButton1", FlatButton, {304, 167, 121, 25}, "Schließen", kPlain, {}, Picture::Close},
};

constexpr ControlDesign kWaitControls[] = {
    {"Panel1", Panel, {0, 0, 398, 60}, {}, kRaisedInLowered},
    {"Label3", Label, {8, 16, 385, 13}, "Ihre Daten werden verarbeitet...", kFixedSize | kCentered | kRedText, "Panel1"},
    {"Label2", Label, {8, 32, 385, 13}, "Bitte warten...", kFixedSize | kCentered, "Panel1"},
};

constexpr ControlDesign kSetPasswordControls[] = {
    {"Label1", Label, {8, 8, 272, 13}, "Sie haben ein Verzeichnis zum Verschlüsseln ausgewählt."},
    {"Label2", Label, {8, 24, 317, 13}, "Die Daten werden im folgenden kodiert und zusätzlich platzsparend"},
    {"Label3", Label, {8, 40, 61, 13}, "gespeichert. "},
    {"Label4", Label, {8, 64, 320, 13}, "Damit keine andere Person die Daten dekodieren kann, können Sie"},
    {"Label5", Label, {8, 80, 311, 13}, "nun ein Passwort festlegen (ansonsten lassen Sie das Feld frei...) ."},
    {"Label6", Label, {8, 112, 128, 13}, "Passwort (falls gewünscht):"},
    {"Pw", Edit, {8, 128, 193, 21}},
    {"BitBtn1", PushButton, {224, 128, 97, 25}, "OK", kDefaultButton, {}, Picture::Ok},
    // A row of its own below the field and the button; the dialog grows by that row.
    {"Verschluesseln", CheckBox, {8, 160, 313, 17}, "Inhalt mit dem Passwort verschlüsseln"},
};

constexpr ControlDesign kEnterPasswordControls[] = {
    {"Label1", Label, {8, 8, 339, 13}, "Bitte geben Sie das Passwort ein, das Sie berechtigt, dieses Verzeichnis"},
    {"Label2", Label, {8, 24, 76, 13}, "zu dekodieren..."},
    {"pw", PasswordEdit, {8, 40, 217, 21}},
    {"BitBtn1", PushButton, {248, 40, 97, 25}, "OK", kDefaultButton, {}, Picture::Ok},
};
// clang-format on

}  // namespace

const WindowDesign kMainWindow{"Form1", "Kestravuna", Frame::None, 593,
                               449,     std::nullopt, false,       kMainControls};
const WindowDesign kSplashWindow{"splash", "Kestravuna",    Frame::None, 471,
                                 284,      Point{198, 104}, true,        kSplashControls};
const WindowDesign kAboutBox{
    "AboutBox", "Programminformationen", Frame::Dialog, 431, 200, std::nullopt,
    false,      kAboutControls};
const WindowDesign kWaitWindow{"Wait", "Kestravuna", Frame::None, 398,
                               60,     std::nullopt, false,       kWaitControls};
const WindowDesign kSetPasswordDialog{
    "Passwort", "Passwort festlegen...", Frame::ToolWindow, 329, 181, Point{219, 163},
    false,      kSetPasswordControls};
const WindowDesign kEnterPasswordDialog{"Passwort2",     "Passwort", Frame::ToolWindow,     352, 67,
                                        Point{308, 202}, false,      kEnterPasswordControls};

bool IsInTitleStrip(int x, int y, int windowWidth) {
  return 0 < x && x < windowWidth - 1 && 0 < y && y < 15;
}

}  // namespace kestravuna::app
