// The engine at its edges: stored values out of range, stuck readers on one
// drive while another is checked, a root whose letter moves during a run, a
// way back up the tree that fails.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "tests/engine/engine_fixture.h"
#include "tests/support/fault_fs.h"

namespace engine_test {
namespace {

using namespace std::chrono_literals;
using testing_support::FaultFile;
using testing_support::FaultFs;

class EngineEdgesTest : public EngineTest {};

TEST_F(EngineEdgesTest, StoredValuesOutOfRangeCannotBreakARun) {
  for (int i = 0; i < 12; ++i) tree.File("F" + std::to_string(i), 1000 + i);
  threads = std::make_shared<testing_support::FakeThreads>(testing_support::FakeThreads::Answering(0));
  // A settings file from an older version or a hand edit: any byte at all.
  settings->delaySeconds = 0;
  settings->priority = 255;
  settings->language = 255;
  settings->logMode = 0;
  Make();
  for (int delay : {0, 1, 2, 255}) {
    settings->delaySeconds = delay;
    window->ClearStatistics();
    // Ticks come as fast as they like: a delay read as 0 would give up every
    // reader at once.
    ASSERT_TRUE(engine->Start());
    RunTicking(1ms);
    EXPECT_EQ(State().disk.filesChecked, 12) << "delay " << delay;
    EXPECT_TRUE(ErrorRows().empty()) << "delay " << delay;
    EXPECT_EQ(engine->AbandonedReaders(), 0);
    EXPECT_EQ(Report(), "The checking is complete\nFiles checked: 12\nNo error were detected") << "delay " << delay;
  }
  // The first priority past Highest, and another no slider gives.
  for (int priority : {7, 254}) {
    settings->priority = priority;
    window->ClearStatistics();
    const std::size_t before = threads->Positions().size();
    ASSERT_TRUE(engine->Start());
    RunTicking(1ms);
    EXPECT_EQ(State().disk.filesChecked, 12) << "priority " << priority;
    EXPECT_GT(threads->Positions().size(), before) << "priority " << priority;
  }
  const auto positions = threads->Positions();
  ASSERT_FALSE(positions.empty());
  for (int p : positions) EXPECT_EQ(p, 3) << "an unknown priority is the normal one";
}

// The watchdog gives a stalled read up after the delay read as at most 99.
TEST_F(EngineEdgesTest, AStoredDelayAbove99IsReadAs99) {
  tree.File("STUCK", 100);
  settings->delaySeconds = 255;
  auto held = std::make_shared<testing_support::HeldReaders>(0, testing_support::FakeThreads::Answering(0));
  threads = held;
  Make();
  ASSERT_TRUE(engine->Start());
  ASSERT_TRUE(WaitUntil([&] { return held->Inside() == 1; }));
  for (int i = 0; i < 98; ++i) engine->OnTimerTick();
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(engine->AbandonedReaders(), 0);
  engine->OnTimerTick();
  EXPECT_TRUE(WaitUntil([&] { return engine->AbandonedReaders() == 1; }));
  ASSERT_TRUE(engine->WaitForCheckThread(30s));
  held->Release();
  ASSERT_TRUE(WaitUntil([&] { return engine->AbandonedReaders() == 0; }));
}

// Every reader stuck on D: does not keep E: from being checked, and the
// message names the drive that does not answer.
TEST_F(EngineEdgesTest, StuckReadersBelongToTheDriveTheyAreStuckOn) {
  FaultFs other({{"E1.BIN", 40'000}, {"E2.BIN", 1000}});
  std::string why;
  if (!other.Mount(&why)) GTEST_SKIP() << "FUSE fault injection unavailable: " << why;
  for (int i = 0; i < engine::kMaxAbandonedReaders + 2; ++i) tree.File("D" + std::to_string(i), 100);
  settings->delaySeconds = 3;
  auto held = std::make_shared<testing_support::HeldReaders>(0, testing_support::FakeThreads::Answering(0));
  threads = held;
  deps.rootPaths = std::make_shared<testing_support::FnRootPaths>(
      [&](const std::string& root) { return root[0] == 'E' ? other.MountPoint() : tree.Root(); });
  Make();
  ASSERT_TRUE(engine->Start());
  RunTicking(1ms);
  EXPECT_EQ(engine->AbandonedReaders(), engine::kMaxAbandonedReaders);
  const auto messages = window->Messages();
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages[0].text,
            "The device of drive D: does not answer any more: reads do not return.\nThe checking has been stopped");

  // Drive E: meanwhile: checked as usual.
  held->StopHolding();
  window->ClearStatistics();
  settings->drive = 4;
  const std::size_t before = window->Messages().size();
  Run();
  EXPECT_EQ(State().disk.filesChecked, 2);
  EXPECT_TRUE(ErrorRows().empty());
  ASSERT_EQ(window->Messages().size(), before + 1);
  EXPECT_EQ(window->Messages().back().text, "The checking is complete\nFiles checked: 2\nNo error were detected");

  held->Release();
  ASSERT_TRUE(WaitUntil([&] { return engine->AbandonedReaders() == 0; }));
}

// A volume mounted during the counting walk moves the letters of the mounts
// after it: the run still checks the folder it counted.
TEST_F(EngineEdgesTest, TheRootIsTranslatedOnceForTheWholeRun) {
  tree.File("FIRST/A.TXT", 10);
  tree.File("FIRST/B.TXT", 20);
  tree.File("SECOND/OTHER.TXT", 30);
  std::atomic<int> asked{0};
  deps.rootPaths = std::make_shared<testing_support::FnRootPaths>([&](const std::string&) {
    return ++asked == 1 ? tree.Path("FIRST") : tree.Path("SECOND");
  });
  settings->preScan = true;
  Run();
  EXPECT_EQ(CheckedFiles(), (std::vector<std::string>{"A.TXT", "B.TXT"}));
  EXPECT_EQ(State().disk.filesTotal, 2);
  EXPECT_EQ(State().disk.percentShown, 100);
}

TEST_F(EngineEdgesTest, AWayBackUpTheTreeThatFailsIsFoundAgainFromTheRoot) {
  FaultFs disc({
      {"P", 0, FaultFile::kNoReturn},
      {"P/C/IN.BIN", 1000},
      {"P/AFTER.BIN", 1000},
      {"Q/LATER.BIN", 2000},
  });
  std::string why;
  if (!disc.Mount(&why)) GTEST_SKIP() << "FUSE fault injection unavailable: " << why;
  deps.rootPaths = RootAt(disc.MountPoint());
  settings->preScan = false;
  Run();
  // From inside C the rest would have been looked for in the wrong folder.
  EXPECT_TRUE(ErrorRows().empty());
  EXPECT_EQ(State().disk.filesChecked, 3);
  std::vector<std::string> checked = CheckedFiles();
  std::sort(checked.begin(), checked.end());
  EXPECT_EQ(checked, (std::vector<std::string>{"AFTER.BIN", "IN.BIN", "LATER.BIN"}));
}

}  // namespace
}  // namespace engine_test
