// Reader priorities and detached threads.
#include "platform/thread.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

namespace platform {
namespace {

struct Applied {
  int result, nice, ioprio;
  bool idle;
};

// Sets a position on a fresh thread (as each reader is) and reads back what it got.
Applied ApplyOnFreshThread(int position) {
  std::promise<Applied> p;
  auto f = p.get_future();
  EXPECT_EQ(StartDetachedThread([&p, position] {
              const int r = SetCurrentThreadPriority(position);
              p.set_value({r, CurrentThreadNice(), CurrentThreadIoPriority(), CurrentThreadIsIdlePolicy()});
            }),
            0);
  return f.get();
}

constexpr int kIoClassBe = 2, kIoClassIdle = 3;
int IoClass(int ioprio) { return ioprio >> 13; }
int IoLevel(int ioprio) { return ioprio & 0x1fff; }

TEST(ReaderPriority, PositionsRunFromIdleToTheHighestNiceAndIoLevels) {
  int lastNice = 100, lastIo = 100;
  for (int pos = 0; pos <= 6; ++pos) {
    const PriorityLevel l = PriorityForPosition(pos);
    EXPECT_LT(l.nice, lastNice) << pos;
    EXPECT_LE(l.ioLevel + (l.ioClass == kIoClassIdle ? 8 : 0), lastIo + 8) << pos;
    lastNice = l.nice;
    lastIo = l.ioLevel;
  }
  EXPECT_TRUE(PriorityForPosition(0).idlePolicy);
  EXPECT_EQ(PriorityForPosition(3).nice, 0);
  // Anything else is normal.
  for (int odd : {-1, 7, 255}) {
    EXPECT_EQ(PriorityForPosition(odd).nice, 0);
    EXPECT_FALSE(PriorityForPosition(odd).idlePolicy);
  }
}

TEST(ReaderPriority, LowPositionsAreAlwaysGiven) {
  const Applied idle = ApplyOnFreshThread(0);
  EXPECT_EQ(idle.result, kPriorityExact);
  EXPECT_TRUE(idle.idle);
  EXPECT_EQ(idle.nice, 19);
  EXPECT_EQ(IoClass(idle.ioprio), kIoClassIdle);

  const Applied lowest = ApplyOnFreshThread(1);
  EXPECT_EQ(lowest.result, kPriorityExact);
  EXPECT_FALSE(lowest.idle);
  EXPECT_EQ(lowest.nice, 10);
  EXPECT_EQ(IoClass(lowest.ioprio), kIoClassBe);
  EXPECT_EQ(IoLevel(lowest.ioprio), 7);

  // The thread that set them is untouched: priorities belong to one thread.
  EXPECT_FALSE(CurrentThreadIsIdlePolicy());
}

TEST(ReaderPriority, HighPositionsFallBackToTheNearestPermittedLevel) {
  if (geteuid() == 0) {
    // The fallback as an ordinary user, in a child process forked before
    // this process starts any thread of its own.
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      if (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0) _exit(2);
      const Applied a = ApplyOnFreshThread(6);
      // Raising is refused without privilege or RLIMIT_NICE: the nearest is the current level.
      _exit(a.result == kPriorityNearest && a.nice == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "an unprivileged reader did not get the nearest level";

    const Applied top = ApplyOnFreshThread(6);
    EXPECT_EQ(top.result, kPriorityExact);
    EXPECT_EQ(top.nice, -20);
  } else {
    const Applied a = ApplyOnFreshThread(6);
    EXPECT_NE(a.result, kPriorityFailed);
    EXPECT_LE(a.nice, 0);
  }
}

// Positions one after the other on one thread, as the slider moves while a
// reader lives across files.
std::vector<Applied> ApplyInTurn(const std::vector<int>& positions) {
  std::promise<std::vector<Applied>> p;
  auto f = p.get_future();
  EXPECT_EQ(StartDetachedThread([&p, positions] {
              std::vector<Applied> got;
              for (int position : positions) {
                const int r = SetCurrentThreadPriority(position);
                got.push_back({r, CurrentThreadNice(), CurrentThreadIoPriority(), CurrentThreadIsIdlePolicy()});
              }
              p.set_value(got);
            }),
            0);
  return f.get();
}

TEST(ReaderPriority, ALoweredThreadComesBackUpOrSaysThatItCannot) {
  if (geteuid() == 0) {
    // An ordinary user may not lower a nice value again: the thread says so,
    // and a fresh thread gets the level. Forked before this process starts a
    // thread of its own (a sanitizer refuses threads after such a fork).
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      if (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0) _exit(2);
      const std::vector<Applied> a = ApplyInTurn({0, 3});
      if (!a[0].idle || a[0].nice != 19) _exit(3);
      if (a[1].result != kPriorityKeptLower) _exit(4);
      const Applied fresh = ApplyOnFreshThread(3);
      _exit(fresh.result == kPriorityExact && fresh.nice == 0 && !fresh.idle ? 0 : 5);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "an unprivileged reader that was lowered did not say so";

    // Lowest, then Normal, then Highest: the idle policy is left again.
    const std::vector<Applied> up = ApplyInTurn({0, 3, 6, 0, 1});
    EXPECT_TRUE(up[0].idle);
    EXPECT_EQ(up[1].result, kPriorityExact);
    EXPECT_FALSE(up[1].idle);
    EXPECT_EQ(up[1].nice, 0);
    EXPECT_EQ(IoClass(up[1].ioprio), kIoClassBe);
    EXPECT_FALSE(up[2].idle);
    EXPECT_EQ(up[2].nice, -20);
    EXPECT_TRUE(up[3].idle);
    EXPECT_EQ(up[4].result, kPriorityExact);
    EXPECT_FALSE(up[4].idle);
    EXPECT_EQ(up[4].nice, 10);
  } else {
    const std::vector<Applied> a = ApplyInTurn({0, 3});
    EXPECT_TRUE(a[1].result == kPriorityExact || a[1].result == kPriorityKeptLower);
    if (a[1].result == kPriorityExact) {
      EXPECT_EQ(a[1].nice, 0);
    }
    EXPECT_EQ(ApplyOnFreshThread(3).nice, 0);
  }
}

TEST(DetachedThread, RunsTheFunctionWithTheStackAsked) {
  std::promise<size_t> p;
  auto f = p.get_future();
  ASSERT_EQ(StartDetachedThread(
                [&p] {
                  pthread_attr_t attr;
                  size_t size = 0;
                  pthread_getattr_np(pthread_self(), &attr);
                  pthread_attr_getstacksize(&attr, &size);
                  pthread_attr_destroy(&attr);
                  p.set_value(size);
                },
                512 * 1024),
            0);
  EXPECT_GE(f.get(), 512u * 1024u);
}

}  // namespace
}  // namespace platform
