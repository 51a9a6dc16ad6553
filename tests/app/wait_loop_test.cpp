// The main thread's wait of torvex-check, with a pipe standing in for the
// signalfd: the records a signalfd gives are written into it by hand.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <utility>
#include <vector>

#include "app/check/wait_loop.h"

namespace check {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class CheckWaitLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(::pipe2(signals_, O_CLOEXEC | O_NONBLOCK), 0);
    ASSERT_EQ(::pipe2(wake_, O_CLOEXEC | O_NONBLOCK), 0);
    loop.signalFd = signals_[0];
    loop.wakeFd = wake_[0];
    loop.finished = [this] { return done.load(); };
    loop.stop = [this](int sig, bool first) -> Clock::duration {
      stops.emplace_back(sig, first);
      return grace;
    };
  }
  void TearDown() override {
    if (thread_.joinable()) thread_.join();
    for (int fd : {signals_[0], signals_[1], wake_[0], wake_[1]}) ::close(fd);
  }
  void SendSignal(int sig) {
    signalfd_siginfo info{};
    info.ssi_signo = static_cast<uint32_t>(sig);
    ASSERT_EQ(::write(signals_[1], &info, sizeof info), static_cast<ssize_t>(sizeof info));
  }
  // As an engine thread handing the run back: the run is done, then the pipe.
  void FinishAfter(Clock::duration after) {
    thread_ = std::thread([this, after] {
      std::this_thread::sleep_for(after);
      done = true;
      const char byte = 1;
      [[maybe_unused]] const ssize_t n = ::write(wake_[1], &byte, 1);
    });
  }

  WaitLoop loop;
  std::atomic<bool> done{false};
  Clock::duration grace = 10s;
  std::vector<std::pair<int, bool>> stops;

 private:
  int signals_[2] = {-1, -1};
  int wake_[2] = {-1, -1};
  std::thread thread_;
};

TEST_F(CheckWaitLoopTest, EndsWhenTheRunHandsBackAndRedrawsAtMostTenTimesASecond) {
  std::vector<Clock::time_point> redraws;
  loop.redraw = [&](Clock::time_point now) { redraws.push_back(now); };
  int ticks = 0;
  loop.tick = [&] { ++ticks; };
  const auto began = Clock::now();
  loop.firstTick = began;  // one tick at once, the next a second later
  FinishAfter(450ms);
  EXPECT_EQ(loop.Run(), 0);
  const auto took = Clock::now() - began;
  EXPECT_GE(took, 450ms);
  EXPECT_LT(took, 700ms) << "the wake pipe ends the wait";
  EXPECT_TRUE(stops.empty());
  EXPECT_EQ(ticks, 1);
  ASSERT_GE(redraws.size(), 3u);
  EXPECT_LE(redraws.size(), 4u);
  EXPECT_GE(redraws.front() - began, WaitLoop::kRedrawPeriod);
  for (std::size_t i = 1; i < redraws.size(); ++i) EXPECT_GE(redraws[i] - redraws[i - 1], WaitLoop::kRedrawPeriod);
}

TEST_F(CheckWaitLoopTest, WithoutAStatusLineOrATimerItSleepsUntilWoken) {
  FinishAfter(200ms);
  const auto began = Clock::now();
  EXPECT_EQ(loop.Run(), 0);
  const auto took = Clock::now() - began;
  EXPECT_GE(took, 200ms);
  EXPECT_LT(took, 450ms);
}

TEST_F(CheckWaitLoopTest, AStopSignalIsToldAndTheRunGetsTheTimeItWasGiven) {
  // A run that never ends by itself: the loop ends when the time the caller
  // gave is over, with the first signal; every later one is told as such.
  struct Case {
    std::vector<int> signals;
    Clock::duration afterFirst, afterLater;  // what stop answers
    Clock::duration least, most;             // how long the loop then takes
  };
  const std::vector<Case> cases = {
      {{SIGINT}, 200ms, 0ms, 200ms, 400ms},
      {{SIGTERM, SIGINT}, 10s, 0ms, 0ms, 150ms},      // the check: a second one ends the wait
      {{SIGINT, SIGINT}, 200ms, 10s, 200ms, 400ms},   // the earliest end stands
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.signals.size());
    std::vector<std::pair<int, bool>> told;
    loop.stop = [&](int sig, bool first) -> Clock::duration {
      told.emplace_back(sig, first);
      return first ? c.afterFirst : c.afterLater;
    };
    for (int sig : c.signals) SendSignal(sig);
    const auto began = Clock::now();
    EXPECT_EQ(loop.Run(), c.signals[0]);
    const auto took = Clock::now() - began;
    EXPECT_GE(took, c.least);
    EXPECT_LT(took, c.most);
    std::vector<std::pair<int, bool>> expected;
    for (std::size_t i = 0; i < c.signals.size(); ++i) expected.emplace_back(c.signals[i], i == 0);
    EXPECT_EQ(told, expected);
  }
}

TEST_F(CheckWaitLoopTest, ARunThatEndsWithinItsGraceEndsTheLoopAtOnce) {
  SendSignal(SIGTERM);
  FinishAfter(100ms);
  const auto began = Clock::now();
  EXPECT_EQ(loop.Run(), SIGTERM);
  EXPECT_LT(Clock::now() - began, 1s) << "the grace was 10 s";
  EXPECT_EQ(stops, (std::vector<std::pair<int, bool>>{{SIGTERM, true}}));
}

}  // namespace
}  // namespace check
