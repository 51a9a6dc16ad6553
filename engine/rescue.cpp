#include "engine/rescue.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <new>
#include <set>
#include <utility>

#include "engine/blocks.h"
#include "engine/reader_hand_over.h"
#include "engine/stuck_readers.h"
#include "engine/watchdog.h"
#include "platform/ascii.h"
#include "platform/file_io.h"
#include "platform/rescue_files.h"
#include "platform/wake_signal.h"
#include "platform/whole_file.h"

namespace engine {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr std::size_t kReaderStack = 512 * 1024;
constexpr std::size_t kRescueStack = 512 * 1024;
// The ticker wakes the rescue thread this often for its progress; every
// fourth wake is one second of the watchdog.
constexpr auto kWakeEvery = 250ms;
constexpr int kWakesPerSecond = 4;
// Read-ahead while nothing has failed, on storage where it pays off (discs
// and disks, not network or FUSE file systems): the next files' first bytes,
// a few files ahead of the reader, and inside a file a window ahead of its
// blocks, so that the device reads while the copy is written.
constexpr int kAheadFiles = 8;
constexpr int64_t kAheadFileBytes = 4 << 20;
constexpr int64_t kAheadWindow = 4 << 20;
constexpr std::size_t kAheadStack = 128 * 1024;
// A map is read back only up to this length (a map of a badly scratched
// file has one line per run of bad sectors).
constexpr std::size_t kMaxMapText = 64u << 20;

// The position of the unit that stands for opening the file.
constexpr int64_t kOpening = -1;

// One read the reader makes: a block, or a sector of a block that failed.
struct Unit {
  int64_t pos = 0;
  int64_t length = 0;
  bool split = false;  // read again sector by sector when it fails
};

// One file being copied: what the rescue thread and the current reader share.
// Touched by the reader under its guard while it works on the file, and by
// the rescue thread otherwise (or under the same guard). A reader that has
// been given up never touches it again.
struct FileWork {
  platform::OwnedFd folder;  // the source's folder, held open
  std::string name;          // the source's name in it
  std::string shown;         // the source as its map names it
  uint64_t device = 0;  // the device it lies on, for the bound on stuck readers
  int64_t size = 0;
  int sectorSize = 0;  // the volume's (or the options')
  bool ahead = false;  // read ahead inside the file (a disc or disk, while nothing failed)
  bool pastCache = false;  // an optical disc: a sector the cache cannot read is asked of the device
  int copyFd = -1;
  RescueMap map{0};
  std::deque<Unit> units;  // still to read, in order
  bool finished = false;   // the reader went through every unit (or stopped)
  bool notOpened = false;
  int writeError = 0;      // an errno of the copy
  // The bytes its map marks unreadable, for the progress (written under the
  // map's owner, read by the rescue thread at any time).
  std::atomic<int64_t> bad{0};
};

}  // namespace

struct RescueRun::Shared {
  std::shared_ptr<ThreadStarter> threads;
  std::shared_ptr<RescueListener> listener;
  RescueOptions options;
  std::atomic<bool> cancel{false};
  std::atomic<bool> running{true};
  std::atomic<bool> over{false};  // the rescue thread has ended: the ticker ends too
  platform::WakeSignal tickerWake;
  Watchdog watchdog;
  std::shared_ptr<StuckReaders> stuck;
  std::atomic<int64_t> recovered{0};  // bytes copied, over every file
  std::atomic<int64_t> started{0};    // bytes of the files started
  // The read-ahead: the file the rescue thread is at (raised as it moves on),
  // and whether a read has failed (then no more read-ahead in this rescue).
  std::atomic<int> fileIndex{0};
  std::atomic<bool> aheadOff{false};
  platform::WakeSignal aheadWake;

  bool Cancelled() const { return cancel.load(); }
};

namespace {

using Shared = RescueRun::Shared;

// The reader of a rescue: lives across files like a check's, reads the units
// of the file handed over and writes what it read into the copy.
class RescueReader {
 public:
  explicit RescueReader(std::shared_ptr<Shared> shared) : shared_(std::move(shared)), hand_(shared_->stuck) {}

  bool Ready() const { return buffer_ != nullptr; }

  void Loop() {
    shared_->threads->SetReaderPriority(shared_->options.priority);
    while (hand_.Wait()) {
      std::shared_ptr<FileWork> work;
      {
        std::lock_guard lock(hand_.Guard());
        work = std::move(work_);
      }
      if (!work || !Copy(*work)) break;
    }
  }

  // Hands a file over (rescue thread, while the reader is idle).
  void Take(std::shared_ptr<FileWork> work) {
    const uint64_t device = work->device;
    hand_.Give(device, false, [&] { work_ = std::move(work); });
  }

