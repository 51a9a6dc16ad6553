#include "engine/check_run.h"

#include <new>

#include "engine/engine_context.h"
#include "engine/progress.h"
#include "engine/readiness.h"
#include "engine/walk_record.h"
#include "platform/ascii.h"
#include "platform/file_io.h"

namespace engine {
namespace {

// Room for the walk's recursion down to the deepest folder it enters.
constexpr std::size_t kCheckThreadStack = 16 * 1024 * 1024;

}  // namespace

void RunCheckThread(const std::shared_ptr<EngineContext>& ctx) {
  EngineContext& c = *ctx;
  ScanState& s = c.state;
  DiskState& d = s.disk;
  const RunSettings& run = c.run;
  ResumeStore* store = c.deps.resume.get();
  WindowOps& w = c.Window();

  // The check thread and its readers take turns: one sleeps while the other
  // works. On one processor a hand-over is a switch between two threads; on
  // two it wakes a sleeping processor each time, which costs more than
  // reading a small file from the cache. The readers it starts keep to its
  // processor with it.
  c.Threads().KeepOnProcessor();
  // The walks go through the current directory: this thread's own, so that
  // the program's stays where it was and a checked disc is not held busy
  // once the check has ended. Its readers share it.
  platform::TakeOwnCurrentDirectory();
  // Whether this disk is read ahead is learnt afresh in every run.
  c.ahead = EngineContext::Ahead::kUndecided;
  c.firstReads.store(0, std::memory_order_relaxed);
  c.deviceWaits = false;

  // The root's folder, found once for the whole run: both walks enter it.
  c.run.nativeRoot = c.deps.rootPaths ? c.deps.rootPaths->ToNativePath(s.rootPath) : s.rootPath;
  c.run.rootDevice = platform::FolderDevice(c.run.nativeRoot).value_or(0);

  // Totals: from the disk's resume record, or from the counting walk, whose
  // listings the check walk then replays.
  WalkRecord record;
  if (store != nullptr && store->resumeActive) {
    // The readiness has loaded the record's progress (zeroed for a check again).
    PrepareResumedRun(ctx, &record);
  } else if (run.preScan) {
    FolderWalk(ctx, FolderWalk::kCount, &record).WalkRoot(s.rootPath);
    if (store != nullptr && run.resumeEnabled && !c.Halted() && run.cdromTarget && run.WholeDisk()) {
      // Only a disk whose section went in has a record to keep up to date.
      if (store->AddDisk(d) == 0) {
        store->resumeActive = true;
      } else {
        NoteStoreProblem(c);
      }
    }
  }
  s.filesSeen = 0;

  s.running = true;
  s.elapsed = 0;
  if (!c.Halted()) {
    w.EnableButton(kIdSkip, true);
    // Where a resumed check continues.
    if (d.bytesTotal != 0) w.SetFieldText(kIdDiskPercent, PercentText(d.percentShown));
    FolderWalk(ctx, FolderWalk::kCheck, &record).WalkRoot(s.rootPath);
    // Whether the walk ended or was stopped; a closing window saves nothing.
    if (store != nullptr && store->resumeActive && !c.closed && store->UpdateDisk(d) != 0) NoteStoreProblem(c);
  }

  EndReader(c);
  EndReadAhead(c);

  // Reset the display.
  w.SetProgress(kIdFileBar, 0);
  w.SetFieldText(kIdFilePercent, "");
  w.SetProgress(kIdDiskBar, 0);
  w.SetFieldText(kIdDiskPercent, "");
  w.EnableButton(kIdSkip, false);
  w.SetFieldText(kIdCurrentFile, "");
  w.SetFieldText(kIdFolderPath, "");
  w.SetFieldText(kIdVolumeLabel, "");
  w.ShowButton(kIdStop, false);
  w.ShowButton(kIdStart, true);
  // The flags of this run fall before idle rises, so that a Start that follows
  // at once never has its own run's flags lowered by this thread.
  s.running = false;
  s.reportPending = true;
  // Hands the run's texts (root path, label, run settings) back to the UI
  // thread, which the next Start rewrites.
  s.idle.Release(true);
  w.EnableButton(kIdStart, true);

  c.checkThreads.fetch_sub(1);
  c.Wake();
  c.threadEnded.Notify();
}

int ProblemText(int writeProblem) {
  switch (static_cast<platform::WriteProblem>(writeProblem)) {
    case platform::WriteProblem::kLink:
      return kTextProblemLink;
    case platform::WriteProblem::kNotAFile:
      return kTextProblemNotAFile;
    case platform::WriteProblem::kFull:
      return kTextProblemFull;
    case platform::WriteProblem::kDenied:
      return kTextProblemDenied;
    default:
      return kTextProblemOther;
  }
}

std::string FillIn(const std::string& text, std::initializer_list<std::string> parts) {
  std::string out;
  auto part = parts.begin();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == 's' && part != parts.end()) {
      out += *part++;
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

RunSettings RunSettings::Take(const records::Settings& settings, const std::string& startFolder) {
  RunSettings run;
  run.drive = settings.drive;
  run.startFolder = startFolder;
  run.preScan = settings.preScan;
  run.createLog = settings.createLog;
  run.resumeEnabled = settings.resumeEnabled;
  run.cdromTarget = settings.cdromTarget;
  return run;
}

ScanEngine::ScanEngine(EngineDeps deps) : ctx_(std::make_shared<EngineContext>(std::move(deps))) {
  if (!ctx_->deps.threads) ctx_->deps.threads = std::make_shared<SystemThreads>();
  // The block buffer is obtained once, when the window is created.
  ctx_->buffer = std::shared_ptr<Block>(new (std::nothrow) Block);
}

ScanEngine::~ScanEngine() {
  // Threads still running hold the context themselves; they only need to know
  // that nobody is listening any more.
  Close();
}

bool ScanEngine::HasBlockBuffer() const { return ctx_->buffer != nullptr; }
ScanState& ScanEngine::State() { return ctx_->state; }
const ScanState& ScanEngine::State() const { return ctx_->state; }
int ScanEngine::AbandonedReaders() const { return ctx_->abandonedReaders.load(); }
void ScanEngine::SetStartFolder(std::string folder) { startFolder_ = std::move(folder); }
const std::string& ScanEngine::StartFolder() const { return startFolder_; }
const RunSettings& ScanEngine::Run() const { return ctx_->run; }

void ScanEngine::StartStop() {
  if (ctx_->state.idle) {
    Start();
  } else {
    Stop();
  }
}

bool ScanEngine::Start() {
  EngineContext& c = *ctx_;
  ScanState& s = c.state;
  WindowOps& w = c.Window();
  if (!s.idle.Acquire() || c.closed) return false;

  // The report of a run that ended since the last tick comes first, with
  // that run's own figures.
  TellRecordProblems();
  if (s.reportPending) {
    s.reportPending = false;
    ShowCheckReport();
    if (!s.idle || c.closed) return false;
  }

  // What this run freezes; the readiness sequence resets the disk state and
  // examines the disk.
  c.run = RunSettings::Take(c.Settings(), startFolder_);
  const RunSettings& run = c.run;
  bool recordNotWritten = false;
  const ReadinessDeps readiness{w, *c.deps.text, c.deps.volumes.get(), c.deps.resume.get(), c.deps.roots.get(),
                                &recordNotWritten};
  if (!RunReadiness(run, s, readiness) || c.closed) return false;

  c.logProblem = 0;
  c.storeProblem = 0;
  c.logTold = c.storeTold = false;
  if (recordNotWritten) NoteStoreProblem(c);
  if (run.createLog && c.deps.log && c.deps.log->WriteDiskHeader(platform::VisibleText(s.disk.label)) != 0) {
    NoteLogProblem(c);
  }

  s.rootPath = !run.startFolder.empty() ? run.startFolder : std::string(1, static_cast<char>('A' + run.drive)) + ":\\";
  s.currentFolder.Set("");

  w.AddRow({c.Text(kTextNewDisk), "", "", platform::VisibleText(s.disk.label + ",  " + run.startFolder)});

  w.SetFieldText(kIdEstimated, run.preScan ? c.Text(kTextAnalysing) : "?");
  w.SetFieldText(kIdElapsed, "");
  w.SetFieldText(kIdSpeed, "");
  w.ShowButton(kIdStart, false);
  w.ShowButton(kIdStop, true);
  w.EnableButton(kIdStop, true);

  // Idle falls before the thread exists, so the thread's own end of the run
  // can never be overtaken.
  s.idle = false;
  s.stopRequest = false;
  c.checkThreads.fetch_add(1);
  std::shared_ptr<EngineContext> shared = ctx_;
  if (c.Threads().StartThread([shared] { RunCheckThread(shared); }, kCheckThreadStack) != 0) {
    // No thread, no run: back to idle, and say why.
    c.checkThreads.fetch_sub(1);
    w.ShowButton(kIdStop, false);
    w.ShowButton(kIdStart, true);
    w.EnableButton(kIdStart, true);
    w.SetFieldText(kIdEstimated, "");
    s.idle = true;
    w.ShowMessage(c.Text(kTextNotEnoughMemory), "Torvex error", kMsgError);
    return false;
  }
  return true;
}

void ScanEngine::Stop() {
  EngineContext& c = *ctx_;
  if (c.state.idle) return;
  c.state.stopRequest = true;
  c.Window().EnableButton(kIdStart, false);
  c.Window().EnableButton(kIdStop, false);
}

void ScanEngine::Skip() { ctx_->state.skipRequest = true; }

void ScanEngine::Exit() {
  EngineContext& c = *ctx_;
  if (!c.state.running) return;
  c.state.stopRequest = true;
  if (c.deps.resume && c.deps.resume->resumeActive) c.deps.resume->UpdateDisk(c.state.disk);
}

void ScanEngine::Close() {
  ctx_->closed = true;
  ctx_->Wake();
}

bool ScanEngine::WaitForCheckThread(std::chrono::milliseconds timeout) {
  // Only tests and the program's end wait here, never the running window.
  // Sleeps until a check thread ends: no wake-ups while a read stalls.
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const uint32_t seq = ctx_->threadEnded.Seq();
    if (ctx_->checkThreads.load() == 0) return true;
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) return false;
    ctx_->threadEnded.WaitFor(seq, left);
  }
}

