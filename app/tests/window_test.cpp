// The window program driven as a user drives it: widgets found by their designed names,
// clicked and typed into with Qt Test; message boxes answered through the message service.
#include <QAbstractButton>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <QtTest>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/qt/folder_tree.h"
#include "app/qt/message_service.h"
#include "app/qt/window_set.h"
#include "platform/file_system.h"
#include "protect/message_boxes.h"
#include "test_support/environment.h"
#include "test_support/temp_folder.h"

namespace kestravuna::app {
namespace {

namespace fs = std::filesystem;
using test_support::ReadFile;
using test_support::Snapshot;
using test_support::TempFolder;
using test_support::WriteFile;

// Catches what the links hand to the desktop.
class UrlCatcher : public QObject {
  Q_OBJECT
 public:
  std::vector<QUrl> opened;
 public Q_SLOTS:
  void open(const QUrl& url) { opened.push_back(url); }
};

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private:
  // Each test: a private cache, a fresh folder with two files and a subfolder as the working
  // directory, every box recorded and questions answered with `answer`.
  struct Fixture {
    TempFolder cache;
    test_support::ScopedEnvironment cacheVariable{"XDG_CACHE_HOME", cache.path().string()};
    test_support::ScopedWorkingDirectory workingDirectoryPutBack;
    TempFolder folder;
    std::vector<MessageBox> boxes;
    bool answer = false;

