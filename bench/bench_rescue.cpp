// The rescue of an undamaged tree against a check of the same tree: the
// rescue reads what a check reads and also writes it, so it must stay close
// (at least 0.9 of the check's MB/s). Two trees (many small files; a few
// large ones), on the page cache and cold (every cache dropped before each
// run; needs root). The copies go to --dest, by default /dev/shm (another
// volume, as a rescue's destination must be), emptied before every run.
//
//   bench_rescue [--work DIR] [--dest DIR] [--small N] [--small-size BYTES]
//                [--large N] [--large-mb MB] [--reps R] [--only pagecache,cold]
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <string>

#include "bench/bench_support.h"
#include "engine/check_run.h"
#include "engine/rescue.h"
#include "engine/system_services.h"

namespace {

using namespace bench;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

class Waiter : public engine::RescueListener {
 public:
  void Progress(const engine::RescueProgress&) override {}
  void Finished(const engine::RescueReport& r) override {
    std::lock_guard lock(m_);
    report_ = r;
    done_ = true;
    cv_.notify_all();
  }
  engine::RescueReport Wait() {
    std::unique_lock lock(m_);
    cv_.wait(lock, [this] { return done_; });
    return report_;
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  bool done_ = false;
  engine::RescueReport report_;
};

bool DropCaches() {
  sync();
  std::ofstream out("/proc/sys/vm/drop_caches");
  out << "3\n";
  return static_cast<bool>(out.flush());
}

double CheckSeconds(const Tree& t) {
  const fs::path cwd = fs::current_path();
  engine::ScanEngine engine(CheckDeps(t.root, true));
  const auto start = Clock::now();
  if (!engine.Start()) std::exit(1);
  engine.WaitForCheckThread(std::chrono::hours(1));
  const double s = std::chrono::duration<double>(Clock::now() - start).count();
  if (engine.State().disk.filesChecked != t.files || engine.State().bytesRead != t.bytes) {
    std::fprintf(stderr, "the check did not read the whole tree\n");
    std::exit(1);
  }
  fs::current_path(cwd);
  return s;
}

std::vector<engine::RescueFile> FilesOf(const Tree& t) {
  std::vector<engine::RescueFile> files;
  for (const auto& e : fs::recursive_directory_iterator(t.root)) {
    if (e.is_regular_file()) files.push_back({e.path().string(), fs::relative(e.path(), t.root).string()});
  }
  return files;
}

double RescueSeconds(const Tree& t, const std::vector<engine::RescueFile>& files, const std::string& dest) {
  fs::remove_all(dest);
  fs::create_directories(dest);
  auto waiter = std::make_shared<Waiter>();
  engine::RescueRun run(std::make_shared<engine::SystemThreads>(), waiter);
  engine::RescueOptions options;
  options.destination = dest;
  const auto start = Clock::now();
  if (!run.Start(files, options)) std::exit(1);
  const engine::RescueReport report = waiter->Wait();
  const double s = std::chrono::duration<double>(Clock::now() - start).count();
  for (const auto& f : report.files) {
    if (f.kind != engine::RescueOutcome::kWhole) {
      std::fprintf(stderr, "the rescue did not copy %s whole\n", f.relative.c_str());
      std::exit(1);
    }
  }
  if (static_cast<int>(report.files.size()) != t.files) std::exit(1);
  return s;
}

bool Case(const char* name, const Tree& t, const std::string& dest, int reps, bool cold) {
  const auto files = FilesOf(t);
  if (!cold) CheckSeconds(t);  // warm the page cache
  double check = 1e9, rescue = 1e9;
  for (int r = 0; r < reps; ++r) {
    if (cold && !DropCaches()) {
      std::fprintf(stderr, "cannot drop the caches (root needed): cold case left out\n");
      return true;
    }
    check = std::min(check, CheckSeconds(t));
    fs::remove_all(dest);
    if (cold && !DropCaches()) return true;
    rescue = std::min(rescue, RescueSeconds(t, files, dest));
  }
  fs::remove_all(dest);
  const double mb = static_cast<double>(t.bytes) / (1024.0 * 1024.0);
  const double ratio = check / rescue;
  std::printf("\n%s, %s: %d files, %.1f MiB (best of %d)\n", name, cold ? "cold" : "page cache", t.files, mb, reps);
  std::printf("  check   %9.1f MB/s %10.3f s\n", mb / check, check);
  std::printf("  rescue  %9.1f MB/s %10.3f s\n", mb / rescue, rescue);
  std::printf("  rescue/check speed: %.2f (target 0.90): %s\n", ratio, ratio >= 0.9 ? "met" : "NOT MET");
  return ratio >= 0.9;
}

}  // namespace

int main(int argc, char** argv) {
  std::string work = "/var/tmp", dest;
  int small = 2000, large = 4, reps = 3;
  int64_t smallSize = 64 * 1024, largeMb = 128;
  std::set<std::string> only{"pagecache", "cold"};
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i], v = argv[i + 1];
    if (a == "--work") work = v;
    else if (a == "--dest") dest = v;
    else if (a == "--small") small = std::stoi(v);
    else if (a == "--small-size") smallSize = std::stoll(v);
    else if (a == "--large") large = std::stoi(v);
    else if (a == "--large-mb") largeMb = std::stoll(v);
    else if (a == "--reps") reps = std::stoi(v);
    else if (a == "--only") {
      only.clear();
      std::stringstream in(v);
      for (std::string item; std::getline(in, item, ',');) only.insert(item);
    }
  }
  const std::string base = work + "/torvex-bench-rescue." + std::to_string(getpid());
  if (dest.empty()) dest = (access("/dev/shm", W_OK) == 0 ? std::string("/dev/shm") : work);
  dest += "/torvex-bench-rescued." + std::to_string(getpid());
  fs::create_directories(base);
  const Tree smallTree = MakeTree(base, "small", small, smallSize, 100);
  const Tree largeTree = MakeTree(base, "large", large, largeMb * 1024 * 1024, 10);
  bool met = true;
  for (const bool cold : {false, true}) {
    if (!only.count(cold ? "cold" : "pagecache")) continue;
    met = Case("many small files", smallTree, dest, reps, cold) && met;
    met = Case("a few large files", largeTree, dest, reps, cold) && met;
  }
  fs::remove_all(base);
  fs::remove_all(dest);
  return met ? 0 : 1;
}
