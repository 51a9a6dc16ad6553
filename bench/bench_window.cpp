// A check through the real main window (offscreen), beside the headless
// engine and cat on the same trees in the same run.
//
// Generates a tree of many small files and one of a few large files, warms
// the page cache, then, alternating, reads each tree with `find | xargs cat`,
// checks it with the engine behind a window that does nothing, and checks it
// by pressing START in the real main window (the report box is answered at
// once). Prints files/s and MB/s of each (median and best of the runs) and the
// window's ratios to the headless engine; the worst lateness of a 10 ms timer
// on the UI thread while the window checks; and the resident memory of the
// real program (build/app/torvex, started offscreen) when it is idle.
//
//   bench_window [--small N] [--small-size BYTES] [--large N] [--large-mb MB] [--reps R]
//                [--program PATH]
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "engine/check_run.h"
#include "platform/registry.h"
#include "records/settings_store.h"
#include "app/main_dialog.h"
#include "ui/message_dialog.h"

namespace {

using namespace bench;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

Tree Generate(const std::string& root, int files, int64_t size, int perFolder) {
  const fs::path path(root);
  return MakeTree(path.parent_path().string(), path.filename().string(), files, size, perFolder);
}

double ElapsedSince(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

void Check(const Tree& t, const engine::ScanState& s, const char* who) {
  if (s.disk.filesChecked != t.files || s.bytesRead != t.bytes || s.disk.readErrors + s.disk.openErrors != 0) {
    std::fprintf(stderr, "%s checked %d files, %lld bytes; expected %d, %lld\n", who, s.disk.filesChecked.load(),
                 static_cast<long long>(s.bytesRead.load()), t.files, static_cast<long long>(t.bytes));
    std::exit(1);
  }
}

double EngineSeconds(const Tree& t) {
  // The engine as the window sets it up by default, without the system's
  // read-ahead.
  engine::EngineDeps deps = CheckDeps(t.root, engine::Settings{}.preScan);
  deps.prefetcher.reset();
  const fs::path cwd = fs::current_path();
  engine::ScanEngine engine(deps);
  const auto start = Clock::now();
  if (!engine.Start()) std::exit(1);
  engine.WaitForCheckThread(std::chrono::hours(1));
  const double s = ElapsedSince(start);
  Check(t, engine.State(), "engine");
  fs::current_path(cwd);
  return s;
}

// The real main window on a program folder of its own, drive D: pinned to the tree.
class WindowRun {
 public:
  WindowRun(const std::string& base, const Tree& t) : program_(base + "/program") {
    fs::create_directories(program_);
    fs::current_path(program_);
    registry_ = std::make_shared<platform::Registry>(program_ + "/registry.reg");
    records::SettingsStore store(*registry_);
    store.TakeProgramFolder();
    store.LoadSettings();
    store.settings->drive = 3;
    store.settings->sounds = false;
    store.settings->cdromTarget = false;
    store.SaveSettings();
    platform::RegistryKey key;
    registry_->CreateKey(std::string(records::kProgramKey) + "\\Drives", &key, nullptr);
    key.SetString("D", "3," + t.root);
    ui::MainDialogServices services;
    services.registry = registry_;
    window_ = std::make_unique<ui::CMainDialog>(std::move(services));
    if (!window_->Create() || !QTest::qWaitForWindowExposed(window_.get())) std::exit(1);
    // The report box of every run is answered at once.
    QObject::connect(&answer_, &QTimer::timeout, [] {
      if (auto* box = qobject_cast<ui::CMessageDialog*>(QApplication::activeModalWidget())) box->done(1);
    });
    answer_.start(20);
  }

  // Seconds from START to the end of the check thread; worstLate: the worst
  // lateness of a 10 ms timer of the UI thread meanwhile, in ms.
  double Seconds(const Tree& t, double* worstLate) {
    fs::current_path(program_);
    engine::ScanEngine& e = window_->Engine();
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QElapsedTimer since;
    double late = 0;
    QObject::connect(&probe, &QTimer::timeout, [&] {
      late = std::max(late, static_cast<double>(since.nsecsElapsed()) / 1e6 - 10.0);
      since.restart();
    });
    auto* start = qobject_cast<QAbstractButton*>(ui::DlgItem(*window_, engine::kIdStart));
    const auto begin = Clock::now();
    since.start();
    probe.start(10);
    start->click();
    while (!e.State().idle) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const double s = ElapsedSince(begin);
    probe.stop();
    // The report comes at the next tick.
    while (e.State().reportPending) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    Check(t, e.State(), "window");
    *worstLate = late;
    return s;
  }

 private:
  std::string program_;
  std::shared_ptr<platform::Registry> registry_;
  std::unique_ptr<ui::CMainDialog> window_;
  QTimer answer_;
};

struct Figures {
  std::vector<double> cat, engine, window;
  double worstLate = 0;
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}
double Best(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

void Print(const char* name, const Tree& t, const Figures& f) {
  const double mb = static_cast<double>(t.bytes) / 1e6;
  std::printf("\n%s: %d files, %.1f MB (%zu runs; median / best)\n", name, t.files, mb, f.cat.size());
  const auto line = [&](const char* who, const std::vector<double>& s) {
    std::printf("  %-22s %9.0f / %9.0f files/s  %9.1f / %9.1f MB/s\n", who, t.files / Median(s), t.files / Best(s),
                mb / Median(s), mb / Best(s));
  };
  line("cat", f.cat);
  line("engine, headless", f.engine);
  line("engine, main window", f.window);
  std::printf("  window / headless: %.2f (median), %.2f (best); window / cat: %.2f (median)\n",
              Median(f.engine) / Median(f.window), Best(f.engine) / Best(f.window), Median(f.cat) / Median(f.window));
  std::printf("  worst lateness of a 10 ms UI timer during the window's checks: %.1f ms\n", f.worstLate);
}

Figures Measure(const std::string& base, const Tree& t, int reps) {
  Figures f;
  CatSeconds(t);  // warm the page cache
  WindowRun window(base, t);
  for (int r = 0; r < reps; ++r) {
    f.cat.push_back(CatSeconds(t));
    f.engine.push_back(EngineSeconds(t));
    double late = 0;
    f.window.push_back(window.Seconds(t, &late));
    f.worstLate = std::max(f.worstLate, late);
  }
  return f;
}

// VmRSS in kB of a process, or -1.
long ResidentKb(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string key;
  while (in >> key) {
    if (key == "VmRSS:") {
      long kb = -1;
      in >> kb;
      return kb;
    }
    in.ignore(1 << 12, '\n');
  }
  return -1;
}

// The real program, started offscreen in a folder of its own, after it has
// settled for a few seconds.
void IdleMemory(const std::string& program, const std::string& base) {
  if (access(program.c_str(), X_OK) != 0) {
    std::printf("\nidle memory: %s not found (build the target torvex)\n", program.c_str());
    return;
  }
  const std::string folder = base + "/idle";
  fs::create_directories(folder);
  {
    platform::Registry registry(folder + "/registry.reg");
    records::SettingsStore store(registry);
    store.LoadSettings();  // not a first start: no language question
    store.SaveSettings();
  }
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(folder.c_str()) != 0) _exit(127);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("TORVEX_REGISTRY_FILE", (folder + "/registry.reg").c_str(), 1);
    execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  std::this_thread::sleep_for(std::chrono::seconds(3));
  const long kb = ResidentKb(pid);
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  std::printf("\nidle memory of %s: %.1f MB resident\n", program.c_str(), kb / 1024.0);
}

}  // namespace

int main(int argc, char** argv) {
  int small = 20000, large = 4, reps = 5;
  int64_t smallSize = 2048, largeMb = 256;
  std::string program = (fs::canonical("/proc/self/exe").parent_path().parent_path() / "app" / "torvex").string();
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    const char* v = argv[i + 1];
    if (a == "--small") small = std::atoi(v);
    else if (a == "--small-size") smallSize = std::atoll(v);
    else if (a == "--large") large = std::atoi(v);
    else if (a == "--large-mb") largeMb = std::atoll(v);
    else if (a == "--reps") reps = std::atoi(v);
    else if (a == "--program") program = v;
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  const char* tmp = std::getenv("TMPDIR");
  std::string base = std::string(tmp ? tmp : "/tmp") + "/torvex-bench-window-XXXXXX";
  if (mkdtemp(base.data()) == nullptr) return 1;
  std::printf("generating trees in %s ...\n", base.c_str());
  const Tree smallTree = Generate(base + "/small", small, smallSize, 200);
  const Tree largeTree = Generate(base + "/large", large, largeMb << 20, 1);
  Print("many small files", smallTree, Measure(base, smallTree, reps));
  Print("few large files", largeTree, Measure(base, largeTree, reps));
  IdleMemory(program, base);
  fs::current_path("/");
  fs::remove_all(base);
  return 0;
}
