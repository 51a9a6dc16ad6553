// Headless benchmark of the scan engine against cat.
//
// Generates two trees (many small files; a few large files), warms the page
// cache, then checks each tree with the engine and reads the same files with
// `find | xargs cat` and with a bare loop of 32 KiB read() calls, alternating,
// and prints MB/s and files/s for each, their ratios, and the engine's
// overhead per file. A third case holds a
// reader inside a stalled read and measures the CPU the waiting file check
// uses meanwhile.
//
//   bench_engine [--small N] [--small-size BYTES] [--large N] [--large-mb MB] [--reps R]
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/check_run.h"
#include "engine/system_services.h"
#include "bench/bench_support.h"

namespace {

using namespace bench;
using Clock = std::chrono::steady_clock;

// Readers that wait inside their priority call until the gate opens.
class GatedThreads : public engine::SystemThreads {
 public:
  explicit GatedThreads(std::function<int()> wait) : wait_(std::move(wait)) {}
  int SetReaderPriority(int) override { return wait_(); }

 private:
  std::function<int()> wait_;
};

// The floor for any reader of 32 KiB blocks: the same files read with plain
// read() calls of 32,768 bytes on one thread, nothing else.
double BlockLoopSeconds(const Tree& t) {
  static char buf[32768];
  const auto start = Clock::now();
  for (const auto& e : std::filesystem::recursive_directory_iterator(t.root)) {
    if (!e.is_regular_file()) continue;
    const int fd = open(e.path().c_str(), O_RDONLY);
    while (read(fd, buf, sizeof buf) > 0) {
    }
    close(fd);
  }
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double EngineSeconds(const Tree& t, bool preScan) {
  const std::string cwd = std::filesystem::current_path();
  engine::ScanEngine engine(CheckDeps(t.root, preScan));
  const auto start = Clock::now();
  if (!engine.Start()) std::exit(1);
  engine.WaitForCheckThread(std::chrono::hours(1));
  const double s = std::chrono::duration<double>(Clock::now() - start).count();
  const auto& d = engine.State().disk;
  if (d.filesChecked != t.files || engine.State().bytesRead != t.bytes || d.readErrors + d.openErrors != 0) {
    std::fprintf(stderr, "engine checked %d files, %lld bytes; expected %d, %lld\n", d.filesChecked.load(),
                 static_cast<long long>(engine.State().bytesRead.load()), t.files, static_cast<long long>(t.bytes));
    std::exit(1);
  }
  std::filesystem::current_path(cwd);
  return s;
}

void Report(const char* name, const Tree& t, int reps) {
  CatSeconds(t);  // warm the page cache
  double cat = 1e9, loop = 1e9, eng = 1e9, engNoScan = 1e9;
  for (int r = 0; r < reps; ++r) {
    cat = std::min(cat, CatSeconds(t));
    loop = std::min(loop, BlockLoopSeconds(t));
    eng = std::min(eng, EngineSeconds(t, true));
    engNoScan = std::min(engNoScan, EngineSeconds(t, false));
  }
  const double mb = static_cast<double>(t.bytes) / (1024.0 * 1024.0);
  std::printf("\n%s: %d files, %.1f MiB (best of %d)\n", name, t.files, mb, reps);
  std::printf("  %-26s %10s %12s %10s\n", "", "MB/s", "files/s", "seconds");
  auto row = [&](const char* what, double s) {
    std::printf("  %-26s %10.1f %12.0f %10.3f\n", what, mb / s, t.files / s, s);
  };
  row("cat (find | xargs cat)", cat);
  row("read() loop, 32 KiB blocks", loop);
  row("engine, pre-scan on", eng);
  row("engine, pre-scan off", engNoScan);
  std::printf("  engine/cat MB/s ratio: %.2f (pre-scan on), %.2f (off); engine/read() loop: %.2f (off)\n",
              cat / eng, cat / engNoScan, loop / engNoScan);
  std::printf("  engine overhead per file over cat: %.1f us (pre-scan on), %.1f us (off)\n",
              (eng - cat) / t.files * 1e6, (engNoScan - cat) / t.files * 1e6);
}

double ProcessCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

// A reader held inside its "read" for a second: the file check waits on it.
void StallCase(const std::string& base) {
  const std::string root = base + "/stall";
  std::filesystem::create_directories(root);
  WriteFile(root + "/stuck.bin", 1000);
  auto deps = CheckDeps(root, false);
  deps.settings->delaySeconds = 99;
  struct Gate {
    std::mutex m;
    std::condition_variable cv;
    bool open = false, inside = false;
  };
  auto gate = std::make_shared<Gate>();
  deps.threads = std::make_shared<GatedThreads>([gate] {
    std::unique_lock l(gate->m);
    gate->inside = true;
    gate->cv.notify_all();
    gate->cv.wait(l, [&] { return gate->open; });
    return 0;
  });
  const std::string cwd = std::filesystem::current_path();
  engine::ScanEngine engine(deps);
  engine.Start();
  {
    std::unique_lock l(gate->m);
    gate->cv.wait(l, [&] { return gate->inside; });
  }
  const double cpu0 = ProcessCpuSeconds();
  const auto t0 = Clock::now();
  for (int i = 0; i < 10; ++i) {  // ten timer ticks while the read stalls
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    engine.OnTimerTick();
  }
  const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
  const double cpu = ProcessCpuSeconds() - cpu0;
  {
    std::lock_guard l(gate->m);
    gate->open = true;
  }
  gate->cv.notify_all();
  engine.WaitForCheckThread(std::chrono::seconds(30));
  std::filesystem::current_path(cwd);
  std::printf("\nstalled read: %.2f s of waiting with 10 ticks used %.3f ms of CPU (%.3f%%)\n", wall, cpu * 1e3,
              cpu / wall * 100);
}

}  // namespace

int main(int argc, char** argv) {
  int small = 20000, large = 6, reps = 5;
  int64_t smallSize = 2048, largeMb = 256;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    const long long v = std::atoll(argv[i + 1]);
    if (a == "--small") small = static_cast<int>(v);
    else if (a == "--small-size") smallSize = v;
    else if (a == "--large") large = static_cast<int>(v);
    else if (a == "--large-mb") largeMb = v;
    else if (a == "--reps") reps = static_cast<int>(v);
  }
  const char* tmp = std::getenv("TMPDIR");
  std::string base = std::string(tmp ? tmp : "/tmp") + "/torvex-bench-XXXXXX";
  if (mkdtemp(base.data()) == nullptr) return 1;
  std::printf("generating trees in %s ...\n", base.c_str());
  const Tree smallTree = MakeTree(base, "small", small, smallSize, 200);
  const Tree largeTree = MakeTree(base, "large", large, largeMb << 20, 1);
  Report("many small files", smallTree, reps);
  Report("few large files", largeTree, reps);
  StallCase(base);
  std::filesystem::remove_all(base);
  return 0;
}
