// Read-ahead of the next files: it starts once the reader waits for the
// device, asks for exactly the blocks the reader will read, in reading order
// and within its window, stops at the first read error, and is never waited
// for. The files come from the FUSE file system, whose every read is slow;
// where the kernel refuses the mount, these tests skip and say why.
#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <condition_variable>

#include "engine/read_ahead.h"
#include "platform/thread.h"
#include "tests/engine/engine_fixture.h"
#include "tests/support/fault_fs.h"

namespace engine_test {
namespace {

using namespace std::chrono_literals;
using platform::ByteRange;
using testing_support::FaultFile;
using testing_support::FaultFs;

// Records what it is asked for, and can hold a request inside the "device".
class RecordingPrefetcher : public engine::FilePrefetcher {
 public:
  struct Ask {
    std::string folder, name;
    std::vector<ByteRange> ranges;
    std::string readerFile;  // what the window showed as the reader's file then
    pid_t thread;  // the asking thread's kernel id (never reused as soon as a pthread's)
  };
  struct Seen {
    std::vector<Ask> asks;
    std::vector<int> priorities, cpus;
    std::vector<pid_t> priorityTakers;
    int inside = 0;  // requests held inside now
  };
  explicit RecordingPrefetcher(std::shared_ptr<testing_support::RecordingWindow> window) : window_(std::move(window)) {}

  int HoldFolder() override { return platform::HoldCurrentFolder(); }
  bool WorthIt(int) override { return worth; }
  void ReleaseFolder(int folder) override { close(folder); }
  void Prefetch(int folder, const std::string& name, const std::vector<ByteRange>& ranges) override {
    char path[PATH_MAX] = {};
    const ssize_t n = readlink(("/proc/self/fd/" + std::to_string(folder)).c_str(), path, sizeof path - 1);
    std::unique_lock l(m_);
    seen_.asks.push_back({std::string(path, static_cast<size_t>(std::max<ssize_t>(n, 0))), name, ranges,
                          window_->Field(engine::kIdCurrentFile), ::gettid()});
    ++seen_.inside;
    released_.wait(l, [&] { return name != holdAt || release_; });
    --seen_.inside;
  }
  int TakePriority(int position) override {
    std::lock_guard l(m_);
    seen_.priorities.push_back(position);
    seen_.priorityTakers.push_back(::gettid());
    seen_.cpus = platform::CurrentThreadCpus();
    return priorityResult.exchange(platform::kPriorityExact);
  }

  Seen Now() {
    std::lock_guard l(m_);
    return seen_;
  }
  void Release() {
    std::lock_guard l(m_);
    release_ = true;
    released_.notify_all();
  }

  std::atomic<bool> worth{true};
  // The answer to the next priority call; the calls after it get their
  // priority exactly, as a fresh thread does.
  std::atomic<int> priorityResult{platform::kPriorityExact};
  std::string holdAt;  // requests for this file stay inside until Release (set before the run)

 private:
  std::shared_ptr<testing_support::RecordingWindow> window_;
  std::mutex m_;
  std::condition_variable released_;
  Seen seen_;
  bool release_ = false;
};

class ReadAheadTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    settings->preScan = false;
    prefetcher = std::make_shared<RecordingPrefetcher>(window);
    deps.prefetcher = prefetcher;
  }
  void TearDown() override {
    EngineTest::TearDown();
    engine.reset();
    fs.reset();
  }
  // Slow files D/F000 ... as drive D:, with the faults given.
  void Serve(int count, int64_t size, std::map<int, FaultFile::Fault> faults = {}) {
    std::vector<FaultFile> files;
    for (int i = 0; i < count; ++i) {
      const auto f = faults.find(i);
      if (f == faults.end()) {
        files.push_back({Name(i, true), size, FaultFile::kSlow, 100});
      } else {
        files.push_back({Name(i, true), size, f->second, 0});
      }
    }
    fs = std::make_unique<FaultFs>(std::move(files));
    std::string why;
    if (!fs->Mount(&why)) GTEST_SKIP() << "FUSE fault injection unavailable: " << why;
    deps.rootPaths = RootAt(fs->MountPoint());
  }
  static std::string Name(int i, bool withFolder = false) {
    char name[16];
    std::snprintf(name, sizeof name, "F%03d", i);
    return withFolder ? std::string("D/") + name : std::string(name);
  }
  static int Index(const std::string& name) { return std::stoi(name.substr(1)); }

  std::shared_ptr<RecordingPrefetcher> prefetcher;
  std::unique_ptr<FaultFs> fs;
};

