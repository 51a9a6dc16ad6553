// The engine against real kernel errors, served by a FUSE file system of our
// own. Where the kernel refuses the mount, these tests skip and say why.
#include <algorithm>
#include <thread>

#include "tests/engine/engine_fixture.h"
#include "tests/support/fault_fs.h"

namespace engine_test {
namespace {

using namespace std::chrono_literals;
using testing_support::FaultFile;
using testing_support::FaultFs;
using Reads = std::vector<std::pair<int64_t, int64_t>>;

class FaultFsTest : public EngineTest {
 protected:
  // Mounts the files as drive D:.
  void Serve(std::vector<FaultFile> files) {
    fs = std::make_unique<FaultFs>(std::move(files));
    std::string why;
    if (!fs->Mount(&why)) GTEST_SKIP() << "FUSE fault injection unavailable: " << why;
    deps.rootPaths = RootAt(fs->MountPoint());
  }
  void TearDown() override {
    EngineTest::TearDown();
    engine.reset();
    fs.reset();
  }
  std::map<std::string, std::array<std::string, 4>> RowsByName() const {
    std::map<std::string, std::array<std::string, 4>> m;
    for (const auto& r : ErrorRows()) m[r[0]] = r;
    return m;
  }
  std::unique_ptr<FaultFs> fs;
};

TEST_F(FaultFsTest, KernelErrorsBecomeRowsWithTheBlockPosition) {
  Serve({
      {"FIRST.BIN", 100'000, FaultFile::kEio, 0},
      {"THIRD.BIN", 200'000, FaultFile::kEio, 70'000},
      {"LOCKED.BIN", 5'000, FaultFile::kNoOpen},
      {"SUB/FINE.BIN", 50'000},
      {"SHORT.BIN", 100'000, FaultFile::kShort, 40'000},  // the last file of the walk
  });
  if (IsSkipped()) return;
  Run();
  const auto rows = RowsByName();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows.at("FIRST.BIN"), (std::array<std::string, 4>{"FIRST.BIN", "Read", "0", "D:\\"}));
  EXPECT_EQ(rows.at("THIRD.BIN"), (std::array<std::string, 4>{"THIRD.BIN", "Read", "64", "D:\\"}));
  EXPECT_EQ(rows.at("LOCKED.BIN"), (std::array<std::string, 4>{"LOCKED.BIN", "Open", "", "D:\\"}));
  const auto& d = State().disk;
  EXPECT_EQ(d.readErrors, 2);
  EXPECT_EQ(d.openErrors, 1);
  EXPECT_EQ(d.filesChecked, 5);
  EXPECT_EQ(d.bytesDone, d.bytesTotal);
  EXPECT_EQ(d.percentShown, 100);
  // No read is ever retried: the failed block decides the file.
  EXPECT_EQ(fs->Reads("THIRD.BIN"), (Reads{{0, 32768}, {32768, 32768}, {65536, 32768}}));
  // A file shorter than listed ends at its end of file without an error
  // (the short read goes on once and meets the end of the file).
  EXPECT_EQ(fs->Reads("SHORT.BIN"), (Reads{{0, 32768}, {32768, 32768}, {40000, 25536}}));
  EXPECT_EQ(Report(), "The checking is complete\nFiles checked: 5\nFiles with errors (read/open): 2 / 1");
  auto lines = log->Lines();
  std::sort(lines.begin(), lines.end());
  EXPECT_EQ(lines, (std::vector<std::string>{"FIRST.BIN, Read, 0, D:\\", "LOCKED.BIN, Open, , D:\\",
                                             "THIRD.BIN, Read, 64, D:\\", "[]"}));
  auto sounds = Sounds();
  EXPECT_EQ(std::count(sounds.begin(), sounds.end(), 1), 2);
  EXPECT_EQ(std::count(sounds.begin(), sounds.end(), 2), 1);
}

TEST_F(FaultFsTest, TheFileSystemSeesTheReadOffsetsOfBothModes) {
  Serve({{"FAST.BIN", 204'800}, {"PLAIN.BIN", 100'000}, {"ONE.BIN", 32'768}});
  if (IsSkipped()) return;
  settings->fastCheck = true;
  Run();
  EXPECT_EQ(fs->Reads("FAST.BIN"), (Reads{{0, 32768}, {98304, 32768}, {196608, 8192}}));
  settings->fastCheck = false;
  window->ClearStatistics();
  Run();
  EXPECT_EQ(fs->Reads("PLAIN.BIN"),
            (Reads{{0, 32768}, {98304, 1696},  // fast: 67,232 bytes remained after the first block
                   {0, 32768}, {32768, 32768}, {65536, 32768}, {98304, 1696}}));
  // A file of exactly one block: the read of nothing after it never reaches the disk.
  EXPECT_EQ(fs->Reads("ONE.BIN"), (Reads{{0, 32768}, {0, 32768}}));
  EXPECT_TRUE(ErrorRows().empty());
}

TEST_F(FaultFsTest, AnInterruptedReadIsRetriedNotReported) {
  Serve({{"EINTR.BIN", 70'000, FaultFile::kEintr, 32768}});
  if (IsSkipped()) return;
  Run();
  EXPECT_TRUE(ErrorRows().empty());
  EXPECT_EQ(fs->Reads("EINTR.BIN"), (Reads{{0, 32768}, {32768, 32768}, {32768, 32768}, {65536, 4464}}));
  EXPECT_EQ(State().bytesRead, 70'000);
}

TEST_F(FaultFsTest, AReadStalledInTheKernelIsAbandonedAfterTheDelayAndTheWalkGoesOn) {
  Serve({
      {"STALL.BIN", 5 * 32768, FaultFile::kStall, 32768},
      {"AFTER1.BIN", 3 * 32768},
      {"SUB/AFTER2.BIN", 1000},
  });
  if (IsSkipped()) return;
  settings->delaySeconds = 3;
  Make();
  ASSERT_TRUE(engine->Start());
  ASSERT_TRUE(WaitUntil([&] { return fs->StalledReads() == 1; }));
  engine->OnTimerTick();
  engine->OnTimerTick();
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(engine->AbandonedReaders(), 0) << "given up before the delay time";
  engine->OnTimerTick();
  ASSERT_TRUE(WaitUntil([&] { return engine->AbandonedReaders() == 1; }));
  ASSERT_TRUE(engine->WaitForCheckThread(30s));
  engine->OnTimerTick();

  // The stall is a read error at the block it stalled in; the other files,
  // on the same mount, were read while the stalled read was still pending.
  const auto rows = RowsByName();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows.at("STALL.BIN"), (std::array<std::string, 4>{"STALL.BIN", "Read", "32", "D:\\"}));
  EXPECT_EQ(fs->StalledReads(), 1);
  EXPECT_EQ(fs->Reads("AFTER1.BIN").size(), 3u);
  EXPECT_EQ(fs->Reads("SUB/AFTER2.BIN").size(), 1u);
  EXPECT_EQ(State().disk.filesChecked, 3);
  EXPECT_EQ(State().disk.bytesDone, State().disk.bytesTotal);

  // umount -f frees the stalled read at once; the reader leaves quietly.
  const auto rowsBefore = window->Rows().size();
  const int64_t doneBefore = State().disk.bytesDone;
  fs->ForceUnmount();
  ASSERT_TRUE(WaitUntil([&] { return engine->AbandonedReaders() == 0; }));
  EXPECT_EQ(window->Rows().size(), rowsBefore);
  EXPECT_EQ(State().disk.bytesDone, doneBefore);
}

TEST_F(FaultFsTest, StopWhileAReadStallsEndsTheFileAsAReadErrorAfterTheDelay) {
  Serve({{"STALL.BIN", 4 * 32768, FaultFile::kStall, 0}, {"NEVER.BIN", 1000}});
  if (IsSkipped()) return;
  settings->delaySeconds = 3;
  Make();
  ASSERT_TRUE(engine->Start());
  ASSERT_TRUE(WaitUntil([&] { return fs->StalledReads() == 1; }));
  engine->Stop();
  RunTicking(1ms);
  const auto rows = RowsByName();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows.at("STALL.BIN")[1], "Read");
  EXPECT_EQ(rows.at("STALL.BIN")[2], "0");
  EXPECT_TRUE(fs->Reads("NEVER.BIN").empty());
  EXPECT_EQ(State().disk.filesChecked, 0);
  fs->ForceUnmount();
  ASSERT_TRUE(WaitUntil([&] { return engine->AbandonedReaders() == 0; }));
}

// A listing without the entry's type (as a UDF disc's may give) and a
// damaged record behind it, so that the entry cannot even be looked at: the
// entry is an Open row, never left out.
TEST_F(FaultFsTest, AnEntryWithoutATypeThatCannotBeLookedAtIsAnOpenRow) {
  Serve({{"A.BIN", 1000}, {"LOST.BIN", 4000, FaultFile::kUntyped}, {"Z.BIN", 2000}});
  if (IsSkipped()) return;
  Run();
  const auto rows = RowsByName();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows.at("LOST.BIN"), (std::array<std::string, 4>{"LOST.BIN", "Open", "", "D:\\"}));
  EXPECT_EQ(Report(), "The checking is complete\nFiles checked: 3\nFiles with errors (read/open): 0 / 1");
  EXPECT_EQ(State().bytesRead, 3000);
  EXPECT_TRUE(fs->Reads("LOST.BIN").empty());
}

TEST_F(FaultFsTest, FoldersThatCannotBeEnteredOrListedAreOpenErrorsOfTheCheck) {
  Serve({
      {"A.BIN", 1000},
      {"BROKEN", 0, FaultFile::kNoList},   // damaged folder sectors
      {"SUB/LOCKED", 0, FaultFile::kNoEnter},
      {"SUB/OK.BIN", 2000},
  });
  if (IsSkipped()) return;
  Run();
  // Counted and checked: the files that could be reached.
  EXPECT_EQ(State().disk.filesTotal, 2);
  EXPECT_EQ(State().disk.filesChecked, 2);
  const auto rows = RowsByName();
  ASSERT_EQ(rows.size(), 2u);  // the counting walk reports nothing
  EXPECT_EQ(rows.at("BROKEN"), (std::array<std::string, 4>{"BROKEN", "Open", "", "D:\\"}));
  EXPECT_EQ(rows.at("LOCKED"), (std::array<std::string, 4>{"LOCKED", "Open", "", "D:\\SUB"}));
  auto lines = log->Lines();
  std::sort(lines.begin(), lines.end());
  EXPECT_EQ(lines, (std::vector<std::string>{"BROKEN, Open, , D:\\", "LOCKED, Open, , D:\\SUB", "[]"}));
  EXPECT_EQ(Report(), "The checking is complete\nFiles checked: 2\nFiles with errors (read/open): 0 / 2");
  const auto sounds = Sounds();
  EXPECT_EQ(std::count(sounds.begin(), sounds.end(), 2), 2);
}

TEST_F(FaultFsTest, AFileSystemMountedInsideTheCheckedTreeIsNeitherCountedNorEntered) {
  tree.File("A.TXT", 1000);
  tree.File("SUB/B.TXT", 2000);
  tree.Folder("SUB/MNT");
  tree.File("SUB/PLAIN/C.TXT", 3000);
  fs = std::make_unique<FaultFs>(std::vector<FaultFile>{{"INNER.BIN", 50'000}, {"DEEP/X.BIN", 10}});
  std::string why;
  if (!fs->MountAt(tree.Path("SUB/MNT"), &why)) GTEST_SKIP() << "FUSE fault injection unavailable: " << why;
  Run();
  EXPECT_EQ(State().disk.filesTotal, 3);
  EXPECT_EQ(State().disk.bytesTotal, 6000);
  auto checked = CheckedFiles();
  std::sort(checked.begin(), checked.end());
  EXPECT_EQ(checked, (std::vector<std::string>{"A.TXT", "B.TXT", "C.TXT"}));
  EXPECT_TRUE(fs->Reads("INNER.BIN").empty());
  EXPECT_TRUE(ErrorRows().empty());
  const auto paths = window->FieldHistory(engine::kIdFolderPath);
  EXPECT_EQ(std::find(paths.begin(), paths.end(), "D:\\SUB\\MNT"), paths.end());
  EXPECT_NE(std::find(paths.begin(), paths.end(), "D:\\SUB\\PLAIN"), paths.end());
}

TEST_F(FaultFsTest, AReaderWhoseCloseStallsHoldsItsPlaceUntilTheFileIsClosed) {
  Serve({{"CLOSING.BIN", 40'000, FaultFile::kNone, 0, true}, {"NEXT.BIN", 1000}});
  if (IsSkipped()) return;
  settings->delaySeconds = 3;
  Make();
  ASSERT_TRUE(engine->Start());
  ASSERT_TRUE(WaitUntil([&] { return fs->StalledCloses() == 1; }));
  // Every block was read, but the file is not finished while its close hangs.
  for (int i = 0; i < 3; ++i) engine->OnTimerTick();
  ASSERT_TRUE(engine->WaitForCheckThread(30s));
  engine->OnTimerTick();
  EXPECT_EQ(engine->AbandonedReaders(), 1);
  const auto rows = RowsByName();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows.at("CLOSING.BIN")[1], "Read");
  EXPECT_EQ(fs->Reads("NEXT.BIN").size(), 1u);
  fs->ReleaseCloses();
  ASSERT_TRUE(WaitUntil([&] { return engine->AbandonedReaders() == 0; }));
  EXPECT_EQ(window->Rows().size(), rows.size() + 1);
}

TEST_F(FaultFsTest, ADeviceThatStopsAnsweringStopsTheRunAndContinuingPicksUpAfterTheLastFileRead) {
  const int stalling = engine::kMaxAbandonedReaders;
  std::vector<FaultFile> files;
  for (int i = 0; i < stalling; ++i) files.push_back({"S" + std::to_string(i) + ".BIN", 70'000, FaultFile::kStall, 0});
  files.push_back({"T1.BIN", 5000});
  files.push_back({"T2.BIN", 6000});
  Serve(files);
  if (IsSkipped()) return;
  settings->delaySeconds = 3;
  settings->cdromTarget = true;
  Make();
  ASSERT_TRUE(engine->Start());
  // The clock runs only while the current reader is stuck in the kernel, or
  // no reader is free: a reader that is merely slow to start is not given up.
  while (!engine->WaitForCheckThread(1ms)) {
    const int stuck = engine->AbandonedReaders();
    if (fs->StalledReads() > stuck || stuck == engine::kMaxAbandonedReaders) engine->OnTimerTick();
  }
  engine->OnTimerTick();
  // Each stalled file is a read error; then no reader is left and the device
  // does not answer: one message, and nothing more is opened or reported.
  EXPECT_EQ(ErrorRows().size(), static_cast<size_t>(stalling));
  EXPECT_TRUE(fs->Reads("T1.BIN").empty());
  ASSERT_EQ(window->Messages().size(), 2u);
  EXPECT_EQ(window->Messages()[0].text,
            engine::FillIn(testing_support::EnglishText(engine::kTextDeviceNotAnswering), {"D:"}));
  EXPECT_EQ(store->Get().filesChecked, stalling);
  EXPECT_EQ(store->Get().filesTotal, stalling + 2);
  EXPECT_EQ(Report(), "The checking is complete (98%)\nFiles checked: 8\nFiles with errors (read/open): 8 / 0");

  // The same disc, answering again: Continue checking reads the rest.
  fs->ForceUnmount();
  ASSERT_TRUE(WaitUntil([&] { return engine->AbandonedReaders() == 0; }));
  for (auto& f : files) f.fault = FaultFile::kNone;
  Serve(files);
  window->answer = [](const auto& m) {
    return m.caption == "Torvex disk restore" ? engine::kIdContinue : engine::kIdOk;
  };
  engine.reset();
  window->ClearStatistics();
  Run();
  EXPECT_TRUE(ErrorRows().empty());
  EXPECT_TRUE(fs->Reads("S0.BIN").empty());
  EXPECT_EQ(fs->Reads("T1.BIN").size(), 1u);
  EXPECT_EQ(fs->Reads("T2.BIN").size(), 1u);
  EXPECT_EQ(State().disk.bytesDone, State().disk.bytesTotal);
  EXPECT_EQ(store->Get().filesChecked, stalling + 2);
}

}  // namespace
}  // namespace engine_test
