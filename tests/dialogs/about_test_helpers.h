#pragma once
// Helpers of the About, credits and web page window tests.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

namespace about_test {

// Runs `act` on the first shown modal window of type T that comes up, from
// inside its modal loop. A window that `act` leaves open is closed (with the
// result -99) after a while, with a test failure, so that no test hangs.
template <typename T>
class ModalWatcher {
 public:
  explicit ModalWatcher(std::function<void(T&)> act, int leftOpenMs = 60000) : state_(std::make_shared<State>()) {
    state_->act = std::move(act);
    state_->timer.setInterval(5);
    std::weak_ptr<State> weak = state_;
    QObject::connect(&state_->timer, &QTimer::timeout, [weak, leftOpenMs] {
      auto s = weak.lock();
      if (!s || s->handled) return;
      T* window = qobject_cast<T*>(QApplication::activeModalWidget());
      if (window == nullptr || !window->isVisible()) return;
      s->handled = true;
      s->timer.stop();
      QPointer<T> guard(window);
      s->act(*window);
      if (guard && guard->isVisible()) {
        QTimer::singleShot(leftOpenMs, guard.data(), [guard] {
          ADD_FAILURE() << "the window stayed open";
          if (guard) guard->done(-99);
        });
      }
    });
    state_->timer.start();
  }

  bool Handled() const { return state_->handled; }

 private:
  struct State {
    std::function<void(T&)> act;
    QTimer timer;
    bool handled = false;
  };
  std::shared_ptr<State> state_;
};

// Handles events until `done` holds or `ms` milliseconds pass; `done` then.
inline bool WaitUntil(const std::function<bool()>& done, int ms) {
  QDeadlineTimer deadline(ms);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QTest::qWait(10);
  }
  return true;
}

inline QString ShotPath(const QString& name) {
  QDir().mkpath(TORVEX_SCREENSHOT_DIR);
  return QStringLiteral(TORVEX_SCREENSHOT_DIR "/") + name + ".png";
}

}  // namespace about_test
