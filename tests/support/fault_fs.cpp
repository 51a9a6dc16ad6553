#define FUSE_USE_VERSION 35
#include "tests/support/fault_fs.h"

#include <fcntl.h>
#include <fuse.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#if defined(__SANITIZE_ADDRESS__)
// libfuse's multi-threaded loop does not free a serving thread's record and
// buffer when the connection is aborted under it (umount -f). That is the
// library's own memory, not ours: tell LeakSanitizer to leave libfuse alone.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfuse3.so\n"; }
#endif

namespace testing_support {

struct FaultFs::State {
  std::vector<FaultFile> files;
  std::set<std::string> folders;  // "" is the root
  std::string mountPoint;
  bool ownMountPoint = true;
  fuse* f = nullptr;
  std::thread loop;
  bool mounted = false;

  mutable std::mutex m;
  std::condition_variable released;
  bool release = false;
  bool releaseCloses = false;
  int stalled = 0;
  int stalledCloses = 0;
  std::map<std::string, std::vector<std::pair<int64_t, int64_t>>> reads;
  std::set<std::string> interrupted;
  std::map<std::string, int> looks;  // lookups and opens of each path
  void Look(const std::string& p) {
    std::lock_guard l(m);
    ++looks[p];
  }

  static bool IsFolderFault(const FaultFile& f) {
    return f.fault == FaultFile::kNoEnter || f.fault == FaultFile::kNoList || f.fault == FaultFile::kNoReturn;
  }
  std::map<std::string, int> entered;  // changes into each folder
  const FaultFile* File(const std::string& p) const {
    for (const auto& f : files)
      if (f.path == p && !IsFolderFault(f)) return &f;
    return nullptr;
  }
  FaultFile::Fault FolderFault(const std::string& p) const {
    for (const auto& f : files)
      if (f.path == p && IsFolderFault(f)) return f.fault;
    return FaultFile::kNone;
  }
};

namespace {

FaultFs::State* Self() { return static_cast<FaultFs::State*>(fuse_get_context()->private_data); }

std::string Rel(const char* path) { return std::string(path).substr(1); }  // without the leading '/'

void* Init(fuse_conn_info*, fuse_config* cfg) {
  cfg->direct_io = 1;
  cfg->kernel_cache = 0;
  cfg->entry_timeout = 0;
  cfg->attr_timeout = 0;
  cfg->negative_timeout = 0;
  return fuse_get_context()->private_data;
}

int GetAttr(const char* path, struct stat* st, fuse_file_info*) {
  FaultFs::State* s = Self();
  std::memset(st, 0, sizeof *st);
  const std::string rel = Rel(path);
  s->Look(rel);
  if (s->folders.count(rel)) {
    if (s->FolderFault(rel) == FaultFile::kNoEnter) return -EIO;
    st->st_mode = S_IFDIR | 0755;
    st->st_nlink = 2;
    return 0;
  }
  if (const FaultFile* f = s->File(rel)) {
    if (f->fault == FaultFile::kUntyped) return -EIO;
    st->st_mode = S_IFREG | 0444;
    st->st_nlink = 1;
    st->st_size = f->size;
    return 0;
  }
  return -ENOENT;
}

int ReadDir(const char* path, void* buf, fuse_fill_dir_t fill, off_t, fuse_file_info*, fuse_readdir_flags) {
  FaultFs::State* s = Self();
  const std::string rel = Rel(path);
  if (!s->folders.count(rel)) return -ENOENT;
  if (s->FolderFault(rel) == FaultFile::kNoList) return -EIO;
  fill(buf, ".", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
  fill(buf, "..", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
  const std::string prefix = rel.empty() ? "" : rel + "/";
  std::set<std::string> listed;
  auto child = [&](const std::string& p) -> std::string {
    if (p.compare(0, prefix.size(), prefix) != 0 || p.size() == prefix.size()) return {};
    const std::string rest = p.substr(prefix.size());
    return rest.substr(0, rest.find('/'));
  };
  // Files in the order they were given, then folders.
  // Each name with its type, as a disc's listing gives it (none for an
  // untyped file).
  auto add = [&](const std::string& name) {
    struct stat st {};
    const FaultFile* f = s->File(prefix + name);
    if (f == nullptr || f->fault != FaultFile::kUntyped) st.st_mode = s->folders.count(prefix + name) ? S_IFDIR : S_IFREG;
    if (!name.empty() && listed.insert(name).second) fill(buf, name.c_str(), &st, 0, static_cast<fuse_fill_dir_flags>(0));
  };
  for (const auto& f : s->files) add(child(f.path));
  for (const auto& d : s->folders) add(child(d));
  return 0;
}

// Called for chdir and fchdir (the file system has no default permissions).
int Access(const char* path, int) {
  FaultFs::State* s = Self();
  const std::string rel = Rel(path);
  if (!s->folders.count(rel) || s->FolderFault(rel) != FaultFile::kNoReturn) return 0;
  std::lock_guard l(s->m);
  return ++s->entered[rel] == 2 ? -EIO : 0;
}

int Open(const char* path, fuse_file_info* fi) {
  Self()->Look(Rel(path));
  const FaultFile* f = Self()->File(Rel(path));
  if (f == nullptr) return -ENOENT;
  if ((fi->flags & O_ACCMODE) != O_RDONLY) return -EROFS;
  if (f->fault == FaultFile::kNoOpen) return -EACCES;
  fi->direct_io = 1;
  return 0;
}

int Flush(const char* path, fuse_file_info*) {
  FaultFs::State* s = Self();
  const FaultFile* f = s->File(Rel(path));
  if (f == nullptr || !f->stallClose) return 0;
  std::unique_lock l(s->m);
  ++s->stalledCloses;
  s->released.wait(l, [&] { return s->releaseCloses; });
  --s->stalledCloses;
  return 0;
}

int Read(const char* path, char* buf, size_t size, off_t off, fuse_file_info*) {
  FaultFs::State* s = Self();
  const std::string rel = Rel(path);
  const FaultFile* f = s->File(rel);
  if (f == nullptr) return -ENOENT;
  const auto len = static_cast<int64_t>(size);
  const bool covers = f->at >= off && f->at < off + len;
  if (f->fault == FaultFile::kSlow) std::this_thread::sleep_for(std::chrono::microseconds(f->at));
  {
    std::unique_lock l(s->m);
    s->reads[rel].emplace_back(off, len);
    if (covers && f->fault == FaultFile::kEio) return -EIO;
    if (covers && f->fault == FaultFile::kEintr && s->interrupted.insert(rel).second) return -EINTR;
    if (covers && f->fault == FaultFile::kStall && f->stallFor > 0) {
      if (s->interrupted.insert(rel).second) {
        ++s->stalled;
        s->released.wait_for(l, std::chrono::microseconds(f->stallFor), [&] { return s->release; });
        --s->stalled;
      }
    } else if (covers && f->fault == FaultFile::kStall) {
      ++s->stalled;
      s->released.wait(l, [&] { return s->release; });
      --s->stalled;
      return -EIO;
    }
  }
  const int64_t end = f->fault == FaultFile::kShort ? std::min(f->at, f->size) : f->size;
  if (off >= end) return 0;
  const int64_t n = std::min(len, end - off);
  if (!f->source.empty()) {
    const int fd = open(f->source.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -errno;
    const ssize_t got = pread(fd, buf, static_cast<size_t>(n), off);
    close(fd);
    return got < 0 ? -EIO : static_cast<int>(got);
  }
  for (int64_t i = 0; i < n; ++i) buf[i] = static_cast<char>((off + i) * 31 + 7);
  return static_cast<int>(n);
}

}  // namespace

FaultFs::FaultFs(std::vector<FaultFile> files) : state_(std::make_shared<State>()) {
  state_->files = std::move(files);
  state_->folders.insert("");
  for (const auto& f : state_->files) {
    for (size_t p = f.path.find('/'); p != std::string::npos; p = f.path.find('/', p + 1))
      state_->folders.insert(f.path.substr(0, p));
    if (State::IsFolderFault(f)) state_->folders.insert(f.path);
  }
}

FaultFs::~FaultFs() {
  State& s = *state_;
  {
    std::lock_guard l(s.m);
    s.release = true;
    s.releaseCloses = true;
  }
  s.released.notify_all();
  if (s.f != nullptr) {
    // End the connection first (umount -f, then detach), so that the serving
    // threads leave their reads of /dev/fuse before libfuse closes it.
    fuse_exit(s.f);
    if (s.mounted) {
      umount2(s.mountPoint.c_str(), MNT_FORCE);
      umount2(s.mountPoint.c_str(), MNT_DETACH);
    }
    if (s.loop.joinable()) s.loop.join();
    fuse_unmount(s.f);
    fuse_destroy(s.f);
  }
  if (!s.mountPoint.empty() && s.ownMountPoint) rmdir(s.mountPoint.c_str());
}

bool FaultFs::Mount(std::string* why) {
  const char* base = std::getenv("TMPDIR");
  std::string tmpl = std::string(base ? base : "/tmp") + "/torvex-fuse-XXXXXX";
  if (mkdtemp(tmpl.data()) == nullptr) {
    *why = "mkdtemp failed";
    return false;
  }
  state_->mountPoint = tmpl;
  return MountHere(why);
}

bool FaultFs::MountAt(const std::string& folder, std::string* why) {
  state_->mountPoint = folder;
  state_->ownMountPoint = false;
  return MountHere(why);
}

bool FaultFs::MountHere(std::string* why) {
  State& s = *state_;
  if (access("/dev/fuse", R_OK | W_OK) != 0) {
    *why = "/dev/fuse is not available: " + std::string(std::strerror(errno));
    return false;
  }

  static const fuse_operations ops = [] {
    fuse_operations o{};
    o.init = Init;
    o.getattr = GetAttr;
    o.readdir = ReadDir;
    o.access = Access;
    o.open = Open;
    o.read = Read;
    o.flush = Flush;
    return o;
  }();
  char arg0[] = "torvex-faultfs";
  char* argv[] = {arg0, nullptr};
  fuse_args args = FUSE_ARGS_INIT(1, argv);
  s.f = fuse_new(&args, &ops, sizeof ops, state_.get());
  fuse_opt_free_args(&args);
  if (s.f == nullptr) {
    *why = "fuse_new failed";
    return false;
  }
  if (fuse_mount(s.f, s.mountPoint.c_str()) != 0) {
    *why = "the kernel refused the FUSE mount (not root, no fusermount3, or a sandbox without FUSE)";
    return false;
  }
  s.mounted = true;
  s.loop = std::thread([f = s.f] {
    fuse_loop_config cfg{};
    cfg.clone_fd = 0;
    cfg.max_idle_threads = 16;
    fuse_loop_mt(f, &cfg);
  });
  // The mount answers once the loop serves requests.
  struct stat st {};
  for (int i = 0; i < 500; ++i) {
    if (stat(s.mountPoint.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_ino == 1) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  *why = "the FUSE mount did not answer";
  return false;
}

const std::string& FaultFs::MountPoint() const { return state_->mountPoint; }

std::vector<std::pair<int64_t, int64_t>> FaultFs::Reads(const std::string& path) const {
  std::lock_guard l(state_->m);
  auto it = state_->reads.find(path);
  return it == state_->reads.end() ? std::vector<std::pair<int64_t, int64_t>>{} : it->second;
}

int FaultFs::Looks(const std::string& path) const {
  std::lock_guard l(state_->m);
  const auto it = state_->looks.find(path);
  return it == state_->looks.end() ? 0 : it->second;
}

int FaultFs::StalledReads() const {
  std::lock_guard l(state_->m);
  return state_->stalled;
}

int FaultFs::StalledCloses() const {
  std::lock_guard l(state_->m);
  return state_->stalledCloses;
}

void FaultFs::ReleaseCloses() {
  {
    std::lock_guard l(state_->m);
    state_->releaseCloses = true;
  }
  state_->released.notify_all();
}

void FaultFs::ForceUnmount() {
  State& s = *state_;
  // A busy mount stays mounted but its connection is aborted all the same.
  if (s.mounted) umount2(s.mountPoint.c_str(), MNT_FORCE);
  {
    std::lock_guard l(s.m);
    s.release = true;
    s.releaseCloses = true;
  }
  s.released.notify_all();
}

}  // namespace testing_support
