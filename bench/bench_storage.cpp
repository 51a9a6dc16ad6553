// Storage benchmark of the scan engine against cat and dd, and of the rescue
// against the check.
//
// Checks three trees with the engine (pre-scan off and on), reads the same
// files with `find | xargs -0 cat`, and rescues every file of them to another
// volume (--rescue-to, memory by default), beside `cp -r` of the tree to the
// same volume (what copying alone costs), on up to four kinds of storage:
//
//   pagecache  the trees in a folder of the work directory, read once first
//   cold       a loop-mounted ext4 image, all caches dropped before every run
//   7.8, 22    the same loop device throttled to 7.8 MB/s (52x CD) and
//              22 MB/s (16x DVD) by block-I/O throttling: cgroup v2 io.max
//              where the io controller is there, else cgroup v1
//              blkio.throttle.read_bps_device; caches dropped before every run
//
// The trees: many small files (20,000 x 2 KiB), a mixed tree (20,000 files,
// sizes log-uniform between 1 KiB and 1 MiB, fixed seed) and a few large
// files (4 x 128 MiB). On throttled storage the mixed and large trees are
// smaller (see the options) so that a run takes seconds, not minutes.
// On a device, dd reads as many bytes from its start, for its raw speed; on
// throttled storage in a group of its own, so that the debt its large
// requests leave is paid by nobody else.
//
// Every run is a process of its own (the engine runs as `bench_storage
// --check ROOT PRESCAN`), so its wall time, CPU time and maximum resident
// memory are its own; on a cold volume one round goes first uncounted. The
// runs are interleaved (engine off, cat, engine on,
// dd, then again from the next side ...) so that every side sees the same
// load; each figure is the
// median and the minimum of --reps runs. Ratios are cat's time divided by
// the engine's: above 1.0 the engine is faster.
//
// The cold and throttled cases need root, loop devices and
// /proc/sys/vm/drop_caches; each case that the machine cannot offer is
// skipped with a message saying why.
//
//   bench_storage [--reps 5] [--only pagecache,cold,7.8,22] [--work DIR]
//                 [--small 20000] [--mixed 20000] [--large 4] [--large-mb 128]
//                 [--t-mixed 300] [--t-large 2] [--t-large-mb 24]
//                 [--rescue-to DIR]  where the rescue's copies go (/dev/shm/...)
//                 [--baseline PATH]  another bench_storage (an older engine)
//                                    checked beside this one
//                 [--flat 100000]    maximum resident memory of the engine
//                                    over 2 KiB trees of 20,000 and this many
//                                    files (page cache); 0 leaves it out
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "engine/check_run.h"
#include "engine/rescue.h"
#include "engine/system_services.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// ---------------------------------------------------------------- the engine

// The child: one check of a tree; prints files checked, bytes read, errors.
int CheckMain(const std::string& root, bool preScan) {
  engine::ScanEngine engine(bench::CheckDeps(root, preScan));
  if (!engine.Start()) return 2;
  if (!engine.WaitForCheckThread(std::chrono::hours(2))) return 3;
  const auto& d = engine.State().disk;
  std::printf("%d %lld %d\n", d.filesChecked.load(), static_cast<long long>(engine.State().bytesRead.load()),
              d.readErrors + d.openErrors + d.otherErrors);
  return 0;
}

// The child: the rescue of every file of a tree to dest (which must not
// exist yet), as the error list's menu starts it; prints files copied whole,
// their bytes, and the files not copied whole.
int RescueMain(const std::string& root, const std::string& dest) {
  struct Waiter : engine::RescueListener {
    void Progress(const engine::RescueProgress&) override {}
    void Finished(const engine::RescueReport& r) override {
      std::lock_guard lock(m);
      report = r;
      done = true;
      cv.notify_all();
    }
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    engine::RescueReport report;
  };
  std::vector<engine::RescueFile> files;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    // Below the root by its name (fs::relative would look up every folder).
    if (e.is_regular_file()) {
      const std::string below = e.path().string().substr(root.size() + 1);
      files.push_back({root, below, below});
    }
  }
  fs::create_directories(dest);
  auto waiter = std::make_shared<Waiter>();
  engine::RescueRun run(std::make_shared<engine::SystemThreads>(), waiter, nullptr);
  engine::RescueOptions options;
  options.destination = dest;
  if (!run.Start(files, options)) return 2;
  std::unique_lock lock(waiter->m);
  waiter->cv.wait(lock, [&] { return waiter->done; });
  int whole = 0, other = 0;
  long long bytes = 0;
  for (const auto& f : waiter->report.files) {
    if (f.kind == engine::RescueOutcome::kWhole) {
      ++whole;
      bytes += f.size;
    } else {
      ++other;
    }
  }
  std::printf("%d %lld %d\n", whole, bytes, other);
  return 0;
}

