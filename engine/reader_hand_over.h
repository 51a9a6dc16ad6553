#pragma once
// The hand-over between the thread that walks (a check's check thread, a
// rescue's rescue thread) and the reader thread that opens and reads the
// files it is given. The reader lives across files: it waits for the next
// one, works on it and waits again. A reader stalled inside the kernel
// cannot be ended on Linux, so the walker gives it up (Abandon): from then
// on it touches nothing shared, and it ends on its own once the kernel gives
// its call back. While it is inside that call it holds a place among the
// readers stuck on its device (StuckReaders, one count for the whole
// program), which it gives back as it ends.
//
// The guard is the hand-over's own mutex; the walker and the reader hold it
// too while they touch the work they share, and never across a read or a
// wait. Busy tells whether the reader is inside something that may stall
// (the reader's caller decides what: a whole file for a check, each read for
// a rescue); only a busy reader counts among the stuck when given up.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "engine/stuck_readers.h"
#include "platform/wake_signal.h"

namespace engine {

class ReaderHandOver {
 public:
  explicit ReaderHandOver(std::shared_ptr<StuckReaders> stuck) : stuckReaders_(std::move(stuck)) {}
  ReaderHandOver(const ReaderHandOver&) = delete;
  ReaderHandOver& operator=(const ReaderHandOver&) = delete;

  std::mutex& Guard() { return guard_; }

  // Walker: hands the next work over to a waiting reader; fill puts it where
  // the reader finds it, under the guard. device is the device the work lies
  // on, for the count of the stuck. busy: the reader is busy from now on
  // until it says otherwise.
  void Give(uint64_t device, bool busy, const std::function<void()>& fill) {
    {
      std::lock_guard lock(guard_);
      device_ = device;
      busy_ = busy;
      if (fill) fill();
      hasWork_ = true;
    }
    mail_.Notify();
  }

  // Walker: no more work; the reader ends once it is idle.
  void Quit() {
    {
      std::lock_guard lock(guard_);
      quit_ = true;
    }
    mail_.Notify();
  }

  // Walker: gives the reader up. A busy reader is counted among the stuck
  // readers of its device until it ends; true then. An idle one holds
  // nothing: false, and it is given up only with evenIdle (it then takes no
  // more work and ends).
  bool Abandon(bool evenIdle) {
    std::lock_guard lock(guard_);
    if (!busy_ && !evenIdle) return false;
    abandoned_ = true;
    if (busy_ && !stuck_) {
      stuck_ = true;
      stuckReaders_->Note(device_, 1);
    }
    return stuck_;
  }

  // Reader: waits for the next work; false when the reader is to end (Quit,
  // or given up).
  bool Wait() {
    for (;;) {
      const uint32_t seq = mail_.Seq();
      {
        std::lock_guard lock(guard_);
        if (quit_ || abandoned_) return false;
        if (hasWork_) {
          hasWork_ = false;
          return true;
        }
      }
      mail_.Wait(seq);
    }
  }

  // Under the guard: whether the reader has been given up, and what it is
  // doing now.
  bool AbandonedLocked() const { return abandoned_; }
  void SetBusyLocked(bool busy) { busy_ = busy; }

  // Reader, given up, once the kernel gave its call back and it let go of
  // everything: its place among the stuck readers goes back.
  void Ended() {
    std::lock_guard lock(guard_);
    if (stuck_) stuckReaders_->Note(device_, -1);
    stuck_ = false;
  }

 private:
  const std::shared_ptr<StuckReaders> stuckReaders_;
  platform::WakeSignal mail_;  // raised when work is handed over or the reader is to end
  std::mutex guard_;
  // Under guard_:
  uint64_t device_ = 0;
  bool hasWork_ = false;
  bool busy_ = false;
  bool quit_ = false;
  bool abandoned_ = false;
  bool stuck_ = false;  // counted among the stuck readers of device_
};

}  // namespace engine