    Fixture() {
      WriteFile(folder / "brief.txt", "Sehr geehrte Damen und Herren,\n");
      WriteFile(folder / "daten.bin", std::string(50'000, 'd'));
      fs::create_directory(folder / "unter");
      fs::current_path(folder.path());
      MessageService::AnswerWith([this](const MessageBox& box) {
        boxes.push_back(box);
        return answer;
      });
    }
    ~Fixture() { MessageService::AnswerWith({}); }

    std::vector<std::string> Captions() const {
      std::vector<std::string> captions;
      for (const MessageBox& box : boxes) captions.push_back(box.caption);
      return captions;
    }
  };

  static QString Text(const QWidget& window, const char* label) {
    return ControlOf<QLabel>(window, label).text();
  }
  static QAbstractButton& Button(const QWidget& window, const char* name) {
    return ControlOf<QAbstractButton>(window, name);
  }
  static void Click(const QWidget& window, const char* name) {
    QTest::mouseClick(&Button(window, name), Qt::LeftButton);
  }
  // The program's start-up; returns when the first activation has hidden the splash window.
  static void Start(WindowSet& windows) {
    windows.Start();
    QTRY_VERIFY(windows.form1.isVisible() && !windows.splash.isVisible());
  }
  static void Protect(WindowSet& windows, const QString& password) {
    Click(windows.form1, "code");
    QVERIFY(windows.passwort.isVisible());
    auto& field = ControlOf<QLineEdit>(windows.passwort, "Pw");
    field.clear();
    QTest::keyClicks(&field, password);
    QTest::keyClick(&field, Qt::Key_Return);
  }
  static void Restore(WindowSet& windows, const QString& password) {
    Click(windows.form1, "decode");
    QVERIFY(windows.passwort2.isVisible());
    auto& field = ControlOf<QLineEdit>(windows.passwort2, "pw");
    field.clear();
    QTest::keyClicks(&field, password);
    Click(windows.passwort2, "BitBtn1");
  }
  // Whether `action` ends the program.
  static bool EndsWhen(const std::function<void()>& action) {
    bool ended = false;
    SetProgramEnd([&ended] { ended = true; });
    action();
    SetProgramEnd({});
    return ended;
  }

 private Q_SLOTS:
  void startsInTheWorkingDirectoryAndCountsIt() {
    Fixture fixture;
    WindowSet windows;
    QVERIFY(!windows.splash.isVisible() && !windows.form1.isVisible());  // all hidden at first
    Start(windows);
    QCOMPARE(Text(windows.form1, "aktOrdner"), QString::fromStdString(fixture.folder.path()));
    QCOMPARE(Text(windows.form1, "anzSubFolder"), "1");
    QCOMPARE(Text(windows.form1, "anzFiles"), "2");
    QCOMPARE(Text(windows.form1, "anzSize"), "0.05 MB");
    QCOMPARE(Text(windows.form1, "aktiv"), "bereit");
    QVERIFY(Button(windows.form1, "code").isEnabled());
    QVERIFY(!Button(windows.form1, "decode").isEnabled());
    QCOMPARE(ControlOf<FolderTree>(windows.form1, "Folders").SelectedFolder(),
             fixture.folder.path());
    QVERIFY(fixture.boxes.empty());
  }

  void startingInTheRootRefusesItBeforeAnyWindowIsShown() {
    Fixture fixture;
    fs::current_path(platform::FirstDiskRoot());
    bool windowVisibleAtRefusal = true;
    std::unique_ptr<WindowSet> windows;
    MessageService::AnswerWith([&](const MessageBox& box) {
      fixture.boxes.push_back(box);
      windowVisibleAtRefusal = windows != nullptr;  // the main window is still being made
      return false;
    });
    windows = std::make_unique<WindowSet>();
    QCOMPARE(fixture.Captions(), std::vector<std::string>{RootFolderRefusedBox().caption});
    QVERIFY(!windowVisibleAtRefusal);
    Start(*windows);
    QVERIFY(!Button(windows->form1, "code").isEnabled());
    QVERIFY(!Button(windows->form1, "decode").isEnabled());
    QCOMPARE(Text(windows->form1, "anzFiles"), "Scan abgebrochen");
  }

  void choosingAFolderInTheTreeMakesItCurrent() {
    Fixture fixture;
    WindowSet windows;
    Start(windows);
    auto& tree = ControlOf<FolderTree>(windows.form1, "Folders");
    tree.currentItem()->setExpanded(true);
    QTreeWidgetItem* subfolder = tree.currentItem()->child(0);
    QCOMPARE(subfolder->text(0), "unter");
    tree.setCurrentItem(subfolder);
    QCOMPARE(platform::WorkingDirectory(), fixture.folder / "unter");
    QCOMPARE(Text(windows.form1, "aktOrdner"), QString::fromStdString(fixture.folder / "unter"));
    QCOMPARE(Text(windows.form1, "anzFiles"), "0");
  }

  void theRootChosenInTheTreeIsRefused() {
    Fixture fixture;
    WindowSet windows;
    Start(windows);
    auto& tree = ControlOf<FolderTree>(windows.form1, "Folders");
    tree.ShowDrive(platform::FirstDiskRoot());
    tree.ShowFolder(fixture.folder.path());
    tree.setCurrentItem(tree.topLevelItem(0));  // the root of the first disk
    QCOMPARE(fixture.Captions(), std::vector<std::string>{RootFolderRefusedBox().caption});
    QVERIFY(!Button(windows.form1, "code").isEnabled());
    QVERIFY(!Button(windows.form1, "decode").isEnabled());
  }

  void aFolderThatHasGoneEndsInTheErrorBoxAndTheTreeGoesBack() {
    Fixture fixture;
    WindowSet windows;
    Start(windows);
    auto& tree = ControlOf<FolderTree>(windows.form1, "Folders");
    tree.currentItem()->setExpanded(true);
    fs::remove(fixture.folder / "unter");
    tree.setCurrentItem(tree.currentItem()->child(0));
    QCOMPARE(fixture.boxes.size(), std::size_t{1});
    QCOMPARE(fixture.boxes[0].caption, "Kestravuna");
    QCOMPARE(fixture.boxes[0].icon, BoxIcon::Error);
    QVERIFY(fixture.boxes[0].text.ends_with("unter."));
    QCOMPARE(tree.SelectedFolder(), fixture.folder.path());
    QCOMPARE(platform::WorkingDirectory(), fixture.folder.path());
  }

  void cancelStopsEveryRescanUntilAnotherFolderIsChosen() {
    Fixture fixture;
    WindowSet windows;
    Start(windows);
    Click(windows.form1, "SpeedButton6");
    windows.form1.FormActivate();  // as when a dialog gives the focus back
    QCOMPARE(Text(windows.form1, "anzFiles"), "Scan abgebrochen");
  }

  void protectsAndRestoresThroughTheButtonsAndDialogs() {
    Fixture fixture;
    const auto before = Snapshot(fixture.folder.path());
    WindowSet windows;
    Start(windows);
    Protect(windows, "Geheim");
    QVERIFY(!windows.passwort.isVisible());
    QVERIFY(fs::exists(fixture.folder / "CHIFF.CRY") && fs::exists(fixture.folder / "CHIFF.CRD"));
    QVERIFY(!fs::exists(fixture.folder / "brief.txt"));
    QVERIFY(!Button(windows.form1, "code").isEnabled());
    QVERIFY(Button(windows.form1, "decode").isEnabled());
    QVERIFY(!windows.wait.isVisible());
    QVERIFY(fixture.boxes.empty());

    Restore(windows, "Geheim");
    QCOMPARE(Snapshot(fixture.folder.path()), before);
    QVERIFY(Button(windows.form1, "code").isEnabled());
    QVERIFY(!Button(windows.form1, "decode").isEnabled());
    QCOMPARE(Text(windows.form1, "aktiv"), "bereit");  // the rescan after the run
    QVERIFY(fixture.boxes.empty());
  }

  void aWrongPasswordIsRefusedInItsBox() {
    Fixture fixture;
    WindowSet windows;
    Start(windows);
    Protect(windows, "Geheim");
    Restore(windows, "falsch");
    QCOMPARE(fixture.Captions(), std::vector<std::string>{WrongPasswordBox().caption});
    QCOMPARE(fixture.boxes[0].owner, BoxOwner::None);
    QVERIFY(fs::exists(fixture.folder / "CHIFF.CRY"));
    QVERIFY(!fs::exists(fixture.folder / "brief.txt"));
  }

  void anEmptyPasswordIsNotedOnceAndRestoresWithAnEmptyField() {
    Fixture fixture;
    WindowSet windows;
    Start(windows);
    Protect(windows, "");
    QCOMPARE(fixture.Captions(), std::vector<std::string>{"Sicherheitshinweis"});
    QCOMPARE(fixture.boxes[0].text,
             "Sie haben kein Passwort festgelegt. Das Verzeichnis wird ohne Passwort "
             "verschlüsselt!");
    Restore(windows, "");
    QCOMPARE(fixture.boxes.size(), std::size_t{1});  // the restore dialog notes nothing
    QCOMPARE(ReadFile(fixture.folder / "brief.txt"), "Sehr geehrte Damen und Herren,\n");
  }

  void theDialogsKeepTheirTextAndOnlyTheRestoreFieldIsMasked() {
    Fixture fixture;
    WindowSet windows;
    Start(windows);
    auto& setField = ControlOf<QLineEdit>(windows.passwort, "Pw");
    auto& enterField = ControlOf<QLineEdit>(windows.passwort2, "pw");
    QCOMPARE(setField.echoMode(), QLineEdit::Normal);
    QCOMPARE(enterField.echoMode(), QLineEdit::Password);
    Protect(windows, "   ");  // blanks are a password
    QVERIFY(fixture.boxes.empty());
    Click(windows.form1, "decode");
    QCOMPARE(setField.text(), "   ");
    Restore(windows, "   ");
    QVERIFY(fs::exists(fixture.folder / "brief.txt"));
    Click(windows.form1, "decode");  // not enabled now: nothing opens
    QVERIFY(!windows.passwort2.isVisible());
    QCOMPARE(enterField.text(), "   ");
  }

  void theQuitQuestionEndsTheProgramOnlyOnYes() {
    Fixture fixture;
    WindowSet windows;
    Start(windows);
    struct Case {
      const char* how;
      std::function<void()> ask;
    };
    const std::vector<Case> cases = {
        {"Beenden", [&] { Click(windows.form1, "SpeedButton3"); }},
        {"close symbol", [&] { Click(windows.form1, "BitBtn1"); }},
        {"system close request", [&] { windows.form1.close(); }},
    };
    for (const Case& each : cases) {
      fixture.boxes.clear();
      fixture.answer = false;
      QVERIFY2(!EndsWhen(each.ask), each.how);
      QVERIFY2(windows.form1.isVisible(), each.how);
      QCOMPARE(fixture.Captions(), std::vector<std::string>{QuitQuestionBox().caption});
      QCOMPARE(fixture.boxes[0].text, "Wollen Sie Kestravuna wirklich beenden ?");
      fixture.answer = true;
      QVERIFY2(EndsWhen(each.ask), each.how);
      QVERIFY2(windows.form1.isVisible(), each.how);  // it closes when the program ends
    }
  }

  void aRunningProtectRefusesASecondRunAndEndsBeforeQuitting() {
    Fixture fixture;
    // Enough data for the run to pump events many times.
    WriteFile(fixture.folder / "gross.bin",
              test_support::TextOf(test_support::RandomBytes(3'000'000, 7)));
    WindowSet windows;
    Start(windows);
    bool sawBusyWindow = false;
    bool secondRunStarted = false;
    bool quitAsked = false;
    bool endedDuringTheRun = false;
    bool ended = false;
    SetProgramEnd([&] {
      ended = true;
      endedDuringTheRun = windows.form1.Protector().IsBusy();
    });
    QTimer during;
    connect(&during, &QTimer::timeout, [&] {
      if (!windows.form1.Protector().IsBusy()) return;
      if (!quitAsked) {  // "&Ja" in the middle of the run lets it finish first
        quitAsked = true;
        fixture.answer = true;
        Click(windows.form1, "SpeedButton3");
        fixture.boxes.clear();
      }
      sawBusyWindow =
          sawBusyWindow || (windows.wait.isVisible() &&
                            !ControlOf<FolderTree>(windows.form1, "Folders").isEnabled() &&
                            !ControlOf<DriveList>(windows.form1, "Drives").isEnabled() &&
                            !Button(windows.form1, "code").isEnabled() &&
                            !Button(windows.form1, "decode").isEnabled());
      windows.form1.DecodeFolder("Geheim");  // refused while busy: no box, no change
      windows.form1.EncodeFolder("anders");
      secondRunStarted = secondRunStarted || !fixture.boxes.empty();
    });
    during.start(0);
    Protect(windows, "Geheim");
    during.stop();
    SetProgramEnd({});
    QVERIFY(sawBusyWindow);
    QVERIFY(!secondRunStarted);
    QVERIFY(quitAsked && ended && !endedDuringTheRun);
    QVERIFY(fs::exists(fixture.folder / "CHIFF.CRD"));
    QVERIFY(ControlOf<FolderTree>(windows.form1, "Folders").isEnabled());
    QVERIFY(Button(windows.form1, "decode").isEnabled());
    Restore(windows, "Geheim");  // the record holds the first run's password
    QVERIFY(fs::exists(fixture.folder / "gross.bin"));
  }

  void theTitleStripDragsTheWindow() {
    Fixture fixture;
    WindowSet windows;
    Start(windows);
    TForm1& form = windows.form1;
    auto& strip = ControlOf<QLabel>(form, "Label1");
    struct Case {
      QPoint press;  // in the window's client pixels
      bool drags;
    };
    const std::vector<Case> cases = {
        {{100, 5}, true},    {{1, 1}, true},     {{575, 14}, true},
        {{100, 0}, false},   {{100, 15}, false}, {{0, 5}, false},
        {{300, 200}, false}, {{585, 8}, false},  // the close symbol keeps its press
    };
    for (const Case& each : cases) {
      const QPoint start = form.pos();
      // Through the window system, so the press lands on the control under the pointer (the
      // title strip's label) and goes on to the window as a real one does.
      QWindow* window = form.windowHandle();
      QTest::mousePress(window, Qt::LeftButton, {}, each.press);
      const QPoint away(300, 200);
      QTest::mouseMove(window, away);
      QTest::mouseRelease(window, Qt::LeftButton, {}, away);
      QVERIFY2((form.pos() != start) == each.drags,
               qPrintable(QString("press at %1,%2").arg(each.press.x()).arg(each.press.y())));
    }
    QVERIFY(fixture.boxes.empty());
    QTest::mouseClick(form.windowHandle(), Qt::LeftButton, {}, QPoint(585, 8));
    QCOMPARE(fixture.Captions(), std::vector<std::string>{QuitQuestionBox().caption});
    QCOMPARE(form.childAt(QPoint(100, 5)), &strip);
  }

  void theAboutBoxOpensItsLinksAndClosesIntoARescan() {
    Fixture fixture;
    WindowSet windows;
    Start(windows);
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("https", &catcher, "open");
    QDesktopServices::setUrlHandler("mailto", &catcher, "open");
    Click(windows.form1, "SpeedButton4");
    QVERIFY(windows.aboutBox.isVisible());
    QCOMPARE(windows.aboutBox.windowTitle(), "Programminformationen");
    QTest::mousePress(&ControlOf<QLabel>(windows.aboutBox, "Link1"), Qt::LeftButton);
    QTest::mousePress(&ControlOf<QLabel>(windows.aboutBox, "Link2"), Qt::LeftButton);
    QDesktopServices::unsetUrlHandler("https");
    QDesktopServices::unsetUrlHandler("mailto");
    QCOMPARE(catcher.opened.size(), std::size_t{2});
    QCOMPARE(catcher.opened[0].toString(), QString::fromUtf8(kHomepageAddress));
    QCOMPARE(catcher.opened[1].toString(), QString::fromUtf8(kMailAddress));

    WriteFile(fixture.folder / "neu.txt", "neu");
    Click(windows.aboutBox, "SpeedButton1");
    QVERIFY(!windows.aboutBox.isVisible());
    QTRY_COMPARE(Text(windows.form1, "anzFiles"), "3");  // the activation counted afresh
  }

  void theWaitWindowKeepsThePlaceOfItsFirstShowing() {
    Fixture fixture;
    WindowSet windows;
    windows.form1.ShowWaitWindow();
    const QPoint first = windows.wait.pos();
    windows.form1.HideWaitWindow();
    windows.wait.move(first + QPoint(10, 10));
    windows.form1.ShowWaitWindow();
    QCOMPARE(windows.wait.pos(), first + QPoint(10, 10));
    QCOMPARE(ControlOf<QLabel>(windows.wait, "Label3").text(), "Ihre Daten werden verarbeitet...");
    windows.form1.HideWaitWindow();
  }

  void everyWindowHasItsDesignedCaptionAndSize() {
    Fixture fixture;
    WindowSet windows;
    struct Case {
      const QWidget* window;
      const char* name;
      const char* caption;
      QSize client;
    };
    const std::vector<Case> cases = {
        {&windows.form1, "Form1", "Kestravuna", {593, 449}},
        {&windows.splash, "splash", "Kestravuna", {471, 284}},
        {&windows.aboutBox, "AboutBox", "Programminformationen", {431, 200}},
        {&windows.wait, "Wait", "Kestravuna", {398, 60}},
        {&windows.passwort, "Passwort", "Passwort festlegen...", {329, 157}},
        {&windows.passwort2, "Passwort2", "Passwort", {352, 67}},
    };
    for (const Case& each : cases) {
      QCOMPARE(each.window->objectName(), each.name);
      QCOMPARE(each.window->windowTitle(), each.caption);
      QCOMPARE(each.window->size(), each.client);
    }
    QCOMPARE(ControlOf<QWidget>(windows.form1, "code").geometry(), QRect(360, 384, 217, 25));
    QCOMPARE(Button(windows.form1, "SpeedButton6").text(), "Vorgang abbrechen...");
    QVERIFY(windows.form1.windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(windows.splash.windowFlags() & Qt::WindowStaysOnTopHint);
  }
};

}  // namespace kestravuna::app

QTEST_MAIN(kestravuna::app::WindowTest)
#include "window_test.moc"
