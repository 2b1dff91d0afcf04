// What the Windows window program decides without a window: the layout at other dots per inch,
// the title strip's drag rule, and what the folder tree and the drive list show; and the
// set-password dialog's check box, in the windows the program makes, driven by the messages the
// keyboard sends.
#include <gtest/gtest.h>

#include "app/win32/windows_api.h"

#include <commctrl.h>

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "app/win32/folder_listing.h"
#include "app/win32/layout.h"
#include "app/win32/main_window.h"
#include "app/win32/small_windows.h"
#include "app/window_design.h"
#include "protect/user_settings.h"
#include "test_support/environment.h"
#include "test_support/temp_folder.h"

namespace kestravuna::app::win32 {
namespace {

TEST(LayoutTest, DesignedLengthsScaleByDpiOver96) {
  struct Case {
    int designed, dpi, expected;
  };
  for (const Case& c : {Case{593, 96, 593}, Case{593, 120, 741}, Case{593, 144, 890},
                        Case{11, 120, 14}, Case{11, 144, 17}, Case{0, 144, 0}}) {
    EXPECT_EQ(Scaled(c.designed, c.dpi), c.expected) << c.designed << " at " << c.dpi;
  }
}

// Scaling both corners keeps controls that touch in the design touching, and keeps every
// control inside the client area or panel it lies in.
TEST(LayoutTest, ScaledControlsStayInsideTheirParentAndTouchWhereDesigned) {
  const std::array<const WindowDesign*, 6> windows = {&kMainWindow,        &kSplashWindow,
                                                      &kAboutBox,          &kWaitWindow,
                                                      &kSetPasswordDialog, &kEnterPasswordDialog};
  for (const int dpi : {120, 144, 192}) {
    for (const WindowDesign* window : windows) {
      for (const ControlDesign& control : window->controls) {
        Rect parent{0, 0, window->clientWidth, window->clientHeight};
        for (const ControlDesign& panel : window->controls) {
          if (!control.parent.empty() && panel.name == control.parent) {
            parent = {0, 0, panel.place.width, panel.place.height};
          }
        }
        const Rect scaled = Scaled(control.place, dpi);
        const Rect scaledParent = Scaled(parent, dpi);
        EXPECT_LE(scaled.left + scaled.width, scaledParent.width)
            << window->name << "." << control.name << " at " << dpi;
        EXPECT_LE(scaled.top + scaled.height, scaledParent.height)
            << window->name << "." << control.name << " at " << dpi;
      }
    }
    // The title strip's bevel and the background bevel below it.
    const Rect strip = Scaled(Rect{0, 0, 593, 17}, dpi);
    const Rect background = Scaled(Rect{0, 17, 593, 432}, dpi);
    EXPECT_EQ(strip.top + strip.height, background.top) << dpi;
  }
}

TEST(LayoutTest, TitleStripDragsFromRowOneToFourteenButNotAtTheOuterColumns) {
  struct Case {
    int x, y, dpi;
    bool drags;
  };
  // At 96 dpi the client is 593 wide; at 144 dpi 890 wide, each designed pixel 1.5 pixels.
  for (const Case& c : {
           Case{1, 1, 96, true},
           Case{0, 5, 96, false},
           Case{1, 0, 96, false},
           Case{591, 14, 96, true},
           Case{592, 14, 96, false},
           Case{300, 15, 96, false},
           Case{-1, 5, 96, false},
           Case{1, 1, 144, false},
           Case{2, 2, 144, true},
           Case{887, 10, 144, true},
           Case{888, 10, 144, false},
           Case{10, 22, 144, true},
           Case{10, 23, 144, false},
       }) {
    const int width = Scaled(kMainWindow.clientWidth, c.dpi);
    EXPECT_EQ(IsTitleStripHit(c.x, c.y, width, c.dpi), c.drags)
        << "(" << c.x << ", " << c.y << ") at " << c.dpi;
  }
}

TEST(FolderListingTest, WhichEntriesTheTreeLists) {
  struct Case {
    DWORD attributes;
    const wchar_t* name;
    bool listed;
  };
  for (const Case& c : {
           Case{FILE_ATTRIBUTE_DIRECTORY, L"Daten", true},
           Case{FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE, L"Alt",
                true},
           Case{FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN, L"Versteckt", false},
           Case{FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_SYSTEM, L"System", false},
           Case{FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT, L"Verweis", false},
           Case{FILE_ATTRIBUTE_DIRECTORY, L".git", false},
           Case{FILE_ATTRIBUTE_ARCHIVE, L"brief.txt", false},
       }) {
    EXPECT_EQ(IsListedFolder(c.attributes, c.name), c.listed)
        << std::filesystem::path(c.name).string();
  }
}

TEST(FolderListingTest, SubfoldersInTheFileSystemsCaseSortedWithoutRegardToCase) {
  const test_support::TempFolder folder;
  for (const wchar_t* name :
       {L"beta", L"Alpha", L"gamma", L".versteckt", L"Versteckt", L"System", L"\u00c4rger"}) {
    std::filesystem::create_directory(folder.path() / name);
  }
  SetFileAttributesW((folder.path() / L"Versteckt").c_str(), FILE_ATTRIBUTE_HIDDEN);
  SetFileAttributesW((folder.path() / L"System").c_str(), FILE_ATTRIBUTE_SYSTEM);
  test_support::WriteFile(folder.path() / "datei.txt", "keine Ordner");

  EXPECT_EQ(ListedSubfolders(folder.path()),
            (std::vector<std::wstring>{L"Alpha", L"beta", L"gamma", L"\u00c4rger"}));
  EXPECT_TRUE(ListedSubfolders(folder.path() / "fehlt").empty());
}

TEST(FolderListingTest, DriveListStartsAtTheShownDriveInUpperCase) {
  const std::vector<std::filesystem::path> drives = {L"C:\\", L"D:\\", L"Z:\\"};
  struct Case {
    const wchar_t* shown;
    std::vector<std::wstring> labels;
    std::size_t selected;
  };
  for (const Case& c : {
           Case{L"D:\\", {L"C:", L"D:", L"Z:"}, 1},
           Case{L"z:\\", {L"C:", L"D:", L"Z:"}, 2},
           // A drive that went away is still named, at the end.
           Case{L"e:\\", {L"C:", L"D:", L"Z:", L"E:"}, 3},
       }) {
    const DriveChoice choice = ListDrives(drives, c.shown);
    std::vector<std::wstring> labels;
    for (const DriveEntry& entry : choice.entries) labels.push_back(entry.label);
    EXPECT_EQ(labels, c.labels) << std::filesystem::path(c.shown).string();
    EXPECT_EQ(choice.selected, c.selected) << std::filesystem::path(c.shown).string();
  }
}

// The program's windows on a throw-away folder with two files, the remembered choices in a
// throw-away %APPDATA%. Wine makes windows only on a display: without one (the plain test run)
// these tests are skipped, and scripts/windows-test.sh runs them once more on a virtual display,
// where a skip fails it.
class EncryptBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HWND probe = CreateWindowExW(0, WC_STATICW, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    if (probe == nullptr) GTEST_SKIP() << "no display to make windows on";
    DestroyWindow(probe);
  }

