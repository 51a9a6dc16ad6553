#include "ui_test_helpers.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include "ui/message_dialog.h"

namespace ui_test {

bool WaitFor(const std::function<bool()>& cond, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!cond()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QTest::qWait(5);
  }
  return true;
}

QImage Pixels(const QImage& image) { return image.convertToFormat(QImage::Format_RGB32); }

QImage Pixels(const QPixmap& pixmap) { return Pixels(pixmap.toImage()); }

QImage Grab(QWidget& widget) { return Pixels(widget.grab()); }

bool ShowActive(QWidget& window) {
  window.show();
  window.activateWindow();
  return QTest::qWaitForWindowActive(&window);
}

struct BoxWatcher::State {
  std::function<void(ui::CMessageDialog&)> act;
  QTimer timer;
  bool handled = false;
};

BoxWatcher::BoxWatcher(std::function<void(ui::CMessageDialog&)> act) : state_(new State) {
  state_->act = std::move(act);
  state_->timer.setInterval(5);
  State* s = state_;
  QObject::connect(&s->timer, &QTimer::timeout, [s] {
    auto* box = qobject_cast<ui::CMessageDialog*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible() || s->handled) return;
    s->handled = true;
    s->timer.stop();
    QPointer<ui::CMessageDialog> guard(box);
    s->act(*box);
    // A box the test did not answer must not hang the test program.
    if (guard) {
      QTimer::singleShot(3000, guard.data(), [guard] {
        ADD_FAILURE() << "the message box stayed open";
        if (guard) guard->done(-99);
      });
    }
  });
  state_->timer.start();
}

BoxWatcher::~BoxWatcher() { delete state_; }

bool BoxWatcher::Handled() const { return state_->handled; }

int WithMessageBox(const char* text, const char* caption, int type,
                   const std::function<void(ui::CMessageDialog&)>& act) {
  BoxWatcher watcher(act);
  const int result = ui::ShowMessage(text, caption, type);
  EXPECT_TRUE(watcher.Handled()) << "no message box came up";
  return result;
}

}  // namespace ui_test
