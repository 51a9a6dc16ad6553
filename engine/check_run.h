#pragma once
// The scan engine: a check run from the Start command to its report. The
// engine reaches the window only through WindowOps, and the rest of the
// program through the interfaces of services.h.
//
// Threads of a check, and who may touch what (EngineContext holds it all):
//
// | thread         | owns                                   | may read                          | sleeps on (woken by) |
// |----------------|----------------------------------------|-----------------------------------|----------------------|
// | UI             | the commands, the timer tick (the      | every shared word; the run's      | the window's own events |
// |                | check's watchdog), the report,         | texts while idle (released by the |                      |
// |                | UiThreadOwn; Start freezes the run's   | check thread's HandOver at the    |                      |
// |                | settings and opens the Options when    | end of a run, or when its         |                      |
// |                | there is no device, but never touches  | readiness gives the run up)       |                      |
// |                | a drive                                |                                   |                      |
// | check thread   | the readiness first (volume query,     | settings, panel flags, the stop   | the watchdog's futex (a tick, a reader's end, |
// | (one per run)  | mount and root check, the resume       | flags                             | Close), also for a free reader slot of the device; |
// |                | record, the log header), its questions |                                   | the bridge's condition variable while the UI |
// |                | asked through the window; then the     |                                   | thread adds a row, shows a message box or takes |
// |                | walks, CheckThreadOwn (the reader, the |                                   | the HandOver (its answer, Close); with the |
// |                | read-ahead, the block buffer); the     |                                   | speaker on, for a beep's length in the sound |
// |                | error rows, Torvex.log's lines, the    |                                   | output (its condition variable; Shutdown) |
// |                | disk's record in Torvex.tvd            |                                   |                      |
// | reader         | its file descriptor and buffer; the    | the file it was handed; settings  | its mail futex (a file handed over, quit) |
// | (across files) | byte counters while it reads a file    | (fast checking, priority)         |                      |
// | read-ahead     | its plan (under its own lock)          | the plan the check thread gives it| its wake futex (a new plan, the reader half way |
// |                |                                        |                                   | through the window, end) |
// | sound thread   | the wave file or default sound playing | the one request waiting           | the sound output's condition variable (a |
// | (first wave)   | (platform/sound_output.cpp)            |                                   | request, Shutdown) |
//
// Threads of a rescue (engine/rescue.cpp), started by RescueRun::Start on the
// UI thread; the UI thread only cancels it and takes the listener's calls
// (app/rescue_controller.cpp):
//
// | thread         | owns                                   | sleeps on (woken by) |
// |----------------|----------------------------------------|----------------------|
// | rescue thread  | the files one after another, the       | the rescue's own watchdog's futex (the ticker, the reader's |
// |                | copies' folders and maps, the report;  | end, Cancel), also for a free reader slot of the device |
// |                | calls the listener                     |                      |
// | reader         | its file descriptor and buffer, the    | its mail futex (a file handed over, quit) |
// | (across files) | copy it writes (the file's work, under |                      |
// |                | its guard)                             |                      |
// | ticker         | the rescue's seconds (a watchdog tick  | its futex, 250 ms at a time (the end of the rescue) |
// |                | every fourth wake, a wake otherwise)   |                      |
// | read-ahead     | nothing shared: asks the system for    | its futex (the rescue thread moving on, its end) |
// |                | the first bytes of the next files      |                      |
//
// Locks, both kinds of run:
//
// | lock                              | taken by                                  | guards; what is taken inside it |
// |-----------------------------------|-------------------------------------------|---------------------------------|
// | a reader's hand-over guard        | its reader; the check or rescue thread    | what the two share; never held over a read, |
// | (engine/reader_hand_over.h)       | (Take, Abandon, Quit)                     | an open or a close. Inside: StuckReaders (Abandon; |
// |                                   |                                           | a given-up check reader's end), the bridge's lock |
// |                                   |                                           | (the check reader's file percent) |
// | ReadAhead's (engine/read_ahead.h) | check thread, the check's read-ahead      | the plan; never held over a request to the system |
// | SharedText (engine/scan_state.h)  | the walks (check thread), the UI thread's | the current folder's text, copied in and out |
// |                                   | tick                                      |                                 |
// | StuckReaders                      | check threads, readers and rescue threads | the count by device (the program's one: every |
// | (engine/stuck_readers.h)          | of every run                              | check and rescue share it) |
// | LogFile's (records/log_file.h)    | UI thread (Start's header), check thread  | opening, writing and closing Torvex.log |
// |                                   | (error lines)                             |                                 |
// | DiskInfoStore's                   | UI thread (Start's readiness, Exit),      | the store; inside it, while a record is looked up, |
// | (records/disk_info_store.h)       | check thread (AddDisk, UpdateDisk)        | added or rewritten, an flock on Torvex.tvd, which |
// |                                   |                                           | waits for another program writing that file |
// | the bridge's (ui/window_bridge.h) | any engine thread's window call, the UI   | the queued calls; released while a caller waits on |
// |                                   | thread delivering them, Close             | its condition variable |
// | RescuePoster's                    | rescue thread (Progress, Finished), UI    | the listener's queued calls; nobody waits under it |
// | (ui/rescue_dialog.h)              | thread (delivering them, Detach)          |                                 |
// | the sound output's                | whoever plays an event's sound (check     | the request waiting and the one playing; released |
// | (platform/sound_output.cpp)       | thread, UI thread), the sound thread      | while its condition variable is waited on |
//
// Start hands the run to its check thread at once, with idle lowered: while
// the disk is examined the window answers, START (a Stop then) or Stop gives
// the run up once the drive answers the question it is in (nothing more is
// asked or told), and Close lets the thread go as from any other wait. The
// run is shown (its disk row, STOP) or given up (idle again) through
// HandOver, so a Stop clicked meanwhile is never undone on the screen.
//
// Shared words are relaxed atomics (ScanState, DiskState, Settings); texts
// two threads use are SharedText. No lock is held across a wait for another
// thread of the program: the flock of Torvex.tvd, under DiskInfoStore's lock,
// waits only for another process. An engine thread waits for another only
// where the tables say: the check or rescue thread for its reader (through
// its watchdog, up to the delay time) and for a reader slot of its device,
// and the check thread for the UI thread on the bridge, which Close lets go
// at once. The UI thread waits for no engine thread but for the short spells
// the locks above are held, and as the window goes at most 250 ms for the
// sound thread (EventSounds::Shutdown). A reader given up on a stall keeps
// only what it owns and ends on its own when the kernel gives its read back.
// Close makes every thread leave the window alone at once; a rescue's
// listener is detached before the window goes. In torvex-check the window is
// the terminal's (app/check/terminal_window.h): its own lock guards the
// lines, and none of its calls waits for another thread.
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