// ---------------------------------------------------------------- helpers

[[noreturn]] void Die(const std::string& what) {
  std::fprintf(stderr, "bench_storage: %s\n", what.c_str());
  std::exit(1);
}

bool WriteText(const std::string& path, const std::string& text) {
  const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  close(fd);
  return ok;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

int Shell(const std::string& cmd) {
  const int rc = std::system(cmd.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

bool DropCaches() {
  sync();
  return WriteText("/proc/sys/vm/drop_caches", "3\n");
}

std::string LoadAverage() {
  std::string s = ReadText("/proc/loadavg");
  const auto cut = s.find(' ', s.find(' ', s.find(' ') + 1) + 1);
  return s.substr(0, cut);
}

// ---------------------------------------------------------------- trees

struct Tree {
  std::string name;  // folder below the storage root
  std::vector<int64_t> sizes;
  int64_t Bytes() const {
    int64_t b = 0;
    for (int64_t s : sizes) b += s;
    return b;
  }
  int64_t Blocks() const {  // 4 KiB blocks on ext4
    int64_t b = 0;
    for (int64_t s : sizes) b += (s + 4095) / 4096;
    return b;
  }
};

Tree SmallTree(const std::string& name, int files) { return {name, std::vector<int64_t>(files, 2048)}; }

Tree MixedTree(const std::string& name, int files, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> u(std::log(1024.0), std::log(1048576.0));
  Tree t{name, {}};
  for (int i = 0; i < files; ++i) t.sizes.push_back(static_cast<int64_t>(std::exp(u(rng))));
  return t;
}

Tree LargeTree(const std::string& name, int files, int64_t mb) { return {name, std::vector<int64_t>(files, mb << 20)}; }

void WriteTree(const std::string& base, const Tree& t) {
  static std::vector<char> chunk = [] {
    std::vector<char> c(1 << 20);
    for (size_t i = 0; i < c.size(); ++i) c[i] = static_cast<char>('a' + i % 26);
    return c;
  }();
  const std::string root = base + "/" + t.name;
  for (size_t i = 0; i < t.sizes.size(); ++i) {
    const std::string folder = root + "/d" + std::to_string(i / 200);
    if (i % 200 == 0) fs::create_directories(folder);
    const std::string path = folder + "/f" + std::to_string(i) + ".bin";
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) Die("cannot write " + path);
    for (int64_t left = t.sizes[i]; left > 0;) {
      const auto n = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(chunk.size())));
      if (write(fd, chunk.data(), n) != static_cast<ssize_t>(n)) Die("short write to " + path);
      left -= static_cast<int64_t>(n);
    }
    close(fd);
  }
}

// ---------------------------------------------------------------- runs

struct Sample {
  double wall = 0, cpu = 0;
  long maxRssKb = 0;
};

// Runs argv as a child, in the cgroup whose process list is procs (if any).
// The child's standard output goes to out.
Sample Spawn(const std::vector<std::string>& argv, const std::string& procs, std::string* out) {
  int pipefd[2];
  if (pipe2(pipefd, O_CLOEXEC) != 0) Die("pipe");
  const auto start = Clock::now();
  const pid_t pid = fork();
  if (pid < 0) Die("fork");
  if (pid == 0) {
    if (!procs.empty() && !WriteText(procs, std::to_string(getpid()) + "\n")) _exit(120);
    dup2(pipefd[1], 1);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(pipefd[1]);
  std::string text;
  char buf[4096];
  for (ssize_t n; (n = read(pipefd[0], buf, sizeof buf)) > 0;) text.append(buf, static_cast<size_t>(n));
  close(pipefd[0]);
  int status = 0;
  rusage ru{};
  if (wait4(pid, &status, 0, &ru) != pid) Die("wait4");
  Sample s;
  s.wall = std::chrono::duration<double>(Clock::now() - start).count();
  s.cpu = static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
          static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
  s.maxRssKb = ru.ru_maxrss;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    Die(argv[0] + " " + (argv.size() > 1 ? argv[1] : "") + " failed with status " + std::to_string(status) +
        (WEXITSTATUS(status) == 120 ? " (could not join the cgroup)" : ""));
  }
  if (out) *out = text;
  return s;
}

