#pragma once
// The scan engine: a check run from the Start command to its report. The
// engine reaches the window only through WindowOps, and the rest of the
// program through the interfaces of services.h.
//
// Threads of a run, and who may touch what (EngineContext holds it all):
//
// | thread        | owns                                   | may read                                  | woken by |
// |---------------|----------------------------------------|-------------------------------------------|----------|
// | UI            | the commands, the timer tick, the      | every shared word; the run's texts while  | the window's own events |
// |               | report, UiThreadOwn; Start freezes the | idle (released by the check thread's      |          |
// |               | run's settings and opens the Options   | HandOver at the end of a run, or when its |          |
// |               | when there is no device, but never     | readiness gives the run up)               |          |
// |               | touches a drive                        |                                           |          |
// | check thread  | the readiness first (volume query,     | settings, panel flags, the stop flags     | the watchdog (tick or reader's end), |
// | (one per run) | mount and root check, the resume       |                                           | futex only, never polled; its |
// |               | record; label and serial), its         |                                           | questions wait for the window |
// |               | questions asked through the window;    |                                           |          |
// |               | then the walks, CheckThreadOwn (the    |                                           |          |
// |               | reader, the read-ahead, the buffer)    |                                           |          |
// | reader        | its file descriptor and buffer; the    | the file it was handed; settings (fast    | its mail signal (a file handed over, |
// | (across files)| byte counters while it reads a file    | checking, priority)                       | quit), futex only |
// | read-ahead    | its plan (under its own lock)          | the plan the check thread gives it        | its wake signal (a new plan, the reader |
// |               |                                        |                                           | half way through the window, end) |
//
// Start hands the run to its check thread at once, with idle lowered: while
// the disk is examined the window answers, START (a Stop then) or Stop gives
// the run up once the drive answers the question it is in (nothing more is
// asked or told), and Close lets the thread go as from any other wait. The
// run is shown (its disk row, STOP) or given up (idle again) through
// HandOver, so a Stop clicked meanwhile is never undone on the screen.
//
// Shared words are relaxed atomics (ScanState, DiskState, Settings); texts
// two threads use are SharedText; StuckReaders is the one lock, never held
// across a wait. No engine thread ever waits for another engine thread
// except the check thread for its reader (through the watchdog), and no lock
// is held while a thread waits for the window. A reader given up on a stall
// keeps only what it owns and ends on its own when the kernel gives its read
// back; Close makes every thread leave the window alone at once.
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "engine/blocks.h"
#include "engine/file_result.h"
#include "engine/run_settings.h"
#include "engine/scan_state.h"
#include "engine/services.h"
#include "engine/settings.h"
#include "engine/stuck_readers.h"
#include "engine/texts.h"
#include "engine/window_gate.h"
#include "engine/window_ops.h"

namespace engine {

struct EngineDeps {
  std::shared_ptr<WindowOps> window;            // required
  std::shared_ptr<engine::Settings> settings;  // required
  std::shared_ptr<PanelFlags> panels;           // required
  std::shared_ptr<const TextLookup> text;       // required
  std::shared_ptr<LogWriter> log;               // null: nothing is logged
  std::shared_ptr<ResumeStore> resume;          // null: no disk is remembered
  std::shared_ptr<SoundPlayer> sounds;          // null: silent
  // Null: the root path is entered as it is.
  std::shared_ptr<RootPathTranslator> rootPaths;
  // Null: no disk is examined; every Start goes with an empty label and
  // serial number 0.
  std::shared_ptr<VolumeQuery> volumes;
  // Null: every root counts as ready to be checked.
  std::shared_ptr<RootCheck> roots;
  std::shared_ptr<ThreadStarter> threads;       // null: the system's
  // Null: every block reaches the device only when the reader asks for it.
  std::shared_ptr<FilePrefetcher> prefetcher;
  // The gate the window closes as it goes (null: the engine's own, closed
  // by Close).
  std::shared_ptr<WindowGate> gate;
  // The readers left stuck in the kernel, of the whole program: its checks
  // and its rescues share the bound per device (null: the engine's own).
  std::shared_ptr<StuckReaders> stuck;
};

enum class Panel { Progress, Current, Time, Speed };

struct EngineContext;

class ScanEngine {
 public:
  explicit ScanEngine(EngineDeps deps);
  ~ScanEngine();
  ScanEngine(const ScanEngine&) = delete;
  ScanEngine& operator=(const ScanEngine&) = delete;

  // False when the block buffer could not be obtained: the program cannot run.
  bool HasBlockBuffer() const;

  // Commands, on the UI thread.
  void StartStop();  // Start when idle, otherwise Stop
  // True when the run was handed to its check thread, which examines the
  // disk first (its questions come through the window) and may still give
  // the run up: RunGoes tells. False with nothing started (no device: the
  // options were opened; no thread; a window already gone).
  bool Start();
  void Stop();       // during the readiness too: the run is given up
  void Skip();
  void Exit();       // during a run: stop and save the progress of a remembered disk
  void Close();      // the window goes: threads unwind without touching it or saving

  // The start folder chosen in Options (empty: the whole disk). UI thread.
  void SetStartFolder(std::string folder);
  const std::string& StartFolder() const;
  // What the current run (or the last one) froze at its Start.
  const RunSettings& Run() const;

  // The one-second timer of the window.
  void OnTimerTick();
  void ShowCheckReport();
  // Tells the user, once per run each, that the log or the disk info file
  // could not be written and why. UI thread; the check goes on meanwhile.
  void TellRecordProblems();
  // Size messages of the window; the first one is ignored.
  void OnSizeChanged(bool minimized);
  // A panel hidden or shown again with its small close button.
  void OnPanelShown(Panel panel, bool shown);
  // The error list ran out of memory: stop the run and tell the user.
  void OnListOutOfMemory();

  ScanState& State();
  const ScanState& State() const;

  // Waits until no check thread is alive (tests, program end). True if none is.
  bool WaitForCheckThread(std::chrono::milliseconds timeout);
  // Waits until the readiness of the last Start has decided: true when the
  // run goes (its disk row and STOP are shown), false when it was given up
  // (idle again), when no Start handed a run over, or after timeout. Never
  // on the UI thread of a window that carries calls over (tests,
  // torvex-check, whose window carries out every call at once).
  // milliseconds::max() waits for as long as the drive takes.
  bool RunGoes(std::chrono::milliseconds timeout);
  // Readers abandoned inside a stalled read that have not returned yet.
  int AbandonedReaders() const;

 private:
  std::shared_ptr<EngineContext> ctx_;
  std::string startFolder_;
  bool sizeSeen_ = false;
};

}  // namespace engine
