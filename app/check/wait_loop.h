#pragma once
// The main thread of torvex-check while the engine's threads check or
// rescue: it sleeps on the wake pipe they write to and on the signalfd of
// the stop signals, keeps the status line going, and hands every stop
// signal to its caller. Nothing is ever done in a signal handler.
#include <chrono>
#include <functional>

namespace check {

struct WaitLoop {
  using Clock = std::chrono::steady_clock;

  int signalFd = -1;  // a signalfd of SIGINT and SIGTERM, non-blocking
  int wakeFd = -1;    // the read end of the wake pipe, non-blocking

  // True once the run has ended; asked before every wait.
  std::function<bool()> finished;
  // A stop signal came; first is true for the first one of this loop. Says
  // how much longer the loop waits for the run to end by itself (the loop
  // keeps the earliest of these ends).
  std::function<Clock::duration(int signal, bool first)> stop;
  // Draws the status line: called at most once in kRedrawPeriod, the first
  // time a period after the loop starts. None: no status line.
  std::function<void(Clock::time_point now)> redraw;
  // Called once a second from firstTick on. None: no timer.
  std::function<void()> tick;
  Clock::time_point firstTick;

  static constexpr std::chrono::milliseconds kRedrawPeriod{100};

  // Waits until the run has ended, or a stop signal came and the time it
  // gave the run to end has passed. Returns the first stop signal, 0 when
  // none came.
  int Run() const;
};

}  // namespace check