  void Quit() { hand_.Quit(); }

  // Gives the reader up if it is inside a read or an open (true); false when
  // it is not. With onlyWhileReading unset it is given up all the same, and
  // its file is the rescue thread's again: the reader will touch it no
  // more. Rescue thread.
  bool Abandon(bool onlyWhileReading) { return hand_.Abandon(!onlyWhileReading); }

  // The unit being read, for the rescue thread after Abandon.
  Unit Current() {
    std::lock_guard lock(hand_.Guard());
    return current_;
  }

  // Whether the file handed over is done. Rescue thread.
  bool Finished(const FileWork& work) {
    std::lock_guard lock(hand_.Guard());
    return work.finished;
  }

 private:

  // Opens the file (again, when an earlier reader stalled in it) and reads its
  // units. False once the reader has been given up.
  bool Copy(FileWork& work) {
    std::unique_lock lock(hand_.Guard());
    // An open can stall on a failing device as a read can.
    current_ = Unit{kOpening, 0, false};
    hand_.SetBusyLocked(true);
    lock.unlock();
    int fd = platform::OpenFileInFolder(work.folder.Get(), work.name);
    lock.lock();
    if (!hand_.AbandonedLocked()) {
      hand_.SetBusyLocked(false);
      if (fd < 0) {
        work.notOpened = true;
      } else {
        // The first bytes were asked for with the files ahead.
        aheadUntil_ = kAheadFileBytes;
        ReadUnits(work, fd, lock);
      }
      if (!hand_.AbandonedLocked()) work.finished = true;
    }
    const bool abandoned = hand_.AbandonedLocked();
    lock.unlock();
    platform::CloseFile(fd);
    if (abandoned) hand_.Ended();
    shared_->watchdog.Wake();
    return !abandoned;
  }

  // Called and returning with the guard held.
  void ReadUnits(FileWork& work, int fd, std::unique_lock<std::mutex>& lock) {
    while (!work.units.empty() && !shared_->Cancelled()) {
      const Unit unit = work.units.front();
      work.units.pop_front();
      current_ = unit;
      hand_.SetBusyLocked(true);
      shared_->watchdog.Reset();
      lock.unlock();
      if (work.ahead && unit.split && !shared_->aheadOff.load(std::memory_order_relaxed) &&
          unit.pos + kAheadWindow / 2 >= aheadUntil_) {
        const int64_t from = std::max(aheadUntil_, unit.pos + unit.length);
        aheadUntil_ = unit.pos + kAheadWindow;
        platform::AdviseAhead(fd, from, aheadUntil_ - from);
      }
      long got = -1;
      int error = 0;
      if (!unit.split && work.pastCache) {
        // The cache reads a disc's file in pages of two sectors, and a page
        // with a bad one fails whole: a single sector is asked of the drive
        // itself, and of the file only where the drive cannot be asked.
        got = deviceSectors_.Read(fd, work.device, unit.pos, buffer_->data, static_cast<long>(unit.length), &error);
      }
      if (got < 0 && error != EIO) {
        got = platform::ReadAtOffset(fd, buffer_->data, static_cast<long>(unit.length), unit.pos);
      }
      lock.lock();
      if (hand_.AbandonedLocked()) return;
      hand_.SetBusyLocked(false);
      if (got < 0) {
        // A disc that has shown a bad block gets no more read-ahead.
        shared_->aheadOff = true;
        shared_->aheadWake.Notify();
      }
      if (got < 0 && unit.split && unit.length > work.sectorSize) {
        // Every good sector of a bad block is kept.
        const auto sectors = SectorsOf(unit.pos, unit.pos + unit.length, work.size, work.sectorSize);
        for (auto it = sectors.rbegin(); it != sectors.rend(); ++it) {
          work.units.push_front({it->offset, it->length, false});
        }
        continue;
      }
      const int64_t good = got < 0 ? 0 : got;
      if (good > 0) {
        const int error = platform::WriteAtOffset(work.copyFd, buffer_->data, static_cast<long>(good), unit.pos);
        if (error != 0) {
          work.writeError = error;
          return;
        }
        work.map.Mark(unit.pos, good, RescueMap::kCopied);
        shared_->recovered.fetch_add(good, std::memory_order_relaxed);
      }
      // Bytes that could not be read, or that a file shorter than listed does
      // not hold, stay zeros in the copy.
      if (good < unit.length) work.map.Mark(unit.pos + good, unit.length - good, RescueMap::kBad);
      work.bad.store(work.map.Bytes(RescueMap::kBad), std::memory_order_relaxed);
    }
  }

