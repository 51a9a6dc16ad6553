#pragma once
// Helpers of the window kit's tests.
#include <QImage>
#include <QPixmap>
#include <QString>
#include <chrono>
#include <functional>

class QWidget;

namespace ui {
class CMessageDialog;
}

namespace ui_test {

// The pixels of a picture, in one format, for comparing.
QImage Pixels(const QPixmap& pixmap);
QImage Pixels(const QImage& image);
// What a widget shows now.
QImage Grab(QWidget& widget);

// Waits, running the event loop, until cond holds; false after the timeout.
bool WaitFor(const std::function<bool()>& cond, std::chrono::milliseconds timeout = std::chrono::seconds(30));

// Shows a window and waits until it is the active one.
bool ShowActive(QWidget& window);

// Calls ShowMessage on this thread and runs `act` on the box once it is up
// (from inside the box's modal loop). A box that `act` leaves open is closed
// after a while, with a test failure. Returns ShowMessage's result.
int WithMessageBox(const char* text, const char* caption, int type, const std::function<void(ui::CMessageDialog&)>& act);

// Runs `act` on the next message box that comes up, on the UI thread.
class BoxWatcher {
 public:
  explicit BoxWatcher(std::function<void(ui::CMessageDialog&)> act);
  ~BoxWatcher();
  bool Handled() const;

 private:
  struct State;
  State* state_;
};

}  // namespace ui_test
