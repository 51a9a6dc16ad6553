// Start-up of Torvex: the application object runs the main window and ends
// the program when it closes.
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QVBoxLayout>

#include "dialogs/web_engine_setup.h"

int main(int argc, char* argv[]) {
  dialogs::PrepareWebEngine();
  QApplication app(argc, argv);
  app.setApplicationName("Torvex");
  // The main window comes with the window kit; until then a plain window
  // tells what the program is.
  QDialog window;
  window.setWindowTitle("Torvex");
  auto* layout = new QVBoxLayout(&window);
  layout->addWidget(new QLabel("Torvex: a disk read checker.\nThe main window is not built yet.", &window));
  window.show();
  return app.exec();
}