  EncryptBoxTest() {
    // The common controls of the main window, as the program's start registers them.
    const INITCOMMONCONTROLSEX controls{
        sizeof(INITCOMMONCONTROLSEX),
        ICC_STANDARD_CLASSES | ICC_TREEVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_USEREX_CLASSES};
    InitCommonControlsEx(&controls);
    test_support::WriteFile(folder / "brief.txt", "Sehr geehrte Damen und Herren,\r\n");
    test_support::WriteFile(folder / "daten.bin", std::string(50'000, 'd'));
    std::filesystem::current_path(folder.path());
  }

  // What the program makes at its start, as the window set makes it.
  struct Windows {
    MainWindow main;
    AboutWindow about{main.Handle()};
    WaitWindow wait{main.Handle()};
    SetPasswordDialog setPassword{main};
    EnterPasswordDialog enterPassword{main};
    Windows() {
      main.Attach(
          about, wait, setPassword, enterPassword, [](HWND) { return false; }, [] {});
    }
  };

  // A key pressed and released where the focus is, through the program's message handling.
  static void Press(WPARAM key) {
    for (const UINT message : {WM_KEYDOWN, WM_KEYUP}) {
      MSG sent{GetFocus(), message, key, 0, 0, {}};
      DispatchMessageOf(sent);
    }
    PumpPendingMessages();
  }

  test_support::TempFolder appData;
  test_support::ScopedEnvironment appDataVariable{"APPDATA", appData.path().string()};
  test_support::ScopedWorkingDirectory workingDirectoryPutBack;
  test_support::TempFolder folder;
};

TEST_F(EncryptBoxTest, HasARowOfItsOwnBelowTheFieldAndOkAndStartsAsRemembered) {
  for (const bool remembered : {false, true}) {
    RememberEncryption(remembered);
    Windows windows;
    const SetPasswordDialog& dialog = windows.setPassword;
    const int dpi = dialog.Dpi();
    RECT client;
    GetClientRect(dialog.Handle(), &client);
    EXPECT_EQ(client.right, Scaled(329, dpi));
    EXPECT_EQ(client.bottom, Scaled(181, dpi));
    // Each control's place in the dialog's client area; the field and OK stay where they were.
    const auto placeOf = [&](std::string_view name) {
      RECT place;
      GetWindowRect(dialog.ControlWindow(name), &place);
      MapWindowPoints(nullptr, dialog.Handle(), reinterpret_cast<POINT*>(&place), 2);
      return std::array<LONG, 4>{place.left, place.top, place.right, place.bottom};
    };
    const auto scaled = [dpi](Rect designed) {
      const Rect place = Scaled(designed, dpi);
      return std::array<LONG, 4>{place.left, place.top, place.left + place.width,
                                 place.top + place.height};
    };
    EXPECT_EQ(placeOf("Verschluesseln"), scaled({8, 160, 313, 17}));
    EXPECT_EQ(placeOf("Pw"), scaled({8, 128, 193, 21}));
    EXPECT_EQ(placeOf("BitBtn1"), scaled({224, 128, 97, 25}));
    EXPECT_EQ(dialog.Text("Verschluesseln"), L"Inhalt mit dem Passwort verschl\u00fcsseln");
    const LONG_PTR style = GetWindowLongPtrW(dialog.ControlWindow("Verschluesseln"), GWL_STYLE);
    EXPECT_EQ(style & BS_TYPEMASK, BS_AUTOCHECKBOX);
    EXPECT_TRUE(style & WS_TABSTOP);
    EXPECT_EQ(dialog.IsChecked("Verschluesseln"), remembered) << remembered;
  }
}

TEST_F(EncryptBoxTest, TabReachesItSpaceTogglesItAndOkRemembersItForTheNextStart) {
  {
    Windows windows;
    SetPasswordDialog& dialog = windows.setPassword;
    dialog.ShowModeless();
    ASSERT_EQ(GetFocus(), dialog.ControlWindow("Pw"));
    SetWindowTextW(dialog.ControlWindow("Pw"), L"Geheim");
    // The field, OK, the box, and round again.
    for (const char* next : {"BitBtn1", "Verschluesseln", "Pw", "BitBtn1", "Verschluesseln"}) {
      Press(VK_TAB);
      ASSERT_EQ(GetFocus(), dialog.ControlWindow(next)) << next;
    }
    for (const bool checked : {true, false, true}) {
      Press(VK_SPACE);
      EXPECT_EQ(dialog.IsChecked("Verschluesseln"), checked);
    }
    Press(VK_RETURN);  // Enter in the box presses OK
    EXPECT_FALSE(dialog.IsVisible());
    EXPECT_EQ(test_support::ReadFile(folder / "CHIFF.CRY").substr(0, 6), "KVSEAL");  // encrypted
    EXPECT_TRUE(RememberedEncryption());
  }
  Windows nextStart;
  EXPECT_TRUE(nextStart.setPassword.IsChecked("Verschluesseln"));
}

}  // namespace
}  // namespace kestravuna::app::win32