void ScanEngine::OnTimerTick() {
  EngineContext& c = *ctx_;
  ScanState& s = c.state;
  DiskState& d = s.disk;
  const RunSettings& run = c.run;
  const PanelFlags& p = c.Panels();
  WindowOps& w = c.Window();

  ++s.watchdog;
  c.Wake();

  if (s.running) {
    const int32_t elapsed = ++s.elapsed;
    if (p.showTime) w.SetFieldText(kIdElapsed, TimeText(elapsed));
    if (p.showSpeed) w.SetFieldText(kIdSpeed, SpeedText(s.bytesRead, elapsed));
    if (p.showTime && run.preScan) {
      // The expected duration of the whole checking, not the time that remains;
      // unknown until the first block has been accounted.
      const int64_t estimate = EstimatedSeconds(d.bytesTotal, elapsed, d.bytesDone);
      w.SetFieldText(kIdEstimated, estimate < 0 ? "?" : TimeText(estimate));
    }
    if (p.minimized && run.preScan && p.showProgress && run.HasDevice()) {
      w.SetTitle(MinimizedTitle(d.percentShown, run.drive, run.startFolder));
    }
  }

  // A record that could not be written is told before the report.
  TellRecordProblems();
  if (s.reportPending) {
    s.reportPending = false;
    ShowCheckReport();
  }
}

