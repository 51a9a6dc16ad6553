// The reader thread across files: one thread reads file after file, a
// reader given up on a stall is replaced by a fresh one, and no reader
// outlives its run.
#include <sys/resource.h>

#include <future>
#include <map>
#include <set>
#include <thread>

#include "platform/thread.h"
#include "tests/engine/engine_fixture.h"

namespace engine_test {
namespace {

using namespace std::chrono_literals;

using testing_support::ThreadSerial;

class ReaderThreadTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    settings->preScan = false;
    // Where every file is read.
    threads = std::make_shared<testing_support::FakeThreads>(testing_support::FakeThreads::Answering(0));
  }
  // The thread of each reader start, in order.
  std::vector<int> ReaderIds() const {
    std::vector<int> ids;
    for (const auto& r : threads->ReaderStarts()) ids.push_back(r.thread);
    return ids;
  }
  std::set<int> DistinctReaders() const {
    const auto ids = ReaderIds();
    return {ids.begin(), ids.end()};
  }
};

// The slider went to Lowest and back: the reader of the second file may not
// rise again.
class SecondReaderStartKeptLower : public testing_support::FakeThreads {
 protected:
  int AtReaderStart(int n, int) override { return n == 2 ? platform::kPriorityKeptLower : platform::kPriorityExact; }
};

TEST_F(ReaderThreadTest, OneReaderThreadReadsEveryFileOfARunAndEndsWithIt) {
  for (int i = 0; i < 50; ++i) tree.File("D" + std::to_string(i % 3) + "/F" + std::to_string(i), 100 * i);
  tree.Symlink("GONE", "nowhere");  // an Open error does not cost the reader
  int checkThread = 0;
  std::vector<int> checkCpus;
  window->onProgress = [&](int id, int) {
    if (id == engine::kIdDiskBar) {  // the reset at the run's end
      checkThread = ThreadSerial();
      checkCpus = platform::CurrentThreadCpus();
    }
  };
  Run();
  EXPECT_EQ(State().disk.filesChecked, 51);
  EXPECT_EQ(State().bytesRead, 100 * 49 * 50 / 2);
  ASSERT_EQ(ErrorRows().size(), 1u);
  EXPECT_EQ(ErrorRows()[0][1], "Open");
  EXPECT_EQ(threads->Started(), 2) << "the check thread and one reader";
  const auto readers = DistinctReaders();
  ASSERT_EQ(readers.size(), 1u);
  EXPECT_NE(*readers.begin(), checkThread) << "files are never read on the check thread";
  // The two take turns on one processor.
  ASSERT_EQ(checkCpus.size(), 1u);
  for (const auto& r : threads->ReaderStarts()) EXPECT_EQ(r.cpus, checkCpus);
  ASSERT_TRUE(WaitUntil([&] { return threads->Alive() == 0; })) << "a reader outlived its run";

  // The next run has a reader of its own.
  window->ClearStatistics();
  Run();
  EXPECT_EQ(threads->Started(), 4);
  ASSERT_TRUE(WaitUntil([&] { return threads->Alive() == 0; }));
}

TEST_F(ReaderThreadTest, AReaderThatCannotComeBackUpHandsTheNextFileToAFreshOne) {
  for (int i = 0; i < 6; ++i) tree.File("F" + std::to_string(i), 1000);
  threads = std::make_shared<SecondReaderStartKeptLower>();
  Run();
  EXPECT_EQ(State().disk.filesChecked, 6);
  EXPECT_TRUE(ErrorRows().empty());
  const auto readerIds = ReaderIds();
  ASSERT_EQ(readerIds.size(), 6u);
  // Its file is still read; the next ones go to a second reader.
  EXPECT_EQ(readerIds[0], readerIds[1]);
  EXPECT_NE(readerIds[2], readerIds[1]);
  for (std::size_t i = 3; i < readerIds.size(); ++i) EXPECT_EQ(readerIds[i], readerIds[2]);
  EXPECT_EQ(threads->Started(), 3) << "the check thread and two readers";
}

