#include "engine/check_thread.h"

#include <algorithm>

#include "engine/engine_context.h"
#include "engine/file_check.h"
#include "engine/folder_walk.h"
#include "engine/progress.h"
#include "engine/read_ahead.h"
#include "engine/readiness.h"
#include "engine/reports.h"
#include "engine/walk_record.h"
#include "platform/ascii.h"
#include "platform/file_io.h"

namespace engine {
namespace {

constexpr int64_t kWrap = int64_t{1} << 32;

// A byte count the record keeps by its low 32 bits, made whole again: of the
// counts with those low bits that do not exceed the total, the one nearest
// to the percent the record holds, which was taken from the whole counts.
int64_t RestoreCount(int64_t stored, int percent, int64_t total) {
  const int64_t low = stored & (kWrap - 1);
  if (total < kWrap) return low;
  const int64_t near = total / 100 * percent + total % 100 * percent / 100;
  int64_t best = low;
  for (int64_t v = low; v <= total; v += kWrap) {
    if ((v > near ? v - near : near - v) < (best > near ? best - near : near - best)) best = v;
  }
  return best;
}

// The window's texts, none once the window is gone.
class GatedTexts : public TextLookup {
 public:
  explicit GatedTexts(const EngineContext& c) : c_(c) {}
  std::string Text(int id) const override { return c_.Text(id); }

