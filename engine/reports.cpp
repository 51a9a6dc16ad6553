#include "engine/reports.h"

#include <atomic>

#include "engine/engine_context.h"
#include "engine/progress.h"
#include "platform/ascii.h"

namespace engine {
namespace {

void NoteProblem(std::atomic<int>& first, platform::WriteProblem problem) {
  int none = 0;
  const int value = static_cast<int>(problem == platform::WriteProblem::kNone ? platform::WriteProblem::kOther : problem);
  first.compare_exchange_strong(none, value);
}

}  // namespace

void NoteLogProblem(EngineContext& c) {
  if (c.deps.log) NoteProblem(c.logProblem, c.deps.log->LastProblem());
}

void NoteStoreProblem(EngineContext& c) {
  if (c.deps.resume) NoteProblem(c.storeProblem, c.deps.resume->LastProblem());
}

void ReportError(EngineContext& c, FileResult result, const std::string& rawName, const std::string& position,
                 const std::string& rawFolder) {
  // Names come from the disc: shown and logged so that none can forge a line.
  const std::string name = platform::VisibleText(rawName);
  const std::string folder = platform::VisibleText(rawFolder);
  // The file itself, by the names the walk had: a row's text cannot tell a
  // name holding a backslash from a folder, nor a control character from
  // its shown form.
  const std::string& below = c.check.folderBelowRoot;
  const RowFile file{c.run.nativeRoot, below.empty() ? rawName : below + '/' + rawName};
  DiskState& d = c.state.disk;
  const bool log = c.deps.log && c.run.createLog;
  int logged = 0;
  switch (result) {
    case FileResult::Read:
      if (log) logged = c.deps.log->WriteErrorLine(name, "Read", position, folder);
      c.Window().AddRow({name, c.Text(kTextRead), position, folder}, file);
      ++d.readErrors;
      break;
    case FileResult::Open:
      if (log) logged = c.deps.log->WriteErrorLine(name, "Open", "", folder);
      c.Window().AddRow({name, c.Text(kTextOpen), "", folder}, file);
      ++d.openErrors;
      break;
    case FileResult::Skipped:
      c.Window().AddRow({name, c.Text(kTextSkipped), position, folder}, file);
      ++d.otherErrors;
      if (log) logged = c.deps.log->WriteErrorLine(name, "Skipped", position, folder);
      break;
    case FileResult::NoMemory:
      c.Window().AddRow({name, c.Text(kTextNoMemory), "", folder}, file);
      ++d.otherErrors;
      if (log) logged = c.deps.log->WriteErrorLine(name, "NoMemory", position, folder);
      break;
    default:
      break;
  }
  if (logged != 0) NoteLogProblem(c);
}

void StopUnansweringDevice(EngineContext& c) {
  // As on Stop: the walk unwinds, a remembered disk saves its progress, and
  // the report follows.
  c.state.stopRequest = true;
  c.Window().EnableButton(kIdStart, false);
  c.Window().EnableButton(kIdStop, false);
  // The drive is named as the run names it ("D:", or the start folder's).
  const std::string drive = c.state.rootPath.substr(0, 2);
  c.Window().ShowMessage(FillIn(c.Text(kTextDeviceNotAnswering), {drive}), kCaptionError, kMsgError);
}

void TellRecordProblems(EngineContext& c) {
  // A box is open already (the timer ticks on under it), or nobody is left.
  if (c.ui.telling || c.Closed()) return;
  c.ui.telling = true;
  struct Record {
    std::atomic<int>& problem;
    bool& told;
    int text;
    std::string path;
  };
  const Record records[] = {
      {c.logProblem, c.ui.logTold, kTextLogNotWritten, c.deps.log ? c.deps.log->Path() : std::string()},
      {c.storeProblem, c.ui.storeTold, kTextStoreNotWritten, c.deps.resume ? c.deps.resume->Path() : std::string()},
  };
  for (const Record& r : records) {
    const int problem = r.problem.load();
    if (problem == 0 || r.told) continue;
    r.told = true;
    const std::string text = FillIn(c.Text(r.text), {r.path, c.Text(ProblemText(problem))});
    c.Window().ShowMessage(text, kCaptionWarning, kMsgWarning);
    if (c.Closed()) break;
  }
  c.ui.telling = false;
}

void ShowCheckReport(EngineContext& c) {
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
  // Files passed over were not read by this run: they are told apart, and
  // never taken into "no error".
  const long long passedOver = d.filesPassedOver;
  if (passedOver > 0) first += FormatText(c.Text(kTextPassedOver), {passedOver});
  const long long otherVolumes = d.otherVolumes;
  if (otherVolumes > 0) first += FormatText(c.Text(kTextOtherVolumes), {otherVolumes});
  std::string second;
  if (d.readErrors == 0 && d.openErrors == 0) {
    second = FormatText(c.Text(passedOver > 0 ? kTextNoErrorsInRead : kTextNoErrors), {});
  } else {
    second = FormatText(c.Text(kTextErrorCounts), {d.readErrors.load(), d.openErrors.load()});
  }
  c.Window().ShowMessage(first + second, c.Text(kTextReportTitle), kMsgInfo);
}

}  // namespace engine
