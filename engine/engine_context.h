#pragma once
// What the threads of a run share. Owned jointly by the engine object, the
// check thread and every reader, so that threads that outlive the window
// (a reader stuck in the kernel, a run ending while the program closes) never
// touch freed state.
#include <atomic>
#include <bit>
#include <cstdint>
#include <map>
#include <mutex>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/check_run.h"
#include "platform/file_io.h"
#include "platform/wake_signal.h"

namespace engine {

struct alignas(4096) Block {
  char data[kBlockSize];
};

class HeldFolder;
class Reader;
class ReadAhead;
class WalkRecord;

struct EngineContext {
  explicit EngineContext(EngineDeps d) : deps(std::move(d)) {}

  EngineDeps deps;
  ScanState state;
  // The block buffer of the readers. Taken by the check thread only; a reader
  // abandoned inside a read keeps its own, and the next file gets a fresh one.
  std::shared_ptr<Block> buffer;

  // The reader that takes the next file: it lives across files and is
  // replaced only when it is given up on a stall. The check thread alone
  // touches this pointer.
  std::shared_ptr<Reader> reader;
  // Read-ahead of the next files (see ReadAhead): wanted once the reader has
  // waited for the device in half of the last 16 files' first reads, for as
  // long as the run meets no read error. The check thread alone touches
  // readAhead and ahead.
  enum class Ahead { kUndecided, kOn, kNever };
  Ahead ahead = Ahead::kUndecided;
  std::shared_ptr<ReadAhead> readAhead;
  // The last 16 first reads, newest in the lowest bit; the current reader
  // alone writes them.
  std::atomic<uint32_t> firstReads{0};
  Relaxed<bool> deviceWaits{false};
  std::atomic<int> readAheadThreads{0};

  void NoteFirstRead(bool waited) {
    const uint32_t bits = ((firstReads.load(std::memory_order_relaxed) << 1) | (waited ? 1u : 0u)) & 0xffffu;
    firstReads.store(bits, std::memory_order_relaxed);
    if (std::popcount(bits) >= 8) deviceWaits = true;
  }

  // Raised on every timer tick and whenever a reader ends a file; the file
  // check sleeps on it instead of polling.
  platform::WakeSignal wake;
  // Raised when a check thread ends.
  platform::WakeSignal threadEnded;
  // Readers abandoned inside a read that has not returned yet: all of them,
  // and by the device of the run that gave each up. A device whose every
  // slot is held no longer answers; another device checks as usual.
  std::atomic<int> abandonedReaders{0};
  std::mutex stuckLock;
  std::map<uint64_t, int> stuckOnDevice;  // under stuckLock
  void NoteStuck(uint64_t device, int change) {
    std::lock_guard lock(stuckLock);
    abandonedReaders.fetch_add(change);
    if ((stuckOnDevice[device] += change) <= 0) stuckOnDevice.erase(device);
  }
  int StuckOn(uint64_t device) {
    std::lock_guard lock(stuckLock);
    const auto it = stuckOnDevice.find(device);
    return it == stuckOnDevice.end() ? 0 : it->second;
  }
  std::atomic<int> checkThreads{0};
  // The window is gone: the threads unwind at once, save nothing and leave the
  // window alone.
  Relaxed<bool> closed{false};
  // What the run froze, taken by Start before the check thread exists.
  RunSettings run;
  // The first reason of the run why the log or the disk info file could not
  // be written (a platform::WriteProblem, 0 none), set by whichever thread
  // wrote; the UI thread tells the user once per run and notes that here.
  std::atomic<int> logProblem{0};
  std::atomic<int> storeProblem{0};
  bool logTold = false, storeTold = false, telling = false;  // UI thread

