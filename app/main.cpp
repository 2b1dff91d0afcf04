// kestravuna: the window program. `kestravuna FOLDER` starts with FOLDER chosen.
#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "app/qt/designed_widgets.h"
#include "app/qt/message_service.h"
#include "app/qt/pictures.h"
#include "app/qt/window_set.h"
#include "protect/folder_protector.h"

namespace {

bool HasDisplay() {
  return std::getenv("DISPLAY") != nullptr || std::getenv("WAYLAND_DISPLAY") != nullptr ||
         std::getenv("QT_QPA_PLATFORM") != nullptr;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (!HasDisplay()) {
    std::fprintf(stderr, "kestravuna: no display; kestravuna-cli works without one.\n");
    return 1;
  }
  QApplication application(argc, argv);
  QApplication::setApplicationName("Kestravuna");
  QApplication::setDesktopFileName("org.example.Kestravuna");
  QApplication::setQuitOnLastWindowClosed(false);  // the quit question alone ends the program
  QApplication::setWindowIcon(QIcon(kestravuna::app::DrawPicture(kestravuna::app::Picture::Logo)));
  kestravuna::app::LoadDesignedFonts();
  // A folder on the command line (a file manager's "Open with") is chosen as if picked in the
  // tree: it becomes the working directory before the main window presents it.
  if (argc > 1) {
    kestravuna::app::RunHandler([&] { kestravuna::FolderProtector::StartIn(argv[1]); });
  }
  kestravuna::app::WindowSet windows;
  windows.Start();
  return QApplication::exec();
}
