#include "app/win32/message_boxes.h"

#include "app/win32/windows_api.h"

#include <commctrl.h>

#include <exception>

#include "app/win32/text.h"

namespace kestravuna::app::win32 {

namespace {

int runningHandlers = 0;
bool quitRequested = false;

// The question box is the system's, with its buttons named by the program: a hook renames them
// when the box is made, and Escape, which a box without a Cancel button ignores, answers
// "&Nein".
HHOOK questionHook = nullptr;

LRESULT CALLBACK EscapeAnswersNo(HWND box, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                 DWORD_PTR) {
  if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
    return DefSubclassProc(box, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED),
                           reinterpret_cast<LPARAM>(GetDlgItem(box, IDNO)));
  }
  return DefSubclassProc(box, message, wParam, lParam);
}

LRESULT CALLBACK NameQuestionButtons(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) {
    HWND box = reinterpret_cast<HWND>(wParam);
    SetDlgItemTextW(box, IDYES, L"&Ja");
    SetDlgItemTextW(box, IDNO, L"&Nein");
    SetWindowSubclass(box, EscapeAnswersNo, 1, 0);
    UnhookWindowsHookEx(questionHook);
    questionHook = nullptr;
    return 0;
  }
  return CallNextHookEx(questionHook, code, wParam, lParam);
}

UINT IconOf(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::Error:
      return MB_ICONERROR;
    case BoxIcon::Information:
      return MB_ICONINFORMATION;
    case BoxIcon::Question:
      return MB_ICONQUESTION;
  }
  return 0;
}

int Show(const MessageBox& box, UINT buttons) {
  // An application box has no single owner window: the system disables every window of the
  // program while it is open.
  const UINT modality = box.owner == BoxOwner::Application ? MB_TASKMODAL : 0;
  return MessageBoxW(nullptr, Wide(box.text).c_str(), Wide(box.caption).c_str(),
                     buttons | IconOf(box.icon) | modality | MB_SETFOREGROUND);
}

void EndIfAsked() {
  if (runningHandlers == 0 && quitRequested) {
    quitRequested = false;
    PostQuitMessage(0);
  }
}

}  // namespace

void ShowBox(const MessageBox& box) { Show(box, MB_OK); }

bool Ask(const MessageBox& question) {
  questionHook = SetWindowsHookExW(WH_CBT, NameQuestionButtons, nullptr, GetCurrentThreadId());
  const int answer = Show(question, MB_YESNO | MB_DEFBUTTON1);
  if (questionHook != nullptr) {  // the box never came up
    UnhookWindowsHookEx(questionHook);
    questionHook = nullptr;
  }
  return answer == IDYES;
}

void RunHandler(const std::function<void()>& work) {
  ++runningHandlers;
  try {
    work();
  } catch (const std::exception& error) {
    ShowBox(GeneralErrorBox(error.what()));
  } catch (...) {
    ShowBox(GeneralErrorBox("Unbekannter Fehler"));
  }
  --runningHandlers;
  EndIfAsked();
}

void RequestQuit() {
  quitRequested = true;
  EndIfAsked();
}

}  // namespace kestravuna::app::win32