void ScanEngine::TellRecordProblems() {
  EngineContext& c = *ctx_;
  // A box is open already (the timer ticks on under it), or nobody is left.
  if (c.telling || c.closed) return;
  c.telling = true;
  struct Record {
    std::atomic<int>& problem;
    bool& told;
    int text;
    std::string path;
  };
  const Record records[] = {
      {c.logProblem, c.logTold, kTextLogNotWritten, c.deps.log ? c.deps.log->Path() : std::string()},
      {c.storeProblem, c.storeTold, kTextStoreNotWritten, c.deps.resume ? c.deps.resume->Path() : std::string()},
  };
  for (const Record& r : records) {
    const int problem = r.problem.load();
    if (problem == 0 || r.told) continue;
    r.told = true;
    const std::string text = FillIn(c.Text(r.text), {r.path, c.Text(ProblemText(problem))});
    c.Window().ShowMessage(text, "Torvex warning", kMsgWarning);
    if (c.closed) break;
  }
  c.telling = false;
}

void ScanEngine::ShowCheckReport() {
  EngineContext& c = *ctx_;
  const DiskState& d = c.state.disk;
  c.PlaySound(7);

  const long long checked = d.filesChecked;
  std::string first;
  // The report belongs to the run that ended: its own pre-scan option.
  if (c.run.preScan) {
    if (d.percentShown >= 100) {
      first = FormatText(c.Text(kTextReportComplete), {checked});
    } else {
      first = FormatText(c.Text(kTextReportPercent), {d.percentShown.load(), checked});
    }
  } else {
    first = FormatText(c.Text(kTextReportUnknown), {checked});
  }
  std::string second;
  if (d.readErrors == 0 && d.openErrors == 0) {
    second = FormatText(c.Text(kTextNoErrors), {});
  } else {
    second = FormatText(c.Text(kTextErrorCounts), {d.readErrors.load(), d.openErrors.load()});
  }
  c.Window().ShowMessage(first + second, c.Text(kTextReportTitle), kMsgInfo);
}