  std::shared_ptr<Shared> shared_;
  std::unique_ptr<Block> buffer_{new (std::nothrow) Block};
  platform::DeviceSectors deviceSectors_;  // the reader thread's own
  // Busy while inside an open or a read.
  ReaderHandOver hand_;
  // Under the hand-over's guard:
  std::shared_ptr<FileWork> work_;
  Unit current_;
  // The reader thread's own: how far the read-ahead inside the current file
  // has been asked for.
  int64_t aheadUntil_ = 0;
};

// The folder part of a path below a root (empty: the root), and the last
// name.
std::pair<std::string, std::string> Split(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {std::string(), path};
  return {path.substr(0, slash), path.substr(slash + 1)};
}

// A relative path that stays below the folder it is taken from.
bool SafeRelative(const std::string& relative) {
  if (relative.empty() || relative.front() == '/') return false;
  std::size_t begin = 0;
  while (begin <= relative.size()) {
    std::size_t end = relative.find('/', begin);
    if (end == std::string::npos) end = relative.size();
    const std::string part = relative.substr(begin, end - begin);
    if (part.empty() || part == "." || part == ".." || part.size() > NAME_MAX) return false;
    begin = end + 1;
  }
  return true;
}

platform::OwnedFd OpenRoot(const std::string& root) {
  return platform::OwnedFd(platform::OpenRetrying(root, O_RDONLY | O_DIRECTORY | O_NOCTTY));
}

// Whether reading ahead pays off on the volume of the folder root: on discs
// and disks, not on network or FUSE file systems.
bool AheadWorthIt(const std::string& root) {
  const platform::OwnedFd folder = OpenRoot(root);
  return folder.Valid() && platform::OnDiscOrDiskFileSystem(folder.Get());
}

// The folders of the files a rescue reads, each reached from its root name
// by name; the last one is kept open, since files of one folder follow each
// other.
class SourceFolders {
 public:
  // The folder of path below root, or -1 with *error set.
  int Open(const std::string& root, const std::string& below, int* error) {
    if (!root_.Valid() || root != rootPath_) {
      root_ = OpenRoot(root);
      rootPath_ = root;
      folder_ = {};
      if (!root_.Valid()) {
        *error = errno;
        return -1;
      }
    }
    if (!folder_.Valid() || below != folderPath_) {
      std::string blocked;
      folder_ = platform::OpenFolderBelow(root_.Get(), below, false, error, &blocked);
      folderPath_ = below;
    }
    return folder_.Get();
  }

