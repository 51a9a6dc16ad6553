#pragma once
// The stall watchdog, in one piece. Three threads take part:
//   - the UI thread's one-second timer counts it up (Tick);
//   - the reader sets it back before it asks for each block (Reset), and the
//     check thread does so before it hands a file over;
//   - the check thread, while it waits for the reader, sleeps on it and
//     compares the count with the delay time (WaitForReader): a block that has
//     not come back after that many ticks has stalled, and the reader is given
//     up.
// Every tick, and every file a reader ends (Wake), wakes the waiting check
// thread, which therefore never polls.
#include <cstdint>

#include "platform/relaxed.h"
#include "platform/wake_signal.h"

namespace engine {

class Watchdog {
 public:
  // UI thread: one more second without a block.
  void Tick() {
    ++ticks_;
    wake_.Notify();
  }
  // The reader before each block; the check thread before a file.
  void Reset() { ticks_ = 0; }
  int32_t Ticks() const { return ticks_; }
  // Something the check thread may be waiting for has happened (a reader
  // ended its file, the window closed, a run ended).
  void Wake() { wake_.Notify(); }

  // Check thread: sleeps until ended() holds (true), or until halted() holds
  // or delaySeconds ticks have passed since the last Reset (false). ended is
  // looked at after halted and the count, and only while neither holds.
  template <typename Halted, typename Ended>
  bool WaitForReader(int delaySeconds, Halted halted, Ended ended) {
    for (;;) {
      const uint32_t seq = wake_.Seq();
      if (halted()) return false;
      if (ticks_ >= delaySeconds) return false;
      if (ended()) return true;
      wake_.Wait(seq);
    }
  }

 private:
  platform::Relaxed<int32_t> ticks_{0};
  platform::WakeSignal wake_;
};

}  // namespace engine