void ScanEngine::OnSizeChanged(bool minimized) {
  if (!sizeSeen_) {
    sizeSeen_ = true;
    return;
  }
  PanelFlags& p = *ctx_->deps.panels;
  p.minimized = minimized;
  if (minimized) return;
  // While a run exists the title names what it checks.
  const EngineContext& c = *ctx_;
  if (c.state.idle) {
    c.Window().SetTitle(RestoredTitle(c.Settings().drive, startFolder_));
  } else {
    c.Window().SetTitle(RestoredTitle(c.run.drive, c.run.startFolder));
  }
}

void ScanEngine::OnPanelShown(Panel panel, bool shown) {
  EngineContext& c = *ctx_;
  PanelFlags& p = *c.deps.panels;
  WindowOps& w = c.Window();
  switch (panel) {
    case Panel::Progress:
      p.showProgress = shown;
      if (!shown) {
        w.SetProgress(kIdFileBar, 0);
        w.SetProgress(kIdDiskBar, 0);
        w.SetFieldText(kIdFilePercent, "");
        w.SetFieldText(kIdDiskPercent, "");
      } else if (c.state.running) {
        w.SetProgress(kIdDiskBar, c.state.disk.percentShown);
      }
      break;
    case Panel::Current:
      p.showCurrent = shown;
      if (shown && c.state.running) w.SetFieldText(kIdFolderPath, platform::VisibleText(c.state.currentFolder.Get()));
      break;
    case Panel::Time:
      p.showTime = shown;
      if (!shown) w.SetFieldText(kIdElapsed, "");
      break;
    case Panel::Speed:
      p.showSpeed = shown;
      if (!shown) w.SetFieldText(kIdSpeed, "");
      break;
  }
}

void ScanEngine::OnListOutOfMemory() {
  ctx_->state.stopRequest = true;
  ctx_->Window().ShowMessage(ctx_->Text(kTextNotEnoughMemory), "Torvex error", kMsgError);
}

}  // namespace engine