 private:
  platform::OwnedFd root_, folder_;
  std::string rootPath_, folderPath_;
};

// The read-ahead of the next files: brings the first bytes of each into the
// system's cache a few files before the reader gets there. Nobody waits for
// it; one stuck in the kernel on a failing disc holds nothing of the rescue.
void ReadAheadFiles(const std::shared_ptr<Shared>& shared, const std::vector<RescueFile>& files) {
  SourceFolders folders;
  for (std::size_t i = 0; i < files.size(); ++i) {
    for (;;) {
      const uint32_t seq = shared->aheadWake.Seq();
      if (shared->over || shared->Cancelled() || shared->aheadOff) return;
      if (static_cast<int>(i) <= shared->fileIndex.load() + kAheadFiles) break;
      shared->aheadWake.Wait(seq);
    }
    if (static_cast<int>(i) < shared->fileIndex.load()) continue;  // the reader is past it
    const auto [below, name] = Split(files[i].path);
    int error = 0;
    const int folder = folders.Open(files[i].root, below, &error);
    if (folder >= 0) platform::AdviseWillNeed(folder, name, {{0, kAheadFileBytes}});
  }
}

// Whether name is the temporary name of a map that a rescue killed while
// writing it left behind: the map's name, ".new." and eight hex digits.
bool MapLeftover(const std::string& name) {
  static const std::string kMiddle = ".rescue-map.new.";
  if (name.size() < kMiddle.size() + 8) return false;
  if (name.compare(name.size() - 8 - kMiddle.size(), kMiddle.size(), kMiddle) != 0) return false;
  return std::all_of(name.end() - 8, name.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
}

// The rescue thread's work.
class Rescue {
 public:
  Rescue(std::shared_ptr<Shared> shared, std::vector<RescueFile> files)
      : shared_(std::move(shared)), files_(std::move(files)) {}

  void Run() {
    RescueReport report;
    dest_ = platform::OwnedFd(platform::OpenRetrying(shared_->options.destination, O_RDONLY | O_DIRECTORY | O_NOCTTY));
    if (!dest_.Valid()) destError_ = errno;
    for (std::size_t i = 0; i < files_.size(); ++i) {
      if (stop_ || shared_->Cancelled()) {
        RescueOutcome outcome;
        outcome.relative = files_[i].relative;
        report.files.push_back(outcome);
        continue;
      }
      shared_->fileIndex = static_cast<int>(i);
      shared_->aheadWake.Notify();
      report.files.push_back(CopyFile(files_[i], static_cast<int>(i) + 1));
    }
    // The last figures, as the report will give them.
    Emit();
    if (reader_) reader_->Quit();
    reader_.reset();
    // The copies are on the disk before the report says so.
    const bool cancelled = shared_->Cancelled();
    if (!cancelled && dest_.Valid()) platform::FlushVolume(dest_.Get());
    SaveWholeMaps(!cancelled);
    report.cancelled = shared_->Cancelled();
    report.deviceNotAnswering = deviceNotAnswering_;
    report.destinationFailed = destinationFailed_;
    report.drive = shared_->options.drive;
    report.destination = shared_->options.destination;
    shared_->over = true;
    shared_->tickerWake.Notify();
    shared_->aheadWake.Notify();
    shared_->listener->Finished(report);
    shared_->running = false;
  }

 private:
  enum class Ended { kDone, kCancelled, kStopped };

  RescueOutcome CopyFile(const RescueFile& file, int number) {
    RescueOutcome outcome;
    outcome.relative = file.relative;
    progress_.file = file.relative;
    progress_.fileNumber = number;
    progress_.files = static_cast<int>(files_.size());
    if (!dest_.Valid()) {
      // Gone, or no longer open to us: no copy can be written.
      destinationFailed_ = stop_ = true;
      return NotWritten(outcome, destError_);
    }
    if (!SafeRelative(file.relative)) {
      outcome.kind = RescueOutcome::kNotWritten;
      outcome.obstacle = RescueOutcome::kNameNotAllowed;
      return outcome;
    }

    // The file, reached from the check's root by the names the walk had.
    auto work = std::make_shared<FileWork>();
    const auto [sourceFolder, sourceName] = Split(file.path);
    work->name = sourceName;
    work->shown = file.root + (!file.root.empty() && file.root.back() == '/' ? "" : "/") + file.path;
    int error = 0;
    struct stat st {};
    const int folder = SafeRelative(file.path) ? sources_.Open(file.root, sourceFolder, &error) : -1;
    if (folder >= 0) work->folder = platform::OwnedFd(fcntl(folder, F_DUPFD_CLOEXEC, 0));
    if (!work->folder.Valid() || fstatat(folder, sourceName.c_str(), &st, 0) != 0 || !S_ISREG(st.st_mode)) {
      outcome.kind = RescueOutcome::kNotOpened;
      return outcome;
    }
    outcome.size = work->size = st.st_size;
    work->map = RescueMap(work->size);
    // The volume's sector size and whether reading ahead pays off there,
    // found once per device.
    if (!known_ || device_ != static_cast<uint64_t>(st.st_dev)) {
      device_ = static_cast<uint64_t>(st.st_dev);
      known_ = true;
      sectorSize_ = shared_->options.sectorSize > 0 ? shared_->options.sectorSize : platform::SectorSizeOf(folder);
      aheadWorthIt_ = platform::OnDiscOrDiskFileSystem(folder);
      pastCache_ = platform::OnOpticalFileSystem(folder);
    }
    work->device = device_;
    work->sectorSize = sectorSize_;
    work->ahead = aheadWorthIt_;
    work->pastCache = pastCache_;

    // Where the copy is written: its folder is reached from the destination
    // name by name, never through a link.
    const auto [copyFolder, copyName] = Split(file.relative);
    if (!OpenCopyFolder(copyFolder, outcome)) return outcome;
    const int at = copyFolder_.Get();
    const std::string part = PartName(copyName), mapName = MapName(copyName);
    RemoveLeftovers(mapName);

    // What an earlier rescue left there.
    std::string target = part;
    bool fresh = true;
    std::string mapText;
    bool truncated = false;
    const bool mapFound = platform::ReadWholeFileAt(at, mapName, kMaxMapText, &mapText, &truncated) == platform::kFileOk;
    if (mapFound && !truncated) {
      if (auto map = RescueMap::Parse(mapText, work->size)) {
        int64_t length = -1;
        if (platform::LookAt(at, part, &length) == platform::Entry::kFile && length == work->size) {
          work->map = std::move(*map);
          fresh = false;
        } else if (platform::LookAt(at, copyName, &length) == platform::Entry::kFile && length == work->size) {
          // A partly copied file of an earlier rescue: filled in where it is.
          work->map = std::move(*map);
          target = copyName;
          fresh = false;
        }
      }
    }
    if (fresh && platform::LookAt(at, copyName) != platform::Entry::kMissing) {
      // Anything under that name that no map shows to be an earlier rescue's
      // copy is left alone, and never taken for a copy of this file.
      outcome.kind = RescueOutcome::kInTheWay;
      return outcome;
    }

    platform::WriteProblem problem = platform::WriteProblem::kNone;
    work->copyFd = platform::OpenCopyAt(at, target, fresh, &problem);
    if (work->copyFd < 0) {
      outcome.kind = RescueOutcome::kNotWritten;
      outcome.problem = static_cast<int>(problem);
      if (problem == platform::WriteProblem::kFull) destinationFailed_ = stop_ = true;
      return outcome;
    }
    // A fresh copy starts empty and has its length at once: holes read as
    // zeros where nothing is read.
    error = platform::SetCopyLength(work->copyFd, work->size);
    if (error != 0) {
      platform::CloseFile(work->copyFd);
      return NotWritten(outcome, error);
    }
    shared_->started += work->size;
    shared_->recovered += work->map.Bytes(RescueMap::kCopied);
    work->bad.store(work->map.Bytes(RescueMap::kBad), std::memory_order_relaxed);
    current_ = work;

    // An earlier rescue's map that shows the copy whole proves it is one.
    const bool provenWhole = !fresh && work->map.Bytes(RescueMap::kCopied) == work->size;
    const Ended ended = ReadPasses(work, mapName);
    outcome.missing = work->map.With(RescueMap::kBad);
    for (const auto& a : work->map.With(RescueMap::kNotTried)) outcome.missing.push_back(a);
    current_.reset();
    badDone_ += work->map.Bytes(RescueMap::kBad);

    if (work->writeError != 0) {
      platform::CloseFile(work->copyFd);
      // A fresh copy that could not be written holds nothing worth its room.
      if (fresh) platform::RemoveAt(at, part);
      return NotWritten(outcome, work->writeError);
    }
    if (work->notOpened) {
      platform::CloseFile(work->copyFd);
      // Nothing of it was read: a fresh empty copy goes again, an earlier
      // rescue's copy and map stay.
      if (fresh) platform::RemoveAt(at, part);
      outcome.kind = RescueOutcome::kNotOpened;
      outcome.missing.clear();
      return outcome;
    }
    const bool whole = ended == Ended::kDone && work->map.Bytes(RescueMap::kCopied) == work->size;
    if (!whole) {
      // What the map says is copied must be on the disk first; not so on a
      // Cancel, which must not wait for the disk.
      const bool saved =
          SaveMap(*work, mapName, ended == Ended::kDone ? RescueMap::kCopied : RescueMap::kNotTried, ended == Ended::kDone);
      if (!saved) {
        platform::CloseFile(work->copyFd);
        return NotWritten(outcome, EIO);
      }
    }
    platform::CloseFile(work->copyFd);
    if (ended != Ended::kDone) return outcome;  // kNotDone: the copy stays under its temporary name
    if (target == part) {
      error = platform::RenameAt(at, part, copyName);
      if (error == EEXIST) {
        // Something took the copy's name meanwhile: left alone, and the copy
        // stays under its temporary name.
        outcome.kind = RescueOutcome::kInTheWay;
        return outcome;
      }
      if (error != 0) return NotWritten(outcome, error);
    }
    if (whole) {
      if (!provenWhole) {
        wholeMaps_.push_back(
            {copyFolderPath_, mapName, work->map.Text(lastPos_, RescueMap::kCopied, progress_.pass, MapComment(*work))});
      }
      outcome.kind = RescueOutcome::kWhole;
    } else {
      outcome.kind = RescueOutcome::kPart;
    }
    return outcome;
  }

  // Makes the folder of a copy (below the destination) the current one.
  // False, with the outcome saying why, when it cannot be reached.
  bool OpenCopyFolder(const std::string& below, RescueOutcome& outcome) {
    if (copyFolder_.Valid() && below == copyFolderPath_) return true;
    copyFolderPath_ = below;
    leftovers_.clear();
    int error = 0;
    std::string blocked;
    copyFolder_ = platform::OpenFolderBelow(dest_.Get(), below, true, &error, &blocked);
    if (!copyFolder_.Valid()) {
      outcome.kind = RescueOutcome::kNotWritten;
      outcome.inTheWay = blocked;
      switch (error) {
        case ELOOP:
          outcome.obstacle = RescueOutcome::kLinkInPath;
          outcome.problem = static_cast<int>(platform::WriteProblem::kLink);
          break;
        case ENOTDIR:
          outcome.obstacle = RescueOutcome::kFileInPath;
          outcome.problem = static_cast<int>(platform::WriteProblem::kNotAFile);
          break;
        case EINVAL:
        case ENAMETOOLONG:
          outcome.obstacle = RescueOutcome::kNameNotAllowed;
          break;
        default:
          outcome = NotWritten(outcome, error);
          break;
      }
      return false;
    }
    for (std::string& name : platform::NamesIn(copyFolder_.Get())) {
      if (MapLeftover(name)) leftovers_.insert(std::move(name));
    }
    return true;
  }

  // Removes what an earlier rescue, killed while it wrote the map mapName,
  // left under the map's temporary names.
  void RemoveLeftovers(const std::string& mapName) {
    const std::string prefix = mapName + ".new.";
    for (auto it = leftovers_.lower_bound(prefix); it != leftovers_.end() && it->compare(0, prefix.size(), prefix) == 0;) {
      if (it->size() == prefix.size() + 8) {
        platform::RemoveAt(copyFolder_.Get(), *it);
        it = leftovers_.erase(it);
      } else {
        ++it;
      }
    }
  }

  RescueOutcome NotWritten(RescueOutcome outcome, int error) {
    outcome.kind = RescueOutcome::kNotWritten;
    outcome.problem = static_cast<int>(platform::ProblemOfError(error));
    // A destination that takes no more (full, read-only, failing) makes every
    // further file fail alike: the rescue stops. Anything else concerns this
    // copy alone.
    if (error == ENOSPC || error == EDQUOT || error == EROFS || error == EIO) {
      destinationFailed_ = true;
      stop_ = true;
    }
    return outcome;
  }

  bool SaveMap(const FileWork& work, const std::string& mapName, char status, bool flush = true) {
    if (flush && platform::FlushCopy(work.copyFd) != 0) return false;
    const std::string text = work.map.Text(lastPos_, status, progress_.pass, MapComment(work));
    return platform::ReplaceFileAt(copyFolder_.Get(), mapName, text, mapName + ".new", nullptr) == 0;
  }

  // The source as the map names it, on one line whatever bytes it holds.
  static std::string MapComment(const FileWork& work) {
    return "Rescued by Torvex from " + platform::VisibleText(work.shown);
  }

  // A copy made whole gets its map (all of it copied) once its bytes are on
  // the disk: the map is what shows a later rescue that the file under the
  // copy's name is this program's copy, and whole. Its folder is reached
  // again as any copy's is.
  void SaveWholeMaps(bool flush) {
    if (!dest_.Valid() || wholeMaps_.empty()) return;
    for (const WholeMap& m : wholeMaps_) {
      int error = 0;
      std::string blocked;
      const platform::OwnedFd folder = platform::OpenFolderBelow(dest_.Get(), m.folder, false, &error, &blocked);
      if (folder.Valid()) platform::ReplaceFileAt(folder.Get(), m.name, m.text, m.name + ".new", nullptr, false);
    }
    if (flush) platform::FlushVolume(dest_.Get());
  }

  // The first pass over what was never tried, block by block; then the extra
  // passes over the missing sectors, the last one first.
  Ended ReadPasses(const std::shared_ptr<FileWork>& shared, const std::string& mapName) {
    FileWork& work = *shared;
    const int extra = std::max(0, shared_->options.extraPasses);
    progress_.passes = 1 + extra;
    progress_.pass = 1;
    for (const auto& area : work.map.With(RescueMap::kNotTried)) {
      for (const auto& b : BlocksOf(area.pos, area.pos + area.size, work.size)) {
        work.units.push_back({b.offset, b.length, true});
      }
    }
    if (!work.units.empty()) {
      const Ended ended = ReadUnits(shared, mapName);
      if (ended != Ended::kDone || work.notOpened || work.writeError != 0) return ended;
    }
    for (int pass = 1; pass <= extra; ++pass) {
      const auto bad = work.map.With(RescueMap::kBad);
      if (bad.empty()) break;
      progress_.pass = 1 + pass;
      const int sector = work.sectorSize > 0 ? work.sectorSize : kBlockSize;
      for (auto area = bad.rbegin(); area != bad.rend(); ++area) {
        const auto sectors = SectorsOf(area->pos, area->pos + area->size, work.size, sector);
        for (auto s = sectors.rbegin(); s != sectors.rend(); ++s) work.units.push_back({s->offset, s->length, false});
      }
      // Saved before each extra pass: a rescue stopped in it goes on from here.
      SaveMap(work, mapName, RescueMap::kBad);
      const Ended ended = ReadUnits(shared, mapName);
      if (ended != Ended::kDone || work.notOpened || work.writeError != 0) return ended;
    }
    return Ended::kDone;
  }

  // Has the units of work read, by fresh readers after every stall, until
  // none is left.
  Ended ReadUnits(const std::shared_ptr<FileWork>& shared, const std::string& mapName) {
    FileWork& work = *shared;
    auto halted = [this] { return shared_->Cancelled(); };
    const int delay = std::clamp(shared_->options.delaySeconds, 3, 99);
    work.finished = false;
    for (;;) {
      if (shared_->Cancelled()) return Ended::kCancelled;
      if (!reader_ && !StartReader(delay)) return shared_->Cancelled() ? Ended::kCancelled : Ended::kStopped;
      RescueReader& reader = *reader_;
      shared_->watchdog.Reset();
      reader.Take(shared);
      Emit();
      for (;;) {
        const bool ended = shared_->watchdog.WaitForReader(delay, halted, [&] {
          return reader.Finished(work) || Clock::now() - lastEmit_ >= kWakeEvery;
        });
        if (ended) {
          if (reader.Finished(work)) break;
          Emit();
          continue;
        }
        if (shared_->Cancelled()) {
          // The reader lets go of the file; one inside a read is left to the
          // kernel.
          reader.Abandon(false);
          reader_.reset();
          return Ended::kCancelled;
        }
        if (reader.Abandon(true)) {
          // The read stalled: a block is read again sector by sector, a
          // sector is given up; a fresh reader goes on after it.
          const Unit stalled = reader.Current();
          reader_.reset();
          // The delay starts again for the fresh reader's wait for a slot.
          shared_->watchdog.Reset();
          if (stalled.pos == kOpening) {
            // Not even the open came back: nothing of the file can be read.
            work.notOpened = true;
            return Ended::kDone;
          }
          lastPos_ = stalled.pos;
          if (stalled.split && stalled.length > work.sectorSize && work.sectorSize > 0) {
            const auto sectors = SectorsOf(stalled.pos, stalled.pos + stalled.length, work.size, work.sectorSize);
            for (auto it = sectors.rbegin(); it != sectors.rend(); ++it) {
              work.units.push_front({it->offset, it->length, false});
            }
          } else {
            work.map.Mark(stalled.pos, stalled.length, RescueMap::kBad);
            work.bad.store(work.map.Bytes(RescueMap::kBad), std::memory_order_relaxed);
          }
          SaveMap(work, mapName, RescueMap::kNotTried);
          break;
        }
        // Between two reads (writing the copy, say): the watchdog starts
        // again, and the reader's next read sets it back anyway.
        shared_->watchdog.Reset();
      }
      if (!reader_) continue;  // a fresh reader takes the rest
      return Ended::kDone;
    }
  }

  // A reader for the next units. While every slot of the device is held by a
  // reader stuck in the kernel, waits for one to return, up to the delay
  // time; a device that gives none back no longer answers.
  bool StartReader(int delay) {
    const bool free = shared_->watchdog.WaitForReader(
        delay, [this] { return shared_->Cancelled(); },
        [this] { return shared_->stuck->On(device_) < kMaxAbandonedReaders; });
    if (!free) {
      if (!shared_->Cancelled()) {
        deviceNotAnswering_ = true;
        stop_ = true;
      }
      return false;
    }
    auto reader = std::make_shared<RescueReader>(shared_);
    if (!reader->Ready() || shared_->threads->StartThread([reader] { reader->Loop(); }, kReaderStack) != 0) {
      stop_ = true;
      return false;
    }
    reader_ = std::move(reader);
    return true;
  }

  void Emit() {
    lastEmit_ = Clock::now();
    progress_.recovered = shared_->recovered.load();
    // Missing: what could not be read so far, not what is still to come.
    progress_.missing = badDone_ + (current_ ? current_->bad.load(std::memory_order_relaxed) : 0);
    shared_->listener->Progress(progress_);
  }

  std::shared_ptr<Shared> shared_;
  std::vector<RescueFile> files_;
  std::shared_ptr<RescueReader> reader_;
  std::shared_ptr<FileWork> current_;  // the file being copied, for the progress
  int64_t badDone_ = 0;                // unreadable bytes of the files done
  uint64_t device_ = 0;
  bool known_ = false;
  int sectorSize_ = 0;
  bool aheadWorthIt_ = false;
  bool pastCache_ = false;
  RescueProgress progress_;
  Clock::time_point lastEmit_{};
  int64_t lastPos_ = 0;
  SourceFolders sources_;
  platform::OwnedFd dest_;  // the destination, held open for the whole rescue
  int destError_ = 0;       // why it could not be opened
  // The folder below the destination the last copy went to, held open, and
  // the leftovers of killed rescues found in it.
  platform::OwnedFd copyFolder_;
  std::string copyFolderPath_;
  std::set<std::string> leftovers_;
  // The maps of the copies made whole, written at the end.
  struct WholeMap {
    std::string folder, name, text;
  };
  std::vector<WholeMap> wholeMaps_;
  bool stop_ = false;
  bool deviceNotAnswering_ = false;
  bool destinationFailed_ = false;
};

}  // namespace

int64_t RescueOutcome::MissingBytes() const {
  int64_t total = 0;
  for (const auto& a : missing) total += a.size;
  return total;
}

std::optional<RescueFile> RescueFileOfRow(const RowFile& row, const std::string& driveRoot) {
  if (row.root.empty() || row.path.empty()) return std::nullopt;
  RescueFile file{row.root, row.path, row.path};
  std::string root = row.root, drive = driveRoot;
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  while (drive.size() > 1 && drive.back() == '/') drive.pop_back();
  if (!drive.empty() && root != drive) {
    const std::string base = drive == "/" ? drive : drive + "/";
    if (root.compare(0, base.size(), base) == 0) file.relative = root.substr(base.size()) + "/" + row.path;
  }
  return file;
}

namespace {

// The copy's own files are named by its name and an ending; the longest is
// the map's temporary name: ".rescue-map", ".new" and ".XXXXXXXX".
constexpr std::size_t kLongestEnding = 11 + 4 + 9;
constexpr std::size_t kSumDigits = 16;

std::string Stem(const std::string& name) {
  if (name.size() + kLongestEnding <= NAME_MAX) return name;
  // FNV-1a over the whole name: the same name gives the same stem in every
  // rescue, so that the next one finds the copy and its map again.
  uint64_t sum = 14695981039346656037ull;
  for (const char c : name) sum = (sum ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  std::size_t cut = NAME_MAX - kLongestEnding - kSumDigits - 1;
  // Not inside a character of several bytes.
  while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
  char digits[kSumDigits + 1];
  std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(sum));
  return name.substr(0, cut) + "~" + digits;
}

std::string WithEnding(const std::string& copy, const char* ending) {
  const std::size_t slash = copy.rfind('/');
  const std::size_t begin = slash == std::string::npos ? 0 : slash + 1;
  return copy.substr(0, begin) + Stem(copy.substr(begin)) + ending;
}

}  // namespace

std::string PartName(const std::string& copy) { return WithEnding(copy, ".torvex-part"); }
std::string MapName(const std::string& copy) { return WithEnding(copy, ".rescue-map"); }

DestinationProblem CheckDestination(const std::string& destination, const std::string& volumeRoot) {
  struct stat st {};
  if (destination.empty() || stat(destination.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    return DestinationProblem::kMissing;
  }
  const std::optional<uint64_t> volume = platform::DeviceOfPath(volumeRoot);
  if (platform::FolderIsWithin(destination, volumeRoot) || (volume && *volume == static_cast<uint64_t>(st.st_dev))) {
    return DestinationProblem::kOnVolume;
  }
  return DestinationProblem::kNone;
}

RescueRun::RescueRun(std::shared_ptr<ThreadStarter> threads, std::shared_ptr<RescueListener> listener,
                     std::shared_ptr<StuckReaders> stuck)
    : threads_(std::move(threads)), listener_(std::move(listener)), stuck_(std::move(stuck)) {
  if (!stuck_) stuck_ = std::make_shared<StuckReaders>();
}

RescueRun::~RescueRun() { Cancel(); }

bool RescueRun::Running() const { return shared_ && shared_->running.load(); }

void RescueRun::Cancel() {
  if (!shared_) return;
  shared_->cancel = true;
  shared_->watchdog.Wake();
}

bool RescueRun::Start(std::vector<RescueFile> files, const RescueOptions& options) {
  if (Running()) return false;
  auto shared = std::make_shared<Shared>();
  shared->threads = threads_;
  shared->listener = listener_;
  shared->stuck = stuck_;
  shared->options = options;
  std::vector<RescueFile> sources = files;
  auto rescue = std::make_shared<Rescue>(shared, std::move(files));
  // The ticker: the watchdog's seconds, and the rescue thread's progress.
  const int ticker = threads_->StartThread(
      [shared] {
        for (int wakes = 1; !shared->over.load(); ++wakes) {
          const uint32_t seq = shared->tickerWake.Seq();
          if (shared->over.load()) break;
          if (shared->tickerWake.WaitFor(seq, kWakeEvery)) continue;
          if (wakes % kWakesPerSecond == 0) {
            shared->watchdog.Tick();
          } else {
            shared->watchdog.Wake();
          }
        }
      },
      64 * 1024);
  if (ticker != 0) return false;
  // Read-ahead only on storage where it pays off, judged by the first file's
  // folder; without its thread the rescue reads all the same.
  if (!sources.empty() && AheadWorthIt(sources.front().root)) {
    threads_->StartThread([shared, sources] { ReadAheadFiles(shared, sources); }, kAheadStack);
  }
  if (threads_->StartThread([rescue] { rescue->Run(); }, kRescueStack) != 0) {
    shared->over = true;
    shared->tickerWake.Notify();
    return false;
  }
  shared_ = std::move(shared);
  return true;
}

}  // namespace engine
