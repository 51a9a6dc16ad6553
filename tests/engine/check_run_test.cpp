// Whole check runs: Start, the walks, the end of the run and its report,
// Stop, Exit and Close, resuming, and the timer.
#include <thread>

#include "engine/progress.h"
#include "tests/engine/engine_fixture.h"

namespace engine_test {
namespace {

using namespace std::chrono_literals;
using engine::kIdDiskBar;
using engine::kIdDiskPercent;
using engine::kIdElapsed;
using engine::kIdEstimated;
using engine::kIdSkip;
using engine::kIdSpeed;
using engine::kIdStart;
using engine::kIdStop;

class CheckRunTest : public EngineTest {
 protected:
  void MakeSmallDisk() {
    tree.File("A.TXT", 1000);
    tree.File("SUB/B.BIN", 100'000);
    tree.File("SUB/DEEP/C.DAT", 40'000);
    tree.File("Z.TXT", 0);
  }

  // Starts a check of a whole CD-ROM disk of four files and holds the reader
  // at the start of the second file until `release` is raised.
  void StartHeldInSecondFile() {
    for (int i = 0; i < 4; ++i) tree.File("F" + std::to_string(i), 100'000);
    settings->cdromTarget = true;
    // The first file moves the file bar 6 times (0, 32, 65, 98, 100, 100).
    window->onProgress = [this](int id, int) {
      if (id == engine::kIdFileBar && ++blocks == 7) {
        while (!release) std::this_thread::sleep_for(1ms);
      }
    };
    Make();
    ASSERT_TRUE(engine->Start());
    ASSERT_TRUE(WaitUntil([&] { return blocks.load() >= 7; }));
  }
  std::atomic<int> blocks{0};
  std::atomic<bool> release{false};
};

TEST_F(CheckRunTest, RunWithPreScanCountsReadsEverythingAndReportsComplete) {
  MakeSmallDisk();
  Run();
  const auto& d = State().disk;
  EXPECT_EQ(d.filesTotal, 4);
  EXPECT_EQ(d.bytesTotal, 141'000);
  EXPECT_EQ(d.bytesDone, 141'000);
  EXPECT_EQ(d.filesChecked, 4);
  EXPECT_EQ(d.percentShown, 100);
  EXPECT_EQ(State().bytesRead, 141'000);
  EXPECT_EQ(State().filesSeen, 4u);
  EXPECT_EQ(Report(), "The checking is complete\nFiles checked: 4\nNo error were detected");
  EXPECT_EQ(window->Messages().back().type, engine::kMsgInfo);
  EXPECT_EQ(Sounds(), (std::vector<int>{0, 0, 0, 0, 7}));

  // One disk row and nothing else; the whole disk ends in a comma and two blanks.
  const auto rows = window->Rows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], (std::array<std::string, 4>{"*** New Disk ***", "", "", ",  "}));
  EXPECT_EQ(log->Lines(), (std::vector<std::string>{"[]"}));

  // The run ended in order: START back, STOP gone, SKIP off, the state reset.
  EXPECT_TRUE(State().idle);
  EXPECT_FALSE(State().running);
  EXPECT_FALSE(State().reportPending);
  EXPECT_TRUE(window->Visible(kIdStart));
  EXPECT_TRUE(window->Enabled(kIdStart));
  EXPECT_FALSE(window->Visible(kIdStop));
  EXPECT_FALSE(window->Enabled(kIdSkip));
  EXPECT_EQ(window->Field(kIdDiskPercent), "");
  EXPECT_EQ(window->Progress(kIdDiskBar), 0);
  EXPECT_EQ(window->FieldHistory(kIdEstimated).front(), "Analysing...");
  // The disk bar went up to 100 on the way.
  const auto bar = window->ProgressHistory(kIdDiskBar);
  EXPECT_NE(std::find(bar.begin(), bar.end(), 100), bar.end());
}

TEST_F(CheckRunTest, RunWithoutPreScanReportsAQuestionMarkAndNeverMovesTheDiskBar) {
  MakeSmallDisk();
  settings->preScan = false;
  Run();
  EXPECT_EQ(Report(), "The checking is complete (? %)\nFiles checked: 4\nNo error were detected");
  EXPECT_EQ(State().disk.bytesTotal, 0);
  EXPECT_EQ(window->FieldHistory(kIdEstimated).front(), "?");
  for (int p : window->ProgressHistory(kIdDiskBar)) EXPECT_EQ(p, 0);
  for (const auto& t : window->FieldHistory(kIdDiskPercent)) EXPECT_EQ(t, "");
}

TEST_F(CheckRunTest, StopDuringThePreScanChecksNothingAndCreatesNoRecord) {
  MakeSmallDisk();
  settings->cdromTarget = true;
  std::atomic<bool> inPreScan{false}, stopped{false};
  deps.rootPaths = std::make_shared<testing_support::FnRootPaths>([&, root = tree.Root()](const std::string&) {
    if (!inPreScan.exchange(true)) {
      while (!stopped) std::this_thread::sleep_for(1ms);
    }
    return root;
  });
  Make();
  ASSERT_TRUE(engine->Start());
  ASSERT_TRUE(WaitUntil([&] { return inPreScan.load(); }));
  EXPECT_FALSE(State().running);  // the pre-scan does not count as checking
  engine->StartStop();            // not idle: this is Stop
  EXPECT_FALSE(window->Enabled(kIdStop));
  EXPECT_FALSE(window->Enabled(kIdStart));
  stopped = true;
  ASSERT_TRUE(engine->WaitForCheckThread(30s));
  engine->OnTimerTick();

  EXPECT_EQ(store->Adds(), 0);
  EXPECT_FALSE(store->resumeActive);
  EXPECT_TRUE(CheckedFiles().empty());
  EXPECT_EQ(Report(), "The checking is complete (0%)\nFiles checked: 0\nNo error were detected");
}

TEST_F(CheckRunTest, ReportCountsReadAndOpenErrorsOfThisRunOnly) {
  tree.File("GOOD", 10);
  tree.Symlink("GONE1", "nowhere1");
  tree.Symlink("GONE2", "nowhere2");
  Run();
  EXPECT_EQ(Report(), "The checking is complete\nFiles checked: 3\nFiles with errors (read/open): 0 / 2");
  // A second run on the same list adds its own disk row below the first run's rows.
  Run();
  const auto rows = window->Rows();
  ASSERT_EQ(rows.size(), 6u);
  EXPECT_EQ(rows[3][0], "*** New Disk ***");
  EXPECT_EQ(State().disk.openErrors, 2);
}

TEST_F(CheckRunTest, ARecordOfMoreFilesThanTheDiskHoldsChecksNothing) {
  tree.File("ONLY", 10);
  store->Set({5, 5, 50, 50, 100});
  settings->cdromTarget = true;
  window->answer = [](const auto&) { return engine::kIdContinue; };
  Run();
  EXPECT_TRUE(CheckedFiles().empty());
  EXPECT_EQ(State().filesSeen, 1u);
}

TEST_F(CheckRunTest, NoGoFromTheReadinessSequenceStartsNothing) {
  auto volumes = std::make_shared<testing_support::FakeVolumes>();
  volumes->NoDisk();
  deps.volumes = volumes;
  window->answer = [](const auto&) { return engine::kIdCancel; };
  Make();
  EXPECT_FALSE(StartGoes());
  EXPECT_TRUE(State().idle);
  EXPECT_TRUE(window->Rows().empty());
  EXPECT_TRUE(log->Lines().empty());
}

TEST_F(CheckRunTest, TheLogGetsTheDiskHeaderOnlyWhenLoggingIsOn) {
  tree.Symlink("GONE", "nowhere");
  settings->createLog = false;
  Run();
  EXPECT_TRUE(log->Lines().empty());
  settings->createLog = true;
  deps.volumes = std::make_shared<testing_support::FakeVolumes>("MYDISK", 7);
  engine.reset();
  Run();
  EXPECT_EQ(log->Lines(), (std::vector<std::string>{"[MYDISK]", "GONE, Open, , D:\\"}));
  EXPECT_EQ(window->Rows().back()[0], "GONE");
}

TEST_F(CheckRunTest, ExitDuringARunStopsItAndSavesTheProgressCloseDoesNot) {
  StartHeldInSecondFile();
  ASSERT_TRUE(State().running);
  const int updatesBefore = store->Updates();
  engine->Exit();
  EXPECT_TRUE(State().stopRequest);
  EXPECT_EQ(store->Updates(), updatesBefore + 1);
  EXPECT_EQ(store->Get().filesChecked, 1);
  release = true;
  ASSERT_TRUE(engine->WaitForCheckThread(30s));
  // The second file was stopped, not checked: a resumed run reads it again.
  EXPECT_EQ(State().disk.filesChecked, 1);
  EXPECT_EQ(ErrorRows().size(), 1u);
  EXPECT_EQ(ErrorRows()[0][1], "Skipped");
}

TEST_F(CheckRunTest, CloseDuringARunUnwindsWithoutSavingOrTouchingTheWindow) {
  StartHeldInSecondFile();
  const int updatesBefore = store->Updates();
  engine->Close();
  release = true;
  ASSERT_TRUE(engine->WaitForCheckThread(30s));
  EXPECT_EQ(store->Updates(), updatesBefore);
  EXPECT_FALSE(State().stopRequest);
  EXPECT_LE(CheckedFiles().size(), 2u);
}

TEST_F(CheckRunTest, ExitWhileIdleDoesNothing) {
  Make();
  engine->Exit();
  EXPECT_FALSE(State().stopRequest);
  EXPECT_EQ(store->Updates(), 0);
}

TEST_F(CheckRunTest, ACheckThreadThatCannotBeCreatedLeavesTheProgramIdle) {
  threads = std::make_shared<testing_support::FakeThreads>(testing_support::FakeThreads::Starting(0));
  Make();
  EXPECT_FALSE(engine->Start());
  EXPECT_TRUE(State().idle);
  EXPECT_TRUE(window->Visible(kIdStart));
  EXPECT_FALSE(window->Visible(kIdStop));
  ASSERT_EQ(window->Messages().size(), 1u);
  EXPECT_EQ(window->Messages()[0].text, "Not enough memory");
  EXPECT_EQ(window->Messages()[0].caption, "Torvex error");
}

// The timer: watchdog, elapsed time, speed, estimate and the minimized title,
// on a run held in its second file.
TEST_F(CheckRunTest, TimerTicksShowTimeSpeedEstimateAndTheMinimizedTitle) {
  settings->delaySeconds = 99;  // the held reader is never given up
  StartHeldInSecondFile();
  auto& s = State();
  s.watchdog.Reset();
  s.disk.bytesTotal = 10'000'000;
  s.disk.bytesDone = 2'500'000;
  s.disk.percentShown = 25;
  s.bytesRead = 30 * 1024 * 10;
  s.elapsed = 29;
  engine->OnTimerTick();
  EXPECT_EQ(s.watchdog.Ticks(), 1);
  EXPECT_EQ(window->Field(kIdElapsed), "0:00:30");
  EXPECT_EQ(window->Field(kIdSpeed), "10.00");
  EXPECT_EQ(window->Field(kIdEstimated), "0:02:00");
  EXPECT_EQ(window->Title(), "");  // not minimized

  engine->OnSizeChanged(false);  // the first size message is ignored
  engine->OnSizeChanged(true);
  engine->OnTimerTick();
  EXPECT_EQ(window->Title(), "Torvex - 25% - [D:\\]");
  // The title names what the run checks, whatever Options chose since its Start.
  engine->SetStartFolder("D:\\DATA");
  settings->drive = 4;
  engine->OnTimerTick();
  EXPECT_EQ(window->Title(), "Torvex - 25% - [D:\\]");

  // Hiding the progress panel while minimized stops the title updates.
  engine->OnPanelShown(engine::Panel::Progress, false);
  s.disk.percentShown = 30;
  engine->OnTimerTick();
  EXPECT_EQ(window->Title(), "Torvex - 25% - [D:\\]");
  engine->OnSizeChanged(false);
  EXPECT_EQ(window->Title(), "Torvex - [D:\\]");

  // Hidden time and speed panels are left alone; the watchdog counts on regardless.
  engine->OnPanelShown(engine::Panel::Time, false);
  engine->OnPanelShown(engine::Panel::Speed, false);
  EXPECT_EQ(window->Field(kIdElapsed), "");
  EXPECT_EQ(window->Field(kIdSpeed), "");
  engine->OnTimerTick();
  EXPECT_EQ(s.watchdog.Ticks(), 5);
  EXPECT_EQ(window->Field(kIdElapsed), "");

  release = true;
  ASSERT_TRUE(engine->WaitForCheckThread(30s));
  // At rest the title follows the options again.
  engine->OnSizeChanged(false);
  EXPECT_EQ(window->Title(), "Torvex - [D:\\DATA]");
}

TEST_F(CheckRunTest, EstimateIsUnknownUntilTheFirstBlockAndAbsentWithoutPreScan) {
  settings->delaySeconds = 99;
  StartHeldInSecondFile();
  auto& s = State();
  s.disk.bytesTotal = 1000;
  s.disk.bytesDone = 0;
  engine->OnTimerTick();
  EXPECT_EQ(window->Field(kIdEstimated), "?");
  s.disk.bytesDone = 500;
  engine->OnTimerTick();
  EXPECT_EQ(window->Field(kIdEstimated), "0:00:04");
  release = true;
  ASSERT_TRUE(engine->WaitForCheckThread(30s));

  // Without the pre-scan the estimate stays "?" and no percentage title comes.
  settings->preScan = false;
  settings->cdromTarget = false;  // no resume question about the first run's record
  release = false;
  blocks = 0;
  ASSERT_TRUE(engine->Start());
  ASSERT_TRUE(WaitUntil([&] { return blocks.load() >= 7; }));
  EXPECT_EQ(window->Field(kIdEstimated), "?");
  const std::string title = window->Title();
  engine->OnSizeChanged(false);
  engine->OnSizeChanged(true);
  engine->OnTimerTick();
  EXPECT_EQ(window->Field(kIdEstimated), "?");
  EXPECT_EQ(window->Title(), title);
  release = true;
}

TEST_F(CheckRunTest, ShowingTheProgressPanelAgainPutsBackTheDiskPercent) {
  Make();
  auto& s = State();
  s.running = true;
  s.disk.percentShown = 42;
  engine->OnPanelShown(engine::Panel::Progress, false);
  EXPECT_EQ(window->Progress(kIdDiskBar), 0);
  engine->OnPanelShown(engine::Panel::Progress, true);
  EXPECT_EQ(window->Progress(kIdDiskBar), 42);
  s.currentFolder.Set("D:\\SUB");
  engine->OnPanelShown(engine::Panel::Current, true);
  EXPECT_EQ(window->Field(engine::kIdFolderPath), "D:\\SUB");
}

TEST_F(CheckRunTest, OutOfMemoryInTheListStopsTheRun) {
  Make();
  State().idle = false;
  engine->OnListOutOfMemory();
  EXPECT_TRUE(State().stopRequest);
  ASSERT_EQ(window->Messages().size(), 1u);
  EXPECT_EQ(window->Messages()[0].type, engine::kMsgError);
  State().idle = true;
}

}  // namespace
}  // namespace engine_test