  void Wake() { wake.Notify(); }
  bool Halted() const { return state.stopRequest || closed; }
  WindowOps& Window() const { return *deps.window; }
  records::Settings& Settings() const { return *deps.settings; }
  const PanelFlags& Panels() const { return *deps.panels; }
  std::string Text(int id) const { return deps.text->Text(id); }
  // Nothing is heard once the window is gone.
  void PlaySound(int event) const {
    if (deps.sounds && !closed) deps.sounds->PlayEventSound(event);
  }
  ThreadStarter& Threads() const { return *deps.threads; }
};

// Brings the disk percent up to bytes done, and the disk bar and its text with
// it while the progress panel is shown. Called by the one thread that moves
// bytes done at the time: the reader after a block, the file check after a file.
void UpdateDiskPercent(EngineContext& c);

// A run that continues a remembered disk: bytes done starts from nothing and
// grows by the files passed over; a volume too large for the record's byte
// counts has its totals counted afresh.
void PrepareResumedRun(const std::shared_ptr<EngineContext>& ctx, WalkRecord* record);

// The body of the check thread.
void RunCheckThread(const std::shared_ptr<EngineContext>& ctx);

// Folders nested deeper than this below the root are not walked, and are
// Open errors like folders that cannot be entered: the walk recurses once per
// level and must not run out of stack on a tree built to be endless.
inline constexpr int kMaxFolderDepth = 4096;

// The counting walk (pre-scan) and the check walk of one tree.
class FolderWalk {
 public:
  enum Mode { kCount, kCheck };
  // record: the counting walk writes what it lists into it, and the check
  // walk replays it instead of listing the folders again (null: neither).
  FolderWalk(const std::shared_ptr<EngineContext>& ctx, Mode mode, WalkRecord* record = nullptr)
      : ctx_(ctx), mode_(mode), record_(record) {}
  // Walks the tree at the root path; the current directory is left on it.
  void WalkRoot(const std::string& rootPath);

 private:
  // Walks one folder; replayed: its listing comes from the record. True when
  // the folder was entered and listed.
  bool Walk(const std::string& name, bool root, int depth, bool replayed);
  // The files of a folder's listing that the read-ahead was given.
  struct AheadPlan {
    std::shared_ptr<HeldFolder> folder;
    std::size_t start = 0, end = 0;
    bool whole = false;  // it reaches the next sub-folder or the listing's end
  };
  // Before the file at index i of the listing goes to the reader.
  void ReadAheadOf(const std::vector<platform::DirEntry>& entries, std::size_t i, uint32_t seen, AheadPlan& plan);
  void Publish();
  // Back to the folder above; a way back that fails is found again from the
  // root. Sets lost_ when even that fails.
  void Leave(std::size_t parentLength, bool root);
  bool ReturnToParent();
  // A folder below the root that cannot be entered or listed: its files went
  // unread, so the check walk makes it an Open error.
  void ReportUnreadFolder(const std::string& name, const std::string& holder);

  const std::shared_ptr<EngineContext>& ctx_;
  Mode mode_;
  WalkRecord* record_;
  std::string path_;  // the current folder path, as shown
  std::vector<std::string> names_;  // the folders entered below the root, by name
  bool lost_ = false;  // the walk could not get back to the folder it was in
  std::optional<uint64_t> rootDevice_;  // the device of the walk's root
  std::string rootFolder_;              // the walk's root as the system names it
};

// Every reader slot is held by a read stuck in the kernel: the run stops as
// on Stop and the user is told that the device no longer answers.
void StopUnansweringDevice(EngineContext& c);

// A write of the log or of the disk info file failed: keeps the reason for
// the UI thread to tell. Any thread.
void NoteLogProblem(EngineContext& c);
void NoteStoreProblem(EngineContext& c);

// An error row of the error list, its log line and its counter (no sound).
void ReportError(EngineContext& c, FileResult result, const std::string& name, const std::string& position,
                 const std::string& folder);

// Checks one file of the current directory on the reader thread.
FileResult CheckFile(const std::shared_ptr<EngineContext>& ctx, const std::string& name, int64_t size);

// The run is over: the reader that waits for a next file ends.
void EndReader(EngineContext& c);

// No more read-ahead in this run (its end, or a read error).
void EndReadAhead(EngineContext& c);

}  // namespace engine
