#include "app/win32/main_window.h"

#include "app/win32/layout.h"
#include "app/win32/message_boxes.h"
#include "app/win32/small_windows.h"
#include "app/win32/text.h"

namespace kestravuna::app::win32 {

MainWindow::MainWindow()
    : DesignedWindow(kMainWindow),
      folders_(ControlWindow("Folders")),
      drives_(ControlWindow("Drives")),
      protector_(*this) {
  folders_.OnFolderSelected([this](const std::filesystem::path& folder) { FolderChosen(folder); });
  drives_.OnDriveChosen([this](const std::filesystem::path& drive) {
    RunHandler([&] { protector_.ChooseDrive(drive); });
  });
  // The tree presents the working directory on its drive, which chooses that folder.
  const std::filesystem::path start = protector_.CurrentFolder();
  drives_.ShowDrive(protector_.lastDrive());
  folders_.ShowDrive(protector_.lastDrive());
  folders_.ShowFolder(start);
  RunHandler([&] { protector_.ChooseFolder(start); });
}

void MainWindow::Attach(AboutWindow& about, WaitWindow& wait, SetPasswordDialog& setPassword,
                        EnterPasswordDialog& enterPassword, std::function<bool(HWND)> isSecondary,
                        std::function<void()> firstActivation) {
  about_ = &about;
  wait_ = &wait;
  setPassword_ = &setPassword;
  enterPassword_ = &enterPassword;
  isSecondary_ = std::move(isSecondary);
  firstActivation_ = std::move(firstActivation);
}

void MainWindow::Protect(const std::string& typed, bool encrypt) {
  RunHandler([&] { protector_.ProtectWithTypedPassword(typed, {.encrypt = encrypt}); });
}

void MainWindow::Restore(const std::string& typed) {
  RunHandler([&] { protector_.RestoreWithTypedPassword(typed); });
}

void MainWindow::OnCommand(std::string_view control, int notification) {
  if (control == "Drives") return drives_.Command(notification);
  if (notification != BN_CLICKED) return;
  RunHandler([&] {
    if (control == "code") setPassword_->ShowModeless();
    if (control == "decode") enterPassword_->ShowModeless();
    if (control == "SpeedButton4") about_->ShowModeless();
    // The close symbol performs a click of "Beenden".
    if (control == "SpeedButton3" || control == "BitBtn1") AskToQuit();
    if (control == "SpeedButton6") protector_.CancelScan();
  });
}

LRESULT MainWindow::OnNotify(std::string_view control, NMHDR& header) {
  return control == "Folders" ? folders_.Notify(header) : 0;
}

bool MainWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  switch (message) {
    case WM_NCHITTEST: {
      // The title strip drags the window: the system is told it is a caption there.
      result = DefWindowProcW(Handle(), message, wParam, lParam);
      POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      ScreenToClient(Handle(), &at);
      RECT client;
      GetClientRect(Handle(), &client);
      if (result == HTCLIENT && IsTitleStripHit(at.x, at.y, client.right, Dpi())) {
        result = HTCAPTION;
      }
      return true;
    }
    case WM_ACTIVATE:
      // Counted afresh when the focus comes from another window of the program (the first
      // time from anywhere); not from another program, nor from a message box.
      if (LOWORD(wParam) != WA_INACTIVE &&
          (!activatedOnce_ || (isSecondary_ && isSecondary_(reinterpret_cast<HWND>(lParam))))) {
        activatedOnce_ = true;
        Activated();
      }
      return false;
    default:
      return false;
  }
}

void MainWindow::OnClose() {
  RunHandler([this] { AskToQuit(); });
}

void MainWindow::Activated() {
  RunHandler([this] {
    protector_.WindowActivated();
    ShowProgress(0);
  });
  if (firstActivation_) firstActivation_();
}

void MainWindow::AskToQuit() {
  if (Ask(QuitQuestionBox())) RequestQuit();
}

void MainWindow::FolderChosen(const std::filesystem::path& folder) {
  RunHandler([&] {
    try {
      protector_.ChooseFolder(folder);
    } catch (...) {
      // The folder is gone or closed to us: the tree goes back to the folder that is chosen.
      folders_.ShowFolder(protector_.CurrentFolder());
      throw;
    }
  });
}

void MainWindow::ShowStatus(std::string_view text) { SetText("aktiv", Wide(text)); }

void MainWindow::ShowFolder(const std::filesystem::path& folder) {
  SetText("aktOrdner", folder.native());
}

void MainWindow::ShowStatistic(Statistic figure, std::string_view text) {
  static constexpr std::array<std::string_view, 3> kLabels = {"anzSubFolder", "anzFiles",
                                                              "anzSize"};
  SetText(kLabels[static_cast<std::size_t>(figure)], Wide(text));
}

void MainWindow::ShowProgress(int position) {
  SendMessageW(ControlWindow("Count"), PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void MainWindow::EnableAction(Action action, bool enabled) {
  (action == Action::Protect ? protectEnabled_ : restoreEnabled_) = enabled;
  ApplyEnabledStates();
}

void MainWindow::ApplyEnabledStates() {
  EnableWindow(ControlWindow("code"), protectEnabled_ && !busy_);
  EnableWindow(ControlWindow("decode"), restoreEnabled_ && !busy_);
  EnableWindow(ControlWindow("Folders"), !busy_);
  EnableWindow(ControlWindow("Drives"), !busy_);
}

void MainWindow::ShowWaitWindow() { wait_->ShowModeless(); }

void MainWindow::HideWaitWindow() { wait_->Hide(); }

void MainWindow::ShowMessage(const MessageBox& box) { ShowBox(box); }

void MainWindow::PumpMessages() { PumpPendingMessages(); }

void MainWindow::SetBusy(bool busy) {
  busy_ = busy;
  ApplyEnabledStates();
}

void MainWindow::ShowDrive(const std::filesystem::path& drive) {
  drives_.ShowDrive(drive);
  folders_.ShowDrive(drive);
}

void DispatchMessageOf(MSG& message) {
  // Tab, Enter and Escape work in every window of the set as in a dialog.
  HWND root = message.hwnd != nullptr ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
  if (root != nullptr && DesignedWindow::IsDesignedWindow(root) &&
      IsDialogMessageW(root, &message)) {
    return;
  }
  TranslateMessage(&message);
  DispatchMessageW(&message);
}

void PumpPendingMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // The end was asked for: the message loop sees it once the running work is done.
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    DispatchMessageOf(message);
  }
}

}  // namespace kestravuna::app::win32