struct Side {
  std::string label;
  std::vector<Sample> samples;
  double Median() const {
    std::vector<double> w;
    for (const auto& s : samples) w.push_back(s.wall);
    std::sort(w.begin(), w.end());
    return w.empty() ? 0 : w.size() % 2 ? w[w.size() / 2] : (w[w.size() / 2 - 1] + w[w.size() / 2]) / 2;
  }
  double Min() const {
    double m = 1e300;
    for (const auto& s : samples) m = std::min(m, s.wall);
    return m;
  }
  double CpuMedian() const {
    std::vector<double> c;
    for (const auto& s : samples) c.push_back(s.cpu);
    std::sort(c.begin(), c.end());
    return c.empty() ? 0 : c[c.size() / 2];
  }
  long MaxRss() const {
    long m = 0;
    for (const auto& s : samples) m = std::max(m, s.maxRssKb);
    return m;
  }
};

struct Options {
  int reps = 5;
  std::set<std::string> only{"pagecache", "cold", "7.8", "22"};
  std::string work;
  int small = 20000, mixed = 20000, large = 4;
  int64_t largeMb = 128;
  int tMixed = 300, tLarge = 2;
  int64_t tLargeMb = 24;
  std::string baseline;
  int flat = 100000;
  std::string self;
  // Where the rescue's copies go: another volume than the trees' (memory, by
  // default, so that the copies cost what writing costs at the least).
  std::string rescueTo = "/dev/shm/torvex-bench-rescue";
};

struct Storage {
  std::string name;       // as printed
  std::string root;       // where the trees lie
  std::string device;     // a block device to dd, or empty
  std::string procs;      // cgroup process list the runs join, or empty
  bool cold = false;      // drop the caches before every run
  // The cgroup of dd, throttled alike: dd's large requests leave the group
  // in debt, and whoever ran next in the same group would pay for them.
  std::string ddProcs;
};

void CheckOutput(const std::string& out, const Tree& t, const std::string& who) {
  int files = 0, errors = 0;
  long long bytes = 0;
  if (std::sscanf(out.c_str(), "%d %lld %d", &files, &bytes, &errors) != 3 ||
      files != static_cast<int>(t.sizes.size()) || bytes != t.Bytes() || errors != 0) {
    Die(who + " checked \"" + out + "\" of " + t.name + "; expected " + std::to_string(t.sizes.size()) + " files, " +
        std::to_string(t.Bytes()) + " bytes, no error");
  }
}

