// kestravuna.exe: the window program. `kestravuna.exe FOLDER` starts with FOLDER chosen.
#include "app/win32/windows_api.h"

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include "app/win32/main_window.h"
#include "app/win32/message_boxes.h"
#include "app/win32/window_set.h"
#include "protect/folder_protector.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // The shell's pictures and its "open" action work through COM.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  const INITCOMMONCONTROLSEX controls{
      sizeof(INITCOMMONCONTROLSEX),
      ICC_STANDARD_CLASSES | ICC_TREEVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_USEREX_CLASSES};
  InitCommonControlsEx(&controls);
  // A folder on the command line (the folder's "Mit Kestravuna öffnen") becomes the working
  // directory before the main window presents it.
  int count = 0;
  if (LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count)) {
    if (count > 1) {
      kestravuna::app::win32::RunHandler(
          [&] { kestravuna::FolderProtector::StartIn(arguments[1]); });
    }
    LocalFree(arguments);
  }
  kestravuna::app::win32::WindowSet windows;
  windows.Start();
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    kestravuna::app::win32::DispatchMessageOf(message);
  }
  return 0;
}
