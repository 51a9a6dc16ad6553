// Start-up of Torvex: the application object runs the main window modally
// and ends the program when it closes. The program takes no arguments of its
// own but --help and --version, which are answered without a window.
#include <QApplication>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/main_dialog.h"
#include "app/startup_line.h"
#include "dialogs/web_engine_setup.h"

int main(int argc, char* argv[]) {
  const app::StartupLine line = app::ReadStartupLine(std::vector<std::string>(argv + 1, argv + argc), TORVEX_VERSION);
  if (!line.openWindow) {
    std::fputs(line.out.c_str(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
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