void RunCase(const Options& o, const Storage& st, const Tree& t) {
  const std::string root = st.root + "/" + t.name;
  std::vector<Side> sides;
  struct Runner {
    std::string label;
    std::vector<std::string> argv;
    bool engine;
    bool dd = false;
    std::string copies = {};  // written by the run, taken away after it
  };
  std::vector<Runner> runners;
  runners.push_back({"engine, pre-scan off", {o.self, "--check", root, "0"}, true});
  runners.push_back({"cat (find | xargs cat)",
                     {"/bin/sh", "-c", "find " + Quote(root) + " -type f -print0 | xargs -0 cat > /dev/null"},
                     false});
  runners.push_back({"engine, pre-scan on", {o.self, "--check", root, "1"}, true});
  // The rescue of the whole tree to another volume: what a check reads, also
  // written. Its copies are taken away again between runs.
  runners.push_back(
      {"rescue, to " + o.rescueTo, {o.self, "--rescue", root, o.rescueTo + "/copies"}, true, false, o.rescueTo + "/copies"});
  // What copying alone costs there: cp of the same tree, the least a rescue
  // can take, since it copies what it reads.
  runners.push_back({"cp -r, to the same", {"/bin/cp", "-r", root, o.rescueTo + "/cp"}, false, false, o.rescueTo + "/cp"});
  const std::size_t kRescue = 3, kCopy = 4, kBaseline = 5;
  if (!o.baseline.empty()) {
    runners.push_back({"old engine, pre-scan off", {o.baseline, "--check", root, "0"}, true});
    runners.push_back({"old engine, pre-scan on", {o.baseline, "--check", root, "1"}, true});
  }
  if (!st.device.empty()) {
    const int64_t mib = (t.Bytes() + (1 << 20) - 1) >> 20;
    runners.push_back({"dd of the device, same bytes",
                       {"/bin/dd", "if=" + st.device, "of=/dev/null", "bs=1M", "count=" + std::to_string(mib),
                        "status=none"},
                       false, true});
  }
  for (const auto& r : runners) sides.push_back({r.label, {}});

  if (!st.cold) Shell("find " + Quote(root) + " -type f -print0 | xargs -0 cat > /dev/null");  // warm
  // On a cold, unthrottled volume a first round is not counted: whoever is
  // first to fill the cache with pages the machine never used before pays
  // for them (a virtual machine's memory is given to it as it is touched).
  const int warmup = st.cold && st.procs.empty() ? 1 : 0;
  for (int rep = -warmup; rep < o.reps; ++rep) {
    // Each round starts with another side, so that none is always the first
    // after the trees were written or the caches dropped.
    for (size_t k = 0; k < runners.size(); ++k) {
      const size_t i = (k + static_cast<size_t>(rep + warmup)) % runners.size();
      if (st.cold && !DropCaches()) Die("cannot drop the caches");
      std::string out;
      const std::string& procs = runners[i].dd && !st.ddProcs.empty() ? st.ddProcs : st.procs;
      const Sample sample = Spawn(runners[i].argv, procs, &out);
      if (rep >= 0) sides[i].samples.push_back(sample);
      if (runners[i].engine) CheckOutput(out, t, runners[i].label);
      if (!runners[i].copies.empty()) fs::remove_all(runners[i].copies);
    }
  }

  const double gib = static_cast<double>(t.Bytes()) / (1024.0 * 1024.0 * 1024.0);
  const double mb = static_cast<double>(t.Bytes()) / 1e6;
  std::printf("\n[%s] %s: %zu files, %.1f MB (median and minimum of %d; load %s)\n", st.name.c_str(), t.name.c_str(),
              t.sizes.size(), mb, o.reps, LoadAverage().c_str());
  std::printf("  %-30s %9s %9s %9s %11s %9s\n", "", "median s", "min s", "MB/s", "CPU s/GiB", "max RSS");
  for (const auto& s : sides) {
    std::printf("  %-30s %9.3f %9.3f %9.1f %11.2f %7.1f M\n", s.label.c_str(), s.Median(), s.Min(), mb / s.Median(),
                s.CpuMedian() / gib, s.MaxRss() / 1024.0);
  }
  const Side& cat = sides[1];
  auto ratio = [&](const Side& e) {
    std::printf("  ratio cat/%-22s median %.2f, minimum %.2f\n", e.label.c_str(), cat.Median() / e.Median(),
                cat.Min() / e.Min());
  };
  ratio(sides[0]);
  ratio(sides[2]);
  if (!o.baseline.empty()) {
    ratio(sides[kBaseline]);
    ratio(sides[kBaseline + 1]);
  }
  const Side& check = sides[2];
  const Side& rescue = sides[kRescue];
  const Side& copy = sides[kCopy];
  std::printf("  rescue at %.2f of the check's speed (median), %.2f (minimum)\n", check.Median() / rescue.Median(),
              check.Min() / rescue.Min());
  std::printf("  cp -r at %.2f of the check's speed (median); the rescue at %.2f of cp's\n",
              check.Median() / copy.Median(), copy.Median() / rescue.Median());
  std::fflush(stdout);
}

// ---------------------------------------------------------------- devices

struct Loop {
  std::string image, device, mount;
  ~Loop() {
    if (!mount.empty()) umount2(mount.c_str(), 0);
    if (!device.empty()) Shell("losetup -d " + device + " 2>/dev/null");
  }
};

