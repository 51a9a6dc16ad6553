#include "platform/wake_signal.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace platform {
namespace {

// The counter is a plain 32-bit word to the kernel.
static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t));

uint32_t* Word(std::atomic<uint32_t>& a) { return reinterpret_cast<uint32_t*>(&a); }

// 0 when woken (or the word had changed already), ETIMEDOUT when the time ran out.
int FutexWait(std::atomic<uint32_t>& word, uint32_t seen, const timespec* timeout) {
  const long r = syscall(SYS_futex, Word(word), FUTEX_WAIT_PRIVATE, seen, timeout, nullptr, 0);
  return r == 0 ? 0 : errno == ETIMEDOUT ? ETIMEDOUT : 0;
}

}  // namespace

void WakeSignal::Wait(uint32_t seen) {
  // Sleepers rise before the counter is looked at again, and Notify bumps the
  // counter before it looks at the sleepers (both sequentially consistent):
  // either the waiter sees the new count, or Notify sees the waiter.
  sleepers_.fetch_add(1);
  if (seq_.load() == seen) FutexWait(seq_, seen, nullptr);
  sleepers_.fetch_sub(1);
}

bool WakeSignal::WaitFor(uint32_t seen, std::chrono::nanoseconds timeout) {
  if (timeout <= std::chrono::nanoseconds::zero()) return seq_.load() != seen;
  const auto secs = std::chrono::duration_cast<std::chrono::seconds>(timeout);
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(secs.count());
  ts.tv_nsec = static_cast<long>((timeout - secs).count());
  sleepers_.fetch_add(1);
  int r = 0;
  if (seq_.load() == seen) r = FutexWait(seq_, seen, &ts);
  sleepers_.fetch_sub(1);
  return r != ETIMEDOUT;
}

void WakeSignal::Notify() {
  seq_.fetch_add(1);
  if (sleepers_.load() > 0) syscall(SYS_futex, Word(seq_), FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
}

}  // namespace platform
