#include "app/check/wait_loop.h"

#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>

namespace check {

int WaitLoop::Run() const {
  using namespace std::chrono_literals;
  int stopSignal = 0;
  Clock::time_point deadline = Clock::time_point::max();  // after a stop signal
  Clock::time_point nextTick = tick ? firstTick : Clock::time_point::max();
  Clock::time_point lastRedraw = Clock::now();
  while (!finished()) {
    Clock::time_point until = std::min(nextTick, deadline);
    if (redraw) until = std::min(until, lastRedraw + kRedrawPeriod);
    int timeout = -1;  // nothing to wait for but the descriptors
    if (until != Clock::time_point::max()) {
      const auto wait = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
      timeout = static_cast<int>(std::max<long long>(0, wait.count()));
    }
    pollfd fds[2] = {{signalFd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    ::poll(fds, 2, timeout);

    char drain[64];
    while (::read(wakeFd, drain, sizeof drain) > 0) {
    }
    signalfd_siginfo info{};
    while (::read(signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
      const int sig = static_cast<int>(info.ssi_signo);
      const bool first = stopSignal == 0;
      if (first) stopSignal = sig;
      const Clock::duration grace = stop(sig, first);
      deadline = std::min(deadline, Clock::now() + grace);
    }

    const Clock::time_point now = Clock::now();
    if (tick && now >= nextTick) {
      tick();
      nextTick = std::max(nextTick + 1s, now + 1ms);
    }
    if (redraw && now - lastRedraw >= kRedrawPeriod) {
      lastRedraw = now;
      redraw(now);
    }
    if (now >= deadline) break;
  }
  return stopSignal;
}

}  // namespace check