TEST_F(ReadAheadTest, OnceTheReaderWaitsTheBlocksItWillReadAreAskedForInReadingOrderWithinTheWindow) {
  Serve(200, 100'000);  // more than one plan's worth of files
  if (IsSkipped()) return;
  settings->fastCheck = true;
  settings->priority = 2;
  Run();
  EXPECT_EQ(State().disk.filesChecked, 200);
  EXPECT_TRUE(ErrorRows().empty());

  const auto asks = prefetcher->Now().asks;
  ASSERT_FALSE(asks.empty()) << "every read was slow: the read-ahead should have started";
  // Only after eight first reads had waited; then each file once, in order,
  // never behind the reader and never more than the window ahead of it.
  const std::vector<ByteRange> fastBlocks{{0, 32768}, {98304, 1696}};
  int last = 7;
  for (const auto& a : asks) {
    const int i = Index(a.name);
    EXPECT_GT(i, last) << a.name;
    last = i;
    EXPECT_EQ(a.folder, fs->MountPoint() + "/D");
    EXPECT_EQ(a.ranges, fastBlocks) << "the reader reads one block in three";
    ASSERT_FALSE(a.readerFile.empty());
    EXPECT_LE(i - Index(a.readerFile), static_cast<int>(engine::ReadAhead::kWindowFiles)) << a.name;
  }
  EXPECT_EQ(prefetcher->Now().priorities, std::vector<int>{2});
  EXPECT_EQ(prefetcher->Now().cpus, platform::CurrentThreadCpus()) << "it does not keep to the reader's processor";
  // The check thread, one reader and one read-ahead thread; none outlives the run.
  EXPECT_EQ(threads->Started(), 3);
  ASSERT_TRUE(WaitUntil([&] { return threads->Alive() == 0; }));

  // Storage that is not worth it gets no read-ahead thread at all.
  prefetcher->worth = false;
  window->ClearStatistics();
  Run();
  EXPECT_EQ(prefetcher->Now().asks.size(), asks.size());
  EXPECT_EQ(threads->Started(), 5);
}

TEST_F(ReadAheadTest, AReadAheadThatCannotComeBackUpHandsOverToAFreshOne) {
  Serve(200, 100'000);
  if (IsSkipped()) return;
  settings->fastCheck = true;
  settings->priority = 0;
  // The slider goes from Lowest to Normal while the reader is at the 50th
  // file, and the thread lowered before may not rise again.
  window->onProgress = [&](int id, int position) {
    if (id != engine::kIdFileBar || position != 0 || window->Field(engine::kIdCurrentFile) != Name(50)) return;
    prefetcher->priorityResult = platform::kPriorityKeptLower;
    settings->priority = 3;
  };
  Run();
  EXPECT_EQ(State().disk.filesChecked, 200);
  EXPECT_TRUE(ErrorRows().empty());

  const auto seen = prefetcher->Now();
  ASSERT_EQ(seen.priorities, (std::vector<int>{0, 3, 3}));
  EXPECT_EQ(seen.priorityTakers[0], seen.priorityTakers[1]);
  EXPECT_NE(seen.priorityTakers[2], seen.priorityTakers[1]) << "a fresh thread takes the new priority";
  // The lowered one asks for nothing more; the fresh one goes on to the end.
  int lastOfFirst = -1;
  for (const auto& a : seen.asks) {
    if (a.thread == seen.priorityTakers[0]) {
      lastOfFirst = std::max(lastOfFirst, Index(a.name));
    } else {
      EXPECT_EQ(a.thread, seen.priorityTakers[2]);
      EXPECT_GT(Index(a.name), 50) << "asked for behind the reader";
    }
  }
  EXPECT_GE(lastOfFirst, 50);
  ASSERT_FALSE(seen.asks.empty());
  EXPECT_EQ(seen.asks.back().thread, seen.priorityTakers[2]);
  EXPECT_EQ(seen.asks.back().name, Name(199));
  EXPECT_EQ(threads->Started(), 4) << "the check thread, the reader and two read-ahead threads";
  ASSERT_TRUE(WaitUntil([&] { return threads->Alive() == 0; }));
}

TEST_F(ReadAheadTest, NobodyWaitsForItAndAReadErrorEndsIt) {
  Serve(60, 10'000, {{30, FaultFile::kEio}});
  if (IsSkipped()) return;
  prefetcher->holdAt = Name(40);  // this request does not come back from the "device"
  std::atomic<bool> readerMayGo{false};
  window->onProgress = [&](int id, int position) {
    if (id != engine::kIdFileBar || position != 0) return;
    const std::string file = window->Field(engine::kIdCurrentFile);
    // The bad block comes while the read-ahead is held beyond it ...
    if (file == Name(30)) WaitUntil([&] { return prefetcher->Now().inside == 1; });
    // ... and the reader goes on past it, then waits here for the test.
    if (file == Name(35)) WaitUntil([&] { return readerMayGo.load(); });
  };
  Make();
  ASSERT_TRUE(engine->Start());
  ASSERT_TRUE(WaitUntil([&] { return window->Field(engine::kIdCurrentFile) == Name(35); }));
  ASSERT_EQ(ErrorRows().size(), 1u);
  EXPECT_EQ(ErrorRows()[0][0], Name(30));
  const auto asked = prefetcher->Now().asks;
  ASSERT_FALSE(asked.empty());
  EXPECT_EQ(asked.back().name, Name(40));

  // Let go, the read-ahead ends while the run goes on, without asking for
  // anything more: the check thread and the reader are left.
  prefetcher->Release();
  EXPECT_TRUE(WaitUntil([&] { return threads->Alive() == 2; }, 5s));
  EXPECT_EQ(prefetcher->Now().asks.size(), asked.size());
  readerMayGo = true;
  ASSERT_TRUE(engine->WaitForCheckThread(30s));
  EXPECT_EQ(State().disk.filesChecked, 60);
  ASSERT_TRUE(WaitUntil([&] { return threads->Alive() == 0; }));
}

}  // namespace
}  // namespace engine_test
