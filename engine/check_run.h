#pragma once
// A check run: the commands Start/Stop, Skip, Exit and Close, the check
// thread, the one-second timer tick with its watchdog, and the end-of-check
// report. The engine reaches the window only through WindowOps.
#include <chrono>
#include <cstddef>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>

#include "engine/file_result.h"
#include "engine/scan_state.h"
#include "engine/services.h"
#include "engine/window_ops.h"
#include "records/settings.h"

namespace engine {

struct EngineDeps {
  std::shared_ptr<WindowOps> window;            // required
  std::shared_ptr<records::Settings> settings;  // required
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
};

// What a run freezes, taken by Start before anything else: the Options
// dialog may change the settings while the run counts its files, and only
// the live options (sounds, speaker, fast checking, delay, priority) are
// read afresh during a run.
struct RunSettings {
  int drive = -1;            // 0..25 for A..Z; anything else: none
  std::string startFolder;   // empty: the whole disk
  bool preScan = false;
  bool createLog = false;
  bool resumeEnabled = false;
  bool cdromTarget = false;

  static RunSettings Take(const records::Settings& settings, const std::string& startFolder);
  bool HasDevice() const { return drive >= 0 && drive <= 25; }
  // The run checks a whole disk: no start folder, or a drive root ("D:").
  bool WholeDisk() const { return startFolder.empty() || startFolder.size() == 3; }
  // Where the walk begins: the start folder, or "%c:\" of the device.
  std::string RootPath() const;

  // Set by the check thread as it begins, and touched by it alone: the
  // root's own folder, translated once for the whole run (a volume mounted
  // meanwhile cannot move a letter under it), and the device it lies on.
  std::string nativeRoot;
  uint64_t rootDevice = 0;
};

// Ids of the texts the engine looks up (odd ids; the lookup picks the language).
enum TextId : int {
  kTextNotEnoughMemory = 15,
  kTextNoDevice = 43,
  kTextNoDisk = 45,
  kTextAudioDisk = 47,
  kTextResumeQuestion = 49,
  kTextReportComplete = 53,
  kTextReportPercent = 55,
  kTextReportUnknown = 57,
  kTextNoErrors = 59,
  kTextErrorCounts = 61,
  kTextRead = 157,
  kTextOpen = 159,
  kTextSkipped = 161,
  kTextNoMemory = 163,
  kTextNewDisk = 165,
  kTextAnalysing = 167,
  kTextReportTitle = 181,
  kTextResumeTitle = 183,
  kTextDiscNotMounted = 187,
  kTextRootUnreadable = 189,
  kTextDeviceNotAnswering = 191,
  kTextLogNotWritten = 195,
  kTextStoreNotWritten = 197,
  kTextProblemLink = 199,
  kTextProblemNotAFile = 201,
  kTextProblemFull = 203,
  kTextProblemDenied = 205,
  kTextProblemOther = 207,
  kTextSettingsReset = 209,
};

// The text that says why a record could not be written.
int ProblemText(int writeProblem);
// text with each "%s" replaced by the next of parts, in order; the parts
// themselves are not looked at again.
std::string FillIn(const std::string& text, std::initializer_list<std::string> parts);

enum class Panel { Progress, Current, Time, Speed };

// Stalled readers that are abandoned but still inside the kernel hold a
// thread, a descriptor and a block buffer each; at most this many exist.
inline constexpr int kMaxAbandonedReaders = 8;
inline constexpr int kBlockSize = 32768;
inline constexpr int kFastSkip = 65536;

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
  bool Start();      // true when a run was started
  void Stop();
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
  // Readers abandoned inside a stalled read that have not returned yet.
  int AbandonedReaders() const;

 private:
  std::shared_ptr<EngineContext> ctx_;
  std::string startFolder_;
  bool sizeSeen_ = false;
};

}  // namespace engine