// An ext4 image holding the trees, attached read-only with direct I/O (so
// that the image's own file is not cached beside the volume) and mounted.
std::unique_ptr<Loop> MakeLoop(const std::string& work, const std::vector<Tree>& trees, std::string* why) {
  if (geteuid() != 0) {
    *why = "not root";
    return nullptr;
  }
  if (!fs::exists("/dev/loop-control")) {
    *why = "no /dev/loop-control";
    return nullptr;
  }
  auto loop = std::make_unique<Loop>();
  loop->image = work + "/volume.img";
  loop->mount = work + "/volume";
  fs::create_directories(loop->mount);
  int64_t blocks = 0, files = 0;
  for (const auto& t : trees) {
    blocks += t.Blocks();
    files += static_cast<int64_t>(t.sizes.size());
  }
  const int64_t bytes = blocks * 4096 * 11 / 10 + files * 512 + (256 << 20);
  const std::string img = Quote(loop->image), mnt = Quote(loop->mount);
  if (!fs::exists(loop->image)) {
    std::printf("building %s (%.1f GB) ...\n", loop->image.c_str(), bytes / 1e9);
    std::fflush(stdout);
    if (Shell("truncate -s " + std::to_string(bytes) + " " + img) != 0 ||
        Shell("mkfs.ext4 -q -F -N " + std::to_string(files + 10000) + " " + img) != 0 ||
        Shell("mount -o loop " + img + " " + mnt) != 0) {
      fs::remove(loop->image);
      *why = "cannot make and mount an ext4 image";
      loop->mount.clear();
      return nullptr;
    }
    for (const auto& t : trees) WriteTree(loop->mount, t);
    if (Shell("umount " + mnt) != 0) Die("cannot unmount the new image");
  }
  FILE* p = popen(("losetup --direct-io=on -r -f --show " + img + " 2>/dev/null").c_str(), "r");
  char dev[64] = {};
  if (p == nullptr || std::fgets(dev, sizeof dev, p) == nullptr) {
    if (p) pclose(p);
    *why = "losetup cannot attach a loop device";
    loop->mount.clear();
    return nullptr;
  }
  pclose(p);
  loop->device = dev;
  loop->device.erase(loop->device.find_last_not_of("\n ") + 1);
  if (Shell("mount -o ro,noatime " + loop->device + " " + mnt) != 0) {
    *why = "cannot mount " + loop->device;
    loop->mount.clear();
    return nullptr;
  }
  return loop;
}

// A cgroup whose reads of the device are limited to bps bytes a second;
// its process list, or empty with the reason.
struct Throttle {
  std::string group, procs;
  ~Throttle() {
    if (!group.empty()) rmdir(group.c_str());
  }
};

std::unique_ptr<Throttle> MakeThrottle(const std::string& device, int64_t bps, const std::string& tag,
                                       std::string* why) {
  struct stat st {};
  if (stat(device.c_str(), &st) != 0) {
    *why = "no device";
    return nullptr;
  }
  const std::string dev = std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
  std::ifstream mounts("/proc/mounts");
  std::string line, v2, v1;
  while (std::getline(mounts, line)) {
    std::istringstream in(line);
    std::string src, dir, type, opts;
    in >> src >> dir >> type >> opts;
    if (type == "cgroup2" && v2.empty() && ReadText(dir + "/cgroup.controllers").find("io") != std::string::npos) {
      v2 = dir;
    }
    if (type == "cgroup" && ("," + opts + ",").find(",blkio,") != std::string::npos) v1 = dir;
  }
  auto t = std::make_unique<Throttle>();
  const std::string name = "/torvex-bench-" + std::to_string(getpid()) + tag;
  if (!v2.empty()) {
    WriteText(v2 + "/cgroup.subtree_control", "+io\n");
    t->group = v2 + name;
    if (mkdir(t->group.c_str(), 0755) == 0 &&
        WriteText(t->group + "/io.max", dev + " rbps=" + std::to_string(bps) + "\n")) {
      t->procs = t->group + "/cgroup.procs";
      return t;
    }
    rmdir(t->group.c_str());
    t->group.clear();
  }
  if (!v1.empty()) {
    t->group = v1 + name;
    if (mkdir(t->group.c_str(), 0755) == 0 &&
        WriteText(t->group + "/blkio.throttle.read_bps_device", dev + " " + std::to_string(bps) + "\n")) {
      t->procs = t->group + "/cgroup.procs";
      return t;
    }
    rmdir(t->group.c_str());
    t->group.clear();
  }
  *why = "neither the cgroup v2 io controller (io.max) nor cgroup v1 blkio throttling is available";
  return nullptr;
}

