#pragma once
// What the threads of a run share, and what each keeps to itself. Owned
// jointly by the engine object, the check thread and every reader, so that
// threads that outlive the window (a reader stuck in the kernel, a run ending
// while the program closes) never touch freed state. Who may touch what is
// told in the table at the top of check_run.h.
#include <atomic>
#include <bit>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "engine/check_run.h"
#include "engine/stuck_readers.h"
#include "platform/wake_signal.h"

namespace engine {

class Reader;
class ReadAhead;

// Whether the reader waits for the device: the last 16 first reads of a
// file, newest in the lowest bit. The current reader writes them; the check
// thread reads the verdict.
class DeviceWaits {
 public:
  void Note(bool waited) {
    const uint32_t bits = ((bits_.load(std::memory_order_relaxed) << 1) | (waited ? 1u : 0u)) & 0xffffu;
    bits_.store(bits, std::memory_order_relaxed);
    if (std::popcount(bits) >= 8) waits_ = true;
  }
  bool Seen() const { return waits_; }
  void Reset() {
    bits_.store(0, std::memory_order_relaxed);
    waits_ = false;
  }

 private:
  std::atomic<uint32_t> bits_{0};
  platform::Relaxed<bool> waits_{false};
};

// The check thread's own: touched by no other thread (the engine object sets
// the first buffer before any check thread exists).
struct CheckThreadOwn {
  // The block buffer of the readers. A reader given up inside a read keeps
  // its own, and the next file gets a fresh one.
  std::shared_ptr<Block> buffer;
  // The reader that takes the next file: it lives across files and is
  // replaced only when it is given up on a stall or kept at a lower priority.
  std::shared_ptr<Reader> reader;
  // Read-ahead of the next files (see ReadAhead): wanted once the reader has
  // waited for the device in half of the last 16 files' first reads, for as
  // long as the run meets no read error.
  enum class Ahead { kUndecided, kOn, kNever };
  Ahead ahead = Ahead::kUndecided;
  std::shared_ptr<ReadAhead> readAhead;
  // The folder the walk is in, below the run's root: the names the disc
  // gives, joined with '/' (empty at the root). Rows name their files by it.
  std::string folderBelowRoot;
};

// The UI thread's own.
struct UiThreadOwn {
  // Each record problem is told once per run; a box already open is not
  // joined by another.
  bool logTold = false, storeTold = false, telling = false;
};

struct EngineContext {
  explicit EngineContext(EngineDeps d) : deps(std::move(d)) {}

  // Shared by every thread of the run: set before the threads exist, or
  // atomic words, wake signals and guarded texts.
  EngineDeps deps;
  ScanState state;  // its watchdog wakes the check thread while it waits
  // What the run froze, taken by Start before the check thread exists; the
  // check thread adds the root's folder and device as it begins.
  RunSettings run;
  std::shared_ptr<StuckReaders> stuck;
  DeviceWaits deviceWaits;
  std::atomic<int> readAheadThreads{0};
  std::atomic<int> checkThreads{0};
  // Raised when a check thread ends.
  platform::WakeSignal threadEnded;
  // What the readiness of the last Start decided: set by Start, then by the
  // check thread once the window shows the run (go) or the run is given up
  // and idle again (no go); `decided` is raised with it.
  enum Verdict : int { kNoStart, kExamining, kGo, kNoGo };
  std::atomic<int> verdict{kNoStart};
  platform::WakeSignal decided;
  void Decide(Verdict v) {
    verdict.store(v, std::memory_order_release);
    decided.Notify();
  }
  // The first reason of the run why the log or the disk info file could not
  // be written (a platform::WriteProblem, 0 none), set by whichever thread
  // wrote; the UI thread tells the user once per run.
  std::atomic<int> logProblem{0};
  std::atomic<int> storeProblem{0};

  CheckThreadOwn check;
  UiThreadOwn ui;

  // The window is gone: the threads unwind at once, save nothing and leave the
  // window and its services alone.
  bool Closed() const { return !deps.gate->IsOpen(); }
  bool Halted() const { return state.stopRequest || Closed(); }
  WindowOps& Window() const { return *deps.window; }
  engine::Settings& Settings() const { return *deps.settings; }
  const PanelFlags& Panels() const { return *deps.panels; }
  std::string Text(int id) const { return Closed() ? std::string() : deps.text->Text(id); }
  // Nothing is heard once the window is gone.
  void PlaySound(int event) const {
    if (deps.sounds && !Closed()) deps.sounds->PlayEventSound(event);
  }
  ThreadStarter& Threads() const { return *deps.threads; }
};

}  // namespace engine
