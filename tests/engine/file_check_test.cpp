// Reading single files: blocks, fast checking, error rows, Skip and Stop,
// and the watchdog that abandons a stalled reader.
#include <thread>

#include "tests/engine/engine_fixture.h"

namespace engine_test {
namespace {

using namespace std::chrono_literals;
using engine::kIdFileBar;
using engine::kIdFilePercent;

class FileCheckTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    settings->preScan = false;
  }
};

TEST_F(FileCheckTest, EveryByteIsRequestedOnceWithoutFastChecking) {
  const int64_t sizes[] = {0, 1, 32767, 32768, 32769, 100'000, 1'000'000};
  int64_t total = 0;
  for (int64_t n : sizes) {
    tree.File("F" + std::to_string(n), n);
    total += n;
  }
  Run();
  EXPECT_EQ(State().bytesRead, total);
  EXPECT_EQ(State().disk.bytesDone, total);
  EXPECT_TRUE(ErrorRows().empty());
  EXPECT_EQ(State().disk.filesChecked, 7);
}

TEST_F(FileCheckTest, AFileOfExactlyOneBlockReadsNothingMoreAndEndsAtOneHundred) {
  tree.File("ONE", 32768);
  Run();
  EXPECT_EQ(window->ProgressHistory(kIdFileBar), (std::vector<int>{0, 100, 100, 0}));
  const auto texts = window->FieldHistory(kIdFilePercent);
  EXPECT_EQ(texts, (std::vector<std::string>{"0 %", "100 %", "100 %", ""}));
  EXPECT_EQ(State().bytesRead, 32768);
}

TEST_F(FileCheckTest, FileBarMovesOnlyWhenTheWholePercentChanges) {
  tree.File("BIG", 64 * 32768);  // 64 blocks
  Run();
  const auto bar = window->ProgressHistory(kIdFileBar);
  // 0 at the start, a value per changed percent, 100 at the end, 0 at the reset.
  EXPECT_EQ(bar.size(), 1u + 64u + 1u + 1u);
  EXPECT_TRUE(std::is_sorted(bar.begin(), bar.end() - 1));
}

TEST_F(FileCheckTest, FastCheckingReadsOneBlockThenPassesOverTwo) {
  tree.File("FAST", 204'800);
  settings->fastCheck = true;
  Run();
  // Read at 0, 98,304 and 196,608: 32,768 + 32,768 + 8,192 bytes.
  EXPECT_EQ(State().bytesRead, 73'728);
  EXPECT_EQ(State().disk.bytesDone, 204'800);
  EXPECT_TRUE(ErrorRows().empty());
}

TEST_F(FileCheckTest, FastCheckingIsReadAfreshAfterEveryBlock) {
  tree.File("MIXED", 20 * 32768);
  std::atomic<int> calls{0};
  window->onProgress = [&](int id, int) {
    if (id == kIdFileBar && ++calls == 2) settings->fastCheck = true;  // after the first block
  };
  Run();
  // 1 block read normally, then read 1 / pass over 2 while more than 64 KiB remain.
  EXPECT_LT(State().bytesRead, 20 * 32768);
  EXPECT_GT(State().bytesRead, 32768);
  EXPECT_EQ(State().disk.bytesDone, 20 * 32768);
}

TEST_F(FileCheckTest, AFileThatCannotBeOpenedGivesAnOpenRowWithoutPosition) {
  tree.Symlink("BROKEN.LNK", "does-not-exist");
  Run();
  ASSERT_EQ(ErrorRows().size(), 1u);
  EXPECT_EQ(ErrorRows()[0], (std::array<std::string, 4>{"BROKEN.LNK", "Open", "", "D:\\"}));
  EXPECT_EQ(log->Lines().back(), "BROKEN.LNK, Open, , D:\\");
  EXPECT_EQ(State().disk.openErrors, 1);
  EXPECT_EQ(State().disk.filesChecked, 1);
  EXPECT_EQ(Sounds(), (std::vector<int>{2, 7}));
}

TEST_F(FileCheckTest, SkipDuringAFileGivesASkippedRowWithThePositionReached) {
  tree.File("LONG", 10 * 32768);
  window->onProgress = [&](int id, int pos) {
    if (id == kIdFileBar && pos == 10) engine->Skip();  // after the first block
  };
  Run();
  ASSERT_EQ(ErrorRows().size(), 1u);
  EXPECT_EQ(ErrorRows()[0], (std::array<std::string, 4>{"LONG", "Skipped", "32", "D:\\"}));
  EXPECT_EQ(log->Lines().back(), "LONG, Skipped, 32, D:\\");
  EXPECT_EQ(State().disk.otherErrors, 1);
  EXPECT_EQ(State().disk.filesChecked, 1);  // a skipped file still counts as checked
  EXPECT_EQ(State().disk.bytesDone, 10 * 32768);
  EXPECT_EQ(State().bytesRead, 32768);
  EXPECT_EQ(Report(), "The checking is complete (? %)\nFiles checked: 1\nNo error were detected");
}

TEST_F(FileCheckTest, SkipWhileNoFileIsReadOrDuringTheLastBlockHasNoEffect) {
  tree.File("SHORT", 1000);
  tree.File("ALSO", 2000);
  window->onProgress = [&](int id, int pos) {
    if (id == kIdFileBar && pos == 100) engine->Skip();  // the block that ends the file
  };
  Make();
  engine->Skip();  // no run at all yet
  Run();
  EXPECT_TRUE(ErrorRows().empty());
  EXPECT_EQ(State().bytesRead, 3000);
}

TEST_F(FileCheckTest, StopDuringAFileSkipsItAndStopsTheRest) {
  for (int i = 0; i < 3; ++i) tree.File("F" + std::to_string(i), 4 * 32768);
  window->onProgress = [&](int id, int pos) {
    if (id == kIdFileBar && pos == 50) engine->Stop();
  };
  Run();
  ASSERT_EQ(ErrorRows().size(), 1u);
  EXPECT_EQ(ErrorRows()[0][1], "Skipped");
  EXPECT_EQ(ErrorRows()[0][2], "64");
  EXPECT_EQ(State().disk.filesChecked, 0);
  EXPECT_EQ(State().filesSeen, 3u);  // the stopped files were still met
  EXPECT_EQ(CheckedFiles().size(), 1u);
}

TEST_F(FileCheckTest, HiddenPanelsGetNoUpdatesButTheDiskPercentIsStillKept) {
  tree.File("A", 100'000);
  settings->preScan = true;
  panels->showProgress = false;
  panels->showCurrent = false;
  Run();
  EXPECT_TRUE(window->FieldHistory(engine::kIdCurrentFile).size() == 1u);  // only the reset
  for (int p : window->ProgressHistory(kIdFileBar)) EXPECT_EQ(p, 0);
  EXPECT_EQ(State().disk.percentShown, 100);
}

// The slider moves to Highest as a reader starts: the next reader takes it.
class SliderMovedByTheFirstReader : public testing_support::FakeThreads {
 public:
  explicit SliderMovedByTheFirstReader(std::shared_ptr<engine::Settings> settings) : settings_(std::move(settings)) {}

 protected:
  int AtReaderStart(int, int) override {
    settings_->priority = 6;
    return 0;
  }

 private:
  std::shared_ptr<engine::Settings> settings_;
};

TEST_F(FileCheckTest, TheReaderGetsThePriorityOfTheSliderAtEachStart) {
  tree.File("A", 10);
  tree.File("B", 10);
  threads = std::make_shared<SliderMovedByTheFirstReader>(settings);
  settings->priority = 1;
  Run();
  EXPECT_EQ(threads->Positions(), (std::vector<int>{1, 6}));
}

TEST_F(FileCheckTest, AReaderWithoutItsPriorityIsAnInternalErrorAndTheWalkGoesOn) {
  tree.File("A", 10);
  tree.File("B", 10);
  threads = std::make_shared<testing_support::FakeThreads>(testing_support::FakeThreads::Answering(-1));
  Run();
  EXPECT_TRUE(ErrorRows().empty());
  const auto msgs = window->Messages();
  ASSERT_EQ(msgs.size(), 3u);  // two internal errors, then the report
  EXPECT_EQ(msgs[0].caption, "Torvex Internal Error (002)");
  EXPECT_EQ(msgs[0].text, "Thread set priority failed.\nIf you got this error, please, report to Quillon");
  EXPECT_EQ(msgs[0].type, engine::kMsgError);
  EXPECT_EQ(State().bytesRead, 0);
  EXPECT_EQ(Sounds(), (std::vector<int>{7}));
}

TEST_F(FileCheckTest, AReaderThreadThatCannotBeCreatedGivesANoMemoryRow) {
  tree.File("A", 10);
  // The check thread starts, no reader does.
  threads = std::make_shared<testing_support::FakeThreads>(testing_support::FakeThreads::Starting(1));
  Run();
  ASSERT_EQ(ErrorRows().size(), 1u);
  EXPECT_EQ(ErrorRows()[0], (std::array<std::string, 4>{"A", "No Memory", "", "D:\\"}));
  EXPECT_EQ(log->Lines().back(), "A, NoMemory, 0, D:\\");
  EXPECT_EQ(State().disk.otherErrors, 1);
}

TEST_F(FileCheckTest, AStalledReaderIsAbandonedAfterTheDelayAndTheWalkGoesOn) {
  tree.File("STUCK", 5 * 32768);
  settings->delaySeconds = 3;
  // Only the first reader stalls.
  auto gate = std::make_shared<testing_support::HeldReaders>(1, testing_support::FakeThreads::Answering(0));
  threads = gate;
  Make();
  ASSERT_TRUE(engine->Start());
  ASSERT_TRUE(WaitUntil([&] { return gate->Inside() == 1; }));

  engine->OnTimerTick();
  engine->OnTimerTick();
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(engine->AbandonedReaders(), 0) << "given up before the delay time";
  EXPECT_FALSE(engine->WaitForCheckThread(0ms));
  engine->OnTimerTick();
  ASSERT_TRUE(WaitUntil([&] { return engine->AbandonedReaders() == 1; }));
  ASSERT_TRUE(engine->WaitForCheckThread(30s));
  engine->OnTimerTick();

  ASSERT_EQ(ErrorRows().size(), 1u);
  EXPECT_EQ(ErrorRows()[0], (std::array<std::string, 4>{"STUCK", "Read", "0", "D:\\"}));
  EXPECT_EQ(State().disk.readErrors, 1);
  EXPECT_EQ(State().disk.bytesDone, 5 * 32768);
  EXPECT_EQ(Sounds(), (std::vector<int>{1, 7}));
  EXPECT_EQ(Report(), "The checking is complete (? %)\nFiles checked: 1\nFiles with errors (read/open): 1 / 0");

  // A second run while the first reader is still stuck reads with a fresh buffer.
  tree.File("NEXT", 3 * 32768);
  window->ClearStatistics();
  Run();
  EXPECT_TRUE(ErrorRows().empty());  // STUCK read fine this time
  EXPECT_EQ(engine->AbandonedReaders(), 1);

  // When the stuck read returns, the reader leaves without touching the run.
  const int64_t doneBefore = State().disk.bytesDone;
  const auto rowsBefore = window->Rows().size();
  gate->Release();
  ASSERT_TRUE(WaitUntil([&] { return engine->AbandonedReaders() == 0; }));
  EXPECT_EQ(State().disk.bytesDone, doneBefore);
  EXPECT_EQ(window->Rows().size(), rowsBefore);
}

TEST_F(FileCheckTest, ADiskWhoseLastFileFailsStillEndsAtOneHundredPercent) {
  tree.File("A", 40'000);
  tree.File("B", 60'000);
  settings->preScan = true;
  settings->delaySeconds = 3;
  auto gate = std::make_shared<testing_support::HeldReaders>(2, testing_support::FakeThreads::Answering(0));
  threads = gate;
  Make();
  ASSERT_TRUE(engine->Start());
  ASSERT_TRUE(WaitUntil([&] { return gate->Inside() == 1; }));
  RunTicking(1ms);
  EXPECT_EQ(State().disk.percentShown, 100);
  const auto bar = window->ProgressHistory(engine::kIdDiskBar);
  ASSERT_GE(bar.size(), 2u);
  EXPECT_EQ(bar[bar.size() - 2], 100);  // before the reset at the end of the run
  EXPECT_EQ(Report(), "The checking is complete\nFiles checked: 2\nFiles with errors (read/open): 1 / 0");
  gate->Release();
  ASSERT_TRUE(WaitUntil([&] { return engine->AbandonedReaders() == 0; }));
}

TEST_F(FileCheckTest, StuckReadersStayBoundedWhenEveryReadStalls) {
  const int files = engine::kMaxAbandonedReaders + 3;
  for (int i = 0; i < files; ++i) tree.File("F" + std::to_string(i), 100);
  settings->delaySeconds = 3;
  auto gate = std::make_shared<testing_support::HeldReaders>(0, testing_support::FakeThreads::Answering(0));
  threads = gate;
  Make();
  ASSERT_TRUE(engine->Start());
  int most = 0;
  while (!engine->WaitForCheckThread(1ms)) {
    engine->OnTimerTick();
    most = std::max(most, engine->AbandonedReaders());
    ASSERT_LE(gate->Inside(), engine::kMaxAbandonedReaders + 1);
  }
  engine->OnTimerTick();
  EXPECT_EQ(most, engine::kMaxAbandonedReaders);
  // A reader given up before it reached its read still gets there.
  EXPECT_TRUE(WaitUntil([&] { return gate->Inside() == engine::kMaxAbandonedReaders; }));
  // Each stalled file is a read error. Once every reader is stuck the device
  // no longer answers: the run stops, says so once, and the files that found
  // no free reader are neither opened nor reported.
  ASSERT_EQ(ErrorRows().size(), static_cast<size_t>(engine::kMaxAbandonedReaders));
  for (const auto& r : ErrorRows()) {
    EXPECT_EQ(r[1], "Read");
    EXPECT_EQ(r[2], "0");
  }
  EXPECT_EQ(log->Lines().size(), static_cast<size_t>(engine::kMaxAbandonedReaders) + 1);
  EXPECT_EQ(State().disk.filesChecked, engine::kMaxAbandonedReaders);
  const auto messages = window->Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].text,
            "The device of drive D: does not answer any more: reads do not return.\nThe checking has been stopped");
  EXPECT_EQ(messages[0].caption, "Torvex error");
  EXPECT_EQ(Report(), "The checking is complete (? %)\nFiles checked: 8\nFiles with errors (read/open): 8 / 0");
  gate->Release();
  ASSERT_TRUE(WaitUntil([&] { return engine->AbandonedReaders() == 0; }));
}

}  // namespace
}  // namespace engine_test
