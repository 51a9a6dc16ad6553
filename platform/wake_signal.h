#pragma once
// A signal that threads sleep on until another thread raises it: a counter
// that Notify bumps, and a wait that sleeps in the kernel (futex) for as long
// as the counter still holds the value the waiter saw. Never spins, and
// Notify costs a system call only while somebody sleeps.
#include <atomic>
#include <chrono>
#include <cstdint>

namespace platform {

class WakeSignal {
 public:
  WakeSignal() = default;
  WakeSignal(const WakeSignal&) = delete;
  WakeSignal& operator=(const WakeSignal&) = delete;

  // The value to wait on; take it before looking at the condition, so that a
  // Notify between the look and the wait is never lost.
  uint32_t Seq() const { return seq_.load(std::memory_order_acquire); }
  // Sleeps while the counter is still seen. May return early (a signal, a
  // spurious wake-up): callers look at their condition again.
  void Wait(uint32_t seen);
  // As Wait, for at most timeout. False when the time ran out.
  bool WaitFor(uint32_t seen, std::chrono::nanoseconds timeout);
  // Bumps the counter and wakes every sleeper.
  void Notify();

 private:
  std::atomic<uint32_t> seq_{0};
  std::atomic<int> sleepers_{0};
};

}  // namespace platform