TEST_F(ReaderThreadTest, AReaderGivenUpOnAStallIsReplacedAndTheStuckOneLeavesQuietly) {
  const std::map<std::string, int64_t> sizes{{"A", 1000}, {"B", 70'000}, {"C", 3000}};
  for (const auto& [name, size] : sizes) tree.File(name, size);
  settings->delaySeconds = 3;
  // The second file stalls where no tick reaches it.
  auto held = std::make_shared<testing_support::HeldReaders>(2, testing_support::FakeThreads::Answering(0));
  threads = held;
  Make();
  ASSERT_TRUE(engine->Start());
  ASSERT_TRUE(WaitUntil([&] { return held->Inside() == 1; }));
  for (int i = 0; i < 3; ++i) engine->OnTimerTick();
  ASSERT_TRUE(engine->WaitForCheckThread(30s));
  engine->OnTimerTick();

  // The second file in listing order stalled; the third was still read.
  const auto order = CheckedFiles();
  ASSERT_EQ(order.size(), 3u);
  const std::string stuck = order[1];
  ASSERT_EQ(ErrorRows().size(), 1u);
  EXPECT_EQ(ErrorRows()[0], (std::array<std::string, 4>{stuck, "Read", "0", "D:\\"}));
  const int64_t read = 74'000 - sizes.at(stuck);
  EXPECT_EQ(State().bytesRead, read);
  EXPECT_EQ(State().disk.bytesDone, 74'000);
  // The check thread, the first reader (A, then stuck in B) and a fresh one for C.
  EXPECT_EQ(threads->Started(), 3);
  EXPECT_EQ(DistinctReaders().size(), 2u);
  EXPECT_EQ(engine->AbandonedReaders(), 1);
  // The reader of the last file ends with the run; only the stuck one is left.
  EXPECT_TRUE(WaitUntil([&] { return threads->Alive() == 1; }));
  EXPECT_EQ(threads->Alive(), 1);

  const auto rowsBefore = window->Rows().size();
  held->Release();
  ASSERT_TRUE(WaitUntil([&] { return threads->Alive() == 0 && engine->AbandonedReaders() == 0; }));
  EXPECT_EQ(window->Rows().size(), rowsBefore);
  EXPECT_EQ(State().bytesRead, read);
}

TEST_F(ReaderThreadTest, StopAndCloseEndTheWaitingReader) {
  for (int i = 0; i < 5; ++i) tree.File("F" + std::to_string(i), 40'000);
  window->onProgress = [&](int id, int pos) {
    if (id == engine::kIdFileBar && pos == 100) engine->Stop();
  };
  Run();
  EXPECT_EQ(State().disk.filesChecked, 0);
  ASSERT_TRUE(WaitUntil([&] { return threads->Alive() == 0; }));

  window->onProgress = [&](int id, int pos) {
    if (id == engine::kIdFileBar && pos == 100) engine->Close();
  };
  window->ClearStatistics();
  Make();
  ASSERT_TRUE(engine->Start());
  ASSERT_TRUE(engine->WaitForCheckThread(30s));
  ASSERT_TRUE(WaitUntil([&] { return threads->Alive() == 0; }));
}

// The system's priority calls keep what a thread was given: a reader asks
// the system again only when the slider has moved.
TEST(SystemReaderPriority, IsAskedOfTheSystemOnlyWhenThePositionChanges) {
  engine::SystemThreads threads;
  std::promise<std::array<int, 3>> p;
  auto f = p.get_future();
  ASSERT_EQ(platform::StartDetachedThread([&] {
              threads.SetReaderPriority(2);                 // nice 5
              const int given = platform::CurrentThreadNice();
              setpriority(PRIO_PROCESS, 0, given + 3);      // moved behind the engine's back
              threads.SetReaderPriority(2);                 // same position: left alone
              const int kept = platform::CurrentThreadNice();
              threads.SetReaderPriority(1);                 // the slider moved: nice 10
              p.set_value({given, kept, platform::CurrentThreadNice()});
            }),
            0);
  const auto [given, kept, moved] = f.get();
  EXPECT_EQ(given, platform::PriorityForPosition(2).nice);
  EXPECT_EQ(kept, given + 3);
  EXPECT_EQ(moved, platform::PriorityForPosition(1).nice);
}

}  // namespace
}  // namespace engine_test
