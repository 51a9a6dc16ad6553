#include "engine/check_run.h"

#include <algorithm>
#include <new>

#include "engine/check_thread.h"
#include "engine/engine_context.h"
#include "engine/progress.h"
#include "engine/reports.h"
#include "engine/system_services.h"
#include "platform/ascii.h"

namespace engine {
namespace {

constexpr std::chrono::milliseconds kForever = std::chrono::hours(24 * 365 * 100);

}  // namespace

ScanEngine::ScanEngine(EngineDeps deps) : ctx_(std::make_shared<EngineContext>(std::move(deps))) {
  if (!ctx_->deps.threads) ctx_->deps.threads = std::make_shared<SystemThreads>();
  if (!ctx_->deps.gate) ctx_->deps.gate = std::make_shared<WindowGate>();
  if (!ctx_->deps.stuck) ctx_->deps.stuck = std::make_shared<StuckReaders>();
  ctx_->stuck = ctx_->deps.stuck;
  // The block buffer is obtained once, when the window is created.
  ctx_->check.buffer = std::shared_ptr<Block>(new (std::nothrow) Block);
}

ScanEngine::~ScanEngine() {
  // Threads still running hold the context themselves; they only need to know
  // that nobody is listening any more.
  Close();
}

bool ScanEngine::HasBlockBuffer() const { return ctx_->check.buffer != nullptr; }
ScanState& ScanEngine::State() { return ctx_->state; }
const ScanState& ScanEngine::State() const { return ctx_->state; }
int ScanEngine::AbandonedReaders() const { return ctx_->stuck->All(); }
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
  if (!s.idle.Acquire() || c.Closed()) return false;

  // The report of a run that ended since the last tick comes first, with
  // that run's own figures.
  TellRecordProblems();
  if (s.reportPending) {
    s.reportPending = false;
    ShowCheckReport();
    if (!s.idle || c.Closed()) return false;
  }

  // What this run freezes. Without a device the options open at once, here:
  // nothing is asked of a drive.
  c.run = RunSettings::Take(c.Settings(), startFolder_);
  const RunSettings& run = c.run;
  c.verdict.store(EngineContext::kNoStart, std::memory_order_relaxed);
  if (!run.HasDevice()) {
    w.ShowMessage(c.Text(kTextNoDevice), kCaptionError, kMsgError);
    w.OpenOptions();
    return false;
  }

  c.logProblem = 0;
  c.storeProblem = 0;
  c.ui.logTold = c.ui.storeTold = false;
  s.rootPath = run.RootPath();
  s.currentFolder.Set("");

  // The disk is examined on the check thread, which may wait long for a
  // slow drive: the window stays as it is, and answers, meanwhile. Idle
  // falls before the thread exists, so that START is a Stop from now on
  // and the thread's own end of the run can never be overtaken.
  s.idle = false;
  s.stopRequest = false;
  c.verdict.store(EngineContext::kExamining, std::memory_order_relaxed);
  c.checkThreads.fetch_add(1);
  std::shared_ptr<EngineContext> shared = ctx_;
  if (c.Threads().StartThread([shared] { RunCheckThread(shared); }, kCheckThreadStack) != 0) {
    // No thread, no run: back to idle, the fields of a run cleared, and say why.
    c.checkThreads.fetch_sub(1);
    w.SetFieldText(kIdEstimated, "");
    w.SetFieldText(kIdElapsed, "");
    w.SetFieldText(kIdSpeed, "");
    w.ShowButton(kIdStop, false);
    w.ShowButton(kIdStart, true);
    w.EnableButton(kIdStart, true);
    s.idle = true;
    c.Decide(EngineContext::kNoGo);
    w.ShowMessage(c.Text(kTextNotEnoughMemory), kCaptionError, kMsgError);
    return false;
  }
  return true;
}

bool ScanEngine::RunGoes(std::chrono::milliseconds timeout) {
  // Never on the UI thread of a window: the check thread hands the verdict
  // over there.
  // A century stands for "for as long as it takes" (milliseconds::max()
  // would overflow the clock).
  const auto deadline = std::chrono::steady_clock::now() + std::min(timeout, kForever);
  for (;;) {
    const uint32_t seq = ctx_->decided.Seq();
    const int verdict = ctx_->verdict.load(std::memory_order_acquire);
    if (verdict != EngineContext::kExamining) return verdict == EngineContext::kGo;
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) return false;
    ctx_->decided.WaitFor(seq, left);
  }
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
  ctx_->deps.gate->Close();
  ctx_->state.watchdog.Wake();
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

  s.watchdog.Tick();

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

void ScanEngine::TellRecordProblems() { engine::TellRecordProblems(*ctx_); }
void ScanEngine::ShowCheckReport() { engine::ShowCheckReport(*ctx_); }

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
  ctx_->Window().ShowMessage(ctx_->Text(kTextNotEnoughMemory), kCaptionError, kMsgError);
}

}  // namespace engine