 private:
  const EngineContext& c_;
};

// The readiness of the run: the disk is examined, its questions asked
// through the window, and the log gets the disk's header. On go the window
// shows the run where its calls are carried out, so that a Stop clicked
// meanwhile finds STOP shown or is seen here. True for go.
bool MakeReady(EngineContext& c) {
  ScanState& s = c.state;
  WindowOps& w = c.Window();
  const RunSettings& run = c.run;
  const GatedTexts texts(c);
  bool recordNotWritten = false;
  ReadinessDeps readiness{w, texts, c.deps.volumes.get(), c.deps.resume.get(), c.deps.roots.get(), &recordNotWritten,
                          [&c] { return c.Halted(); }};
  if (!RunReadiness(run, s, readiness) || c.Halted()) return false;

  if (recordNotWritten) NoteStoreProblem(c);
  if (run.createLog && c.deps.log && c.deps.log->WriteDiskHeader(platform::VisibleText(s.disk.label)) != 0) {
    NoteLogProblem(c);
  }
  const std::array<std::string, 4> diskRow{c.Text(kTextNewDisk), "", "",
                                           platform::VisibleText(s.disk.label + ",  " + run.startFolder)};
  const std::string estimated = run.preScan ? c.Text(kTextAnalysing) : "?";
  w.HandOver([&] {
    w.AddRow(diskRow, {});
    w.SetFieldText(kIdEstimated, estimated);
    w.SetFieldText(kIdElapsed, "");
    w.SetFieldText(kIdSpeed, "");
    w.ShowButton(kIdStart, false);
    w.ShowButton(kIdStop, true);
    // A Stop since the disk was examined has switched STOP off: the run
    // goes, and ends at once.
    w.EnableButton(kIdStop, !s.stopRequest);
    c.Decide(EngineContext::kGo);
  });
  return true;
}

// A run given up by its readiness: idle again where the window's calls are
// carried out, with START usable (a Stop switched it off), and no report.
void GiveUpRun(EngineContext& c) {
  ScanState& s = c.state;
  WindowOps& w = c.Window();
  w.HandOver([&] {
    s.idle.Release(true);
    w.EnableButton(kIdStart, true);
    c.Decide(EngineContext::kNoGo);
  });
  c.checkThreads.fetch_sub(1);
  s.watchdog.Wake();
  c.threadEnded.Notify();
}

}  // namespace

void PrepareResumedRun(const std::shared_ptr<EngineContext>& ctx, WalkRecord* record) {
  EngineContext& c = *ctx;
  DiskState& d = c.state.disk;
  // The check walk accounts the bytes of every file it passes over, so that
  // a file whose check was interrupted is not counted twice.
  d.bytesDoneBefore = d.bytesDone.load();
  d.bytesDone = 0;
  // The record holds the low 32 bits of the byte counts: unless the volume
  // is known to be smaller than 4 GiB, they may have wrapped, so the totals
  // are counted afresh and the bytes done before are taken back to the
  // whole count the record's percent points at.
  const std::string& root = c.state.rootPath;
  const uint64_t volume = platform::FileSystemBytes(c.run.nativeRoot);
  if (volume == 0 || volume >= static_cast<uint64_t>(kWrap)) {
    d.filesTotal = 0;
    d.bytesTotal = 0;
    FolderWalk(ctx, FolderWalk::kCount, record).WalkRoot(root);
    if (c.Halted()) return;
    d.bytesDoneBefore = RestoreCount(d.bytesDoneBefore, d.percentShown, d.bytesTotal);
  }
  d.counted = true;
}

void RunCheckThread(const std::shared_ptr<EngineContext>& ctx) {
  EngineContext& c = *ctx;
  ScanState& s = c.state;
  DiskState& d = s.disk;
  const RunSettings& run = c.run;
  ResumeStore* store = c.deps.resume.get();
  WindowOps& w = c.Window();

  if (!MakeReady(c)) {
    GiveUpRun(c);
    return;
  }

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
  c.check.ahead = CheckThreadOwn::Ahead::kUndecided;
  c.deviceWaits.Reset();

  // The root's folder, found once for the whole run: both walks enter it.
  // No drive letter is looked up once the window has gone.
  if (!c.deps.rootPaths) {
    c.run.nativeRoot = s.rootPath;
  } else {
    c.run.nativeRoot = c.Closed() ? std::string() : c.deps.rootPaths->ToNativePath(s.rootPath);
  }
  c.run.rootDevice = platform::FolderDevice(c.run.nativeRoot).value_or(0);

  // Totals: from the disk's resume record, or from the counting walk, whose
  // listings the check walk then replays.
  WalkRecord record;
  if (store != nullptr && store->resumeActive) {
    // The readiness has loaded the record's progress (zeroed for a check again).
    PrepareResumedRun(ctx, &record);
  } else if (run.preScan) {
    FolderWalk(ctx, FolderWalk::kCount, &record).WalkRoot(s.rootPath);
    if (!c.Halted()) d.counted = true;
    // A disc whose serial is unknown has no record: it would stand for every
    // such disc.
    if (store != nullptr && run.resumeEnabled && !c.Halted() && run.cdromTarget && run.WholeDisk() &&
        d.serialKnown) {
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
    const int32_t checkedBefore = d.filesChecked;
    FolderWalk(ctx, FolderWalk::kCheck, &record).WalkRoot(s.rootPath);
    // Those of the files an earlier run checked that this walk met.
    d.filesPassedOver = static_cast<int32_t>(std::min<int64_t>(checkedBefore, s.filesSeen.load()));
    // Whether the walk ended or was stopped; a closing window saves nothing.
    if (store != nullptr && store->resumeActive && !c.Closed() && store->UpdateDisk(d) != 0) NoteStoreProblem(c);
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
  // The run ends where the window's calls are carried out, after all of the
  // above: a Start, a click on the STOP still shown or a tick that shows the
  // report never comes before them.
  w.HandOver([&s, &w] {
    // The flags of this run fall before idle rises, so that a Start that
    // follows at once never has its own run's flags lowered by this thread.
    s.running = false;
    s.reportPending = true;
    // Hands the run's texts (root path, label, run settings) back to the UI
    // thread, which the next Start rewrites.
    s.idle.Release(true);
    w.EnableButton(kIdStart, true);
  });

  c.checkThreads.fetch_sub(1);
  s.watchdog.Wake();
  c.threadEnded.Notify();
}

}  // namespace engine