std::vector<std::string> Split(const std::string& s) {
  std::vector<std::string> v;
  std::stringstream ss(s);
  for (std::string x; std::getline(ss, x, ',');) v.push_back(x);
  return v;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--check") return CheckMain(argv[2], std::string(argv[3]) == "1");
  if (argc == 4 && std::string(argv[1]) == "--rescue") return RescueMain(argv[2], argv[3]);

  Options o;
  o.self = fs::canonical("/proc/self/exe");
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i], v = argv[i + 1];
    if (a == "--reps") o.reps = std::stoi(v);
    else if (a == "--only") {
      const auto parts = Split(v);
      o.only = {parts.begin(), parts.end()};
    }
    else if (a == "--work") o.work = v;
    else if (a == "--small") o.small = std::stoi(v);
    else if (a == "--mixed") o.mixed = std::stoi(v);
    else if (a == "--large") o.large = std::stoi(v);
    else if (a == "--large-mb") o.largeMb = std::stoll(v);
    else if (a == "--t-mixed") o.tMixed = std::stoi(v);
    else if (a == "--t-large") o.tLarge = std::stoi(v);
    else if (a == "--t-large-mb") o.tLargeMb = std::stoll(v);
    else if (a == "--baseline") o.baseline = fs::canonical(v);
    else if (a == "--flat") o.flat = std::stoi(v);
    else if (a == "--rescue-to") o.rescueTo = v;
    else Die("unknown option " + a);
  }
  if (o.work.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    o.work = std::string(tmp ? tmp : "/tmp") + "/torvex-storage-bench";
  }
  fs::create_directories(o.work);
  std::printf("work directory %s; %ld CPUs; load at start %s\n", o.work.c_str(), sysconf(_SC_NPROCESSORS_ONLN),
              LoadAverage().c_str());

  const Tree small = SmallTree("small", o.small);
  const Tree mixed = MixedTree("mixed", o.mixed, 11);
  const Tree large = LargeTree("large", o.large, o.largeMb);
  const Tree tMixed = MixedTree("mixed-t", o.tMixed, 12);
  const Tree tLarge = LargeTree("large-t", o.tLarge, o.tLargeMb);

  if (o.only.count("pagecache")) {
    const std::string base = o.work + "/pagecache";
    if (!fs::exists(base + "/.done")) {
      std::printf("writing the trees in %s ...\n", base.c_str());
      std::fflush(stdout);
      for (const auto* t : {&small, &mixed, &large}) WriteTree(base, *t);
      std::ofstream(base + "/.done") << "1";
    }
    const Storage st{"page cache", base, "", "", false, ""};
    for (const auto* t : {&small, &mixed, &large}) RunCase(o, st, *t);
    if (o.flat > 0) {
      // Memory against the number of files.
      std::printf("\n[page cache] maximum resident memory of the engine, pre-scan on, by number of 2 KiB files\n");
      for (int n : {o.small, o.flat}) {
        const Tree t = SmallTree("flat" + std::to_string(n), n);
        if (!fs::exists(base + "/" + t.name)) WriteTree(base, t);
        std::string out;
        Sample best;
        for (int rep = 0; rep < std::min(o.reps, 3); ++rep) {
          const Sample s = Spawn({o.self, "--check", base + "/" + t.name, "1"}, "", &out);
          CheckOutput(out, t, "engine");
          best.maxRssKb = std::max(best.maxRssKb, s.maxRssKb);
        }
        std::printf("  %7d files: %.1f MiB\n", n, best.maxRssKb / 1024.0);
      }
    }
  }

  const bool wantDevice = o.only.count("cold") || o.only.count("7.8") || o.only.count("22");
  if (wantDevice) {
    std::string why;
    const std::vector<Tree> all{small, mixed, large, tMixed, tLarge};
    std::unique_ptr<Loop> loop;
    if (!DropCaches()) {
      why = "/proc/sys/vm/drop_caches cannot be written";
    } else {
      loop = MakeLoop(o.work, all, &why);
    }
    if (!loop) {
      std::printf("\nskipped: cold and throttled storage (%s)\n", why.c_str());
    } else {
      std::printf("\nloop device %s (ext4, read-only, direct I/O to its image) at %s\n", loop->device.c_str(),
                  loop->mount.c_str());
      if (o.only.count("cold")) {
        const Storage st{"cold ext4", loop->mount, loop->device, "", true, ""};
        for (const auto* t : {&small, &mixed, &large}) RunCase(o, st, *t);
      }
      for (const auto& [label, bps] : std::vector<std::pair<std::string, int64_t>>{{"7.8", 7'800'000}, {"22", 22'000'000}}) {
        if (!o.only.count(label)) continue;
        std::string twhy;
        auto throttle = MakeThrottle(loop->device, bps, "", &twhy);
        auto ddThrottle = throttle ? MakeThrottle(loop->device, bps, "-dd", &twhy) : nullptr;
        if (!throttle || !ddThrottle) {
          std::printf("\nskipped: storage throttled to %s MB/s (%s)\n", label.c_str(), twhy.c_str());
          continue;
        }
        std::printf("\nthrottled to %s MB/s through %s\n", label.c_str(), throttle->group.c_str());
        const Storage st{label + " MB/s", loop->mount, loop->device, throttle->procs, true, ddThrottle->procs};
        for (const auto* t : {&small, &tMixed, &tLarge}) RunCase(o, st, *t);
      }
    }
  }
  std::printf("\nload at the end %s\n", LoadAverage().c_str());
  return 0;
}
