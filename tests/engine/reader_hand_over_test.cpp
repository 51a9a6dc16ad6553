// The hand-over between a walker and its reader: what giving the reader up
// does to the program's count of stuck readers, busy or idle, and that a
// reader given up takes no more work.
#include "engine/reader_hand_over.h"

#include <gtest/gtest.h>

#include <thread>

namespace engine_test {
namespace {

TEST(ReaderHandOver, OnlyABusyReaderGivenUpCountsAmongTheStuckUntilItEnds) {
  struct Case {
    const char* what;
    bool busy, evenIdle;
    bool abandoned, counted;
  };
  const Case cases[] = {
      {"busy, given up", true, false, true, true},
      {"busy, given up even if idle", true, true, true, true},
      {"idle: left alone", false, false, false, false},
      {"idle, given up even so: holds nothing", false, true, true, false},
  };
  for (const Case& c : cases) {
    auto stuck = std::make_shared<engine::StuckReaders>();
    engine::ReaderHandOver hand(stuck);
    int work = 0;
    hand.Give(7, c.busy, [&] { work = 1; });
    EXPECT_EQ(hand.Abandon(c.evenIdle), c.counted) << c.what;
    {
      std::lock_guard lock(hand.Guard());
      EXPECT_EQ(hand.AbandonedLocked(), c.abandoned) << c.what;
    }
    EXPECT_EQ(stuck->On(7), c.counted ? 1 : 0) << c.what;
    EXPECT_EQ(stuck->On(8), 0) << c.what;
    // Given up twice, counted once.
    hand.Abandon(c.evenIdle);
    EXPECT_EQ(stuck->All(), c.counted ? 1 : 0) << c.what;
    // A reader given up ends instead of taking the work.
    EXPECT_EQ(hand.Wait(), !c.abandoned) << c.what;
    hand.Ended();
    EXPECT_EQ(stuck->All(), 0) << c.what;
    EXPECT_EQ(work, 1);
  }
}

TEST(ReaderHandOver, AWaitingReaderWakesForWorkAndEndsOnQuit) {
  engine::ReaderHandOver hand(std::make_shared<engine::StuckReaders>());
  int taken = 0;
  int given = 0;
  std::thread reader([&] {
    while (hand.Wait()) {
      std::lock_guard lock(hand.Guard());
      taken = given;
    }
  });
  for (int i = 1; i <= 3; ++i) {
    hand.Give(1, false, [&] { given = i; });
    for (int spin = 0; spin < 2000; ++spin) {
      {
        std::lock_guard lock(hand.Guard());
        if (taken == i) break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::lock_guard lock(hand.Guard());
    EXPECT_EQ(taken, i);
  }
  hand.Quit();
  reader.join();
}

}  // namespace
}  // namespace engine_test
