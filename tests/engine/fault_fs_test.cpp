// The engine against real kernel errors, served by a FUSE file system of our
// own. Where the kernel refuses the mount, these tests skip and say why.
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

}  // namespace
}  // namespace engine_test
