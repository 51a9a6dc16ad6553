// The wake signal: sleepers wake on Notify, a Notify between looking and
// sleeping is never lost, and a timed wait gives up when its time runs out.
#include "platform/wake_signal.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace platform {
namespace {

using namespace std::chrono_literals;

TEST(WakeSignal, HandsOverBackAndForthWithoutLosingAWakeUp) {
  // Two threads pass a token back and forth many times, each sleeping on its
  // own signal: a lost wake-up would hang the test.
  WakeSignal toB, toA;
  std::atomic<int> token{0};
  constexpr int kRounds = 5000;
  std::thread b([&] {
    for (int i = 0; i < kRounds; ++i) {
      for (;;) {
        const uint32_t seq = toB.Seq();
        if (token.load() == 2 * i + 1) break;
        toB.Wait(seq);
      }
      token.store(2 * i + 2);
      toA.Notify();
    }
  });
  for (int i = 0; i < kRounds; ++i) {
    token.store(2 * i + 1);
    toB.Notify();
    for (;;) {
      const uint32_t seq = toA.Seq();
      if (token.load() == 2 * i + 2) break;
      toA.Wait(seq);
    }
  }
  b.join();
  EXPECT_EQ(token.load(), 2 * kRounds);
}

TEST(WakeSignal, ANotifyAfterTheLookIsSeenAndEverySleeperWakes) {
  WakeSignal s;
  const uint32_t seen = s.Seq();
  s.Notify();
  s.Wait(seen);  // returns at once: the counter moved since it was seen
  EXPECT_TRUE(s.WaitFor(seen, 1h));

  std::atomic<int> woken{0};
  std::vector<std::thread> sleepers;
  const uint32_t now = s.Seq();
  for (int i = 0; i < 3; ++i) sleepers.emplace_back([&] {
    while (s.Seq() == now) s.Wait(now);
    ++woken;
  });
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(woken.load(), 0);
  s.Notify();
  for (auto& t : sleepers) t.join();
  EXPECT_EQ(woken.load(), 3);
}

TEST(WakeSignal, ATimedWaitEndsWhenItsTimeRunsOut) {
  WakeSignal s;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(s.WaitFor(s.Seq(), 30ms));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 30ms);
  EXPECT_FALSE(s.WaitFor(s.Seq(), 0ms));
}

}  // namespace
}  // namespace platform
