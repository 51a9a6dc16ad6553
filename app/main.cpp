// Start-up of Torvex: the application object runs the main window modally
// and ends the program when it closes. The program takes no arguments.
#include <QApplication>
#include <chrono>

#include "dialogs/web_engine_setup.h"
#include "app/main_dialog.h"

int main(int argc, char* argv[]) {
  dialogs::PrepareWebEngine();
  QApplication app(argc, argv);
  app.setApplicationName("Torvex");
  app.setDesktopFileName("torvex");
  // The window ends the program itself (EXIT, Escape, the close box), never
  // the last dialog of its own that closes.
  app.setQuitOnLastWindowClosed(false);
  int result = 0;
  {
    ui::CMainDialog window;
    result = window.DoModal();
  }
  return result < 0 ? 1 : 0;
}
