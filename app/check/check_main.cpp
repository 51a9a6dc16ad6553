// torvex-check: the scan engine, the records and the platform layer behind
// a terminal. It checks one start folder or one drive of the drive table,
// prints every error row as it comes and the report at the end, and tells
// the result by its exit status. No Qt here.
//
// main reads the command line, then goes through the steps below in order:
// SetUp (what to check, the rescue's destination, the engine), Check (the
// check until it ends or a stop signal ends it), Rescue (with --rescue) and
// Report. The main thread waits on the engine's threads in a WaitLoop.
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <climits>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/check/check_options.h"
#include "app/check/json_report.h"
#include "app/check/terminal_window.h"
#include "app/check/wait_loop.h"
#include "engine/check_run.h"
#include "engine/rescue.h"
#include "engine/rescue_report.h"
#include "platform/drive_table.h"
#include "platform/process_env.h"
#include "platform/registry.h"
#include "platform/rescue_files.h"
#include "platform/volume_info.h"
#include "records/disk_info_store.h"
#include "records/drive_list.h"
#include "records/log_file.h"
#include "engine/settings.h"
#include "engine/system_services.h"
#include "res/text_table.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using check::kExitClean;
using check::kExitErrorsFound;
using check::kExitNoCheck;
using check::kExitPassedOver;

// After the first SIGINT or SIGTERM the check thread has this long to end
// by itself before the report is made without it (a read may be stuck in
// the kernel, where nothing can end it).
constexpr auto kStopGrace = 500ms;
// A cancelled rescue ends within a second; a stuck kernel gets no more.
constexpr auto kRescueCancelGrace = 1500ms;

class TableText : public engine::TextLookup {
 public:
  std::string Text(int id) const override { return res::LoadTextCopy(id); }
};

// Ends the process without running the destructors of objects that threads
// still inside the kernel may hold; everything worth keeping is written.
[[noreturn]] void Finish(int status) {
  std::fflush(nullptr);
  _exit(status);
}

// After a stop signal the program ends by that same signal once its report
// is out, so that a shell running it in a loop stops as well; the shell
// shows the status 128 + signal. _exit is the way out should it survive.
[[noreturn]] void FinishBySignal(int sig) {
  std::fflush(nullptr);
  struct sigaction byDefault{};
  byDefault.sa_handler = SIG_DFL;
  sigemptyset(&byDefault.sa_mask);
  ::sigaction(sig, &byDefault, nullptr);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, sig);
  pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
  ::raise(sig);
  _exit(128 + sig);
}

void PrintError(const std::string& text) {
  std::fprintf(stderr, "torvex-check: %s\n", text.c_str());
}

std::string Hex8(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08x", v);
  return buf;
}

std::string CurrentFolder() {
  std::vector<char> buf(PATH_MAX + 1);
  if (::getcwd(buf.data(), buf.size()) == nullptr) return std::string();
  return buf.data();
}

int ListDrives(const platform::DriveTable& table, bool json) {
  std::string out = json ? "{\n  \"format\": \"torvex-check drives\",\n  \"version\": 1,\n  \"drives\": [" : "";
  bool first = true;
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    const platform::Drive* d = table.Find(letter);
    if (d == nullptr) continue;
    platform::VolumeInfo info;
    const bool known = platform::GetVolumeInformation(table, std::string(1, letter) + ":\\", &info);
    const std::string kind = records::DriveKindName(d->kind);
    if (json) {
      out += first ? "\n" : ",\n";
      out += "    {\"letter\": " + check::JsonString(std::string(1, letter)) + ", \"kind\": " +
             check::JsonString(kind) + ", \"label\": " + (known ? check::JsonString(info.label) : "null") +
             ", \"serial\": " + (known ? check::JsonString(Hex8(info.serial)) : "null") +
             ", \"folder\": " + check::JsonString(d->path) + ", \"device\": " + check::JsonString(d->device) + "}";
    } else {
      out += std::string(1, letter) + ":\t" + kind + '\t' + (known ? info.label : "") + '\t' +
             (known ? Hex8(info.serial) : "") + '\t' + d->path + '\t' + d->device + '\n';
    }
    first = false;
  }
  if (json) out += first ? "]\n}\n" : "\n  ]\n}\n";
  std::fwrite(out.data(), 1, out.size(), stdout);
  return kExitClean;
}

// "D:", "d:", "D:\" name a drive; "D:\DATA" a folder of it in the window's
// notation; anything else is a folder of this system.
std::string WindowsPathOf(const std::string& target, const platform::DriveTable& table) {
  if (target.size() >= 2 && std::isalpha(static_cast<unsigned char>(target[0])) && target[1] == ':' &&
      (target.size() == 2 || target[2] == '\\')) {
    std::string path = target.size() == 2 ? target + "\\" : target;
    path[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
    while (path.size() > 3 && path.back() == '\\') path.pop_back();
    return path;
  }
  std::string absolute = target;
  if (absolute[0] != '/') absolute = CurrentFolder() + "/" + absolute;
  return table.FromNativePath(platform::CanonicalPath(absolute));
}

check::JsonRow ToJsonRow(const std::array<std::string, 4>& cells, const engine::TextLookup& text) {
  check::JsonRow r;
  r.name = cells[0];
  r.kindText = cells[1];
  r.folder = cells[3];
  if (cells[1] == text.Text(engine::kTextRead)) {
    r.kind = "read";
  } else if (cells[1] == text.Text(engine::kTextOpen)) {
    r.kind = "open";
  } else if (cells[1] == text.Text(engine::kTextSkipped)) {
    r.kind = "skipped";
  } else {
    r.kind = "no-memory";
  }
  if (!cells[2].empty()) r.position = std::stoll(cells[2]);
  return r;
}

// The rescue's listener: keeps the last progress and the report, and wakes
// the main loop through the pipe.
class TerminalRescue : public engine::RescueListener {
 public:
  explicit TerminalRescue(int wakeFd) : wakeFd_(wakeFd) {}
  void Progress(const engine::RescueProgress& p) override {
    {
      std::lock_guard lock(m_);
      progress_ = p;
    }
    Wake();
  }
  void Finished(const engine::RescueReport& r) override {
    {
      std::lock_guard lock(m_);
      report_ = r;
    }
    Wake();
  }
  std::optional<engine::RescueProgress> LastProgress() {
    std::lock_guard lock(m_);
    return progress_;
  }
  std::optional<engine::RescueReport> Report() {
    std::lock_guard lock(m_);
    return report_;
  }

 private:
  void Wake() {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &byte, 1);
  }
  const int wakeFd_;
  std::mutex m_;
  std::optional<engine::RescueProgress> progress_;
  std::optional<engine::RescueReport> report_;
};

const char* ResultName(engine::RescueOutcome::Kind kind) {
  switch (kind) {
    case engine::RescueOutcome::kWhole: return "whole";
    case engine::RescueOutcome::kPart: return "part";
    case engine::RescueOutcome::kNotOpened: return "not-opened";
    case engine::RescueOutcome::kNotWritten: return "not-written";
    case engine::RescueOutcome::kInTheWay: return "in-the-way";
    case engine::RescueOutcome::kNotDone: break;
  }
  return "not-done";
}

// SIGINT and SIGTERM are blocked in every thread (the engine's threads
// inherit the mask) and read from the descriptor returned (-1: none) by the
// main thread's wait: no work is ever done in a signal handler.
int BlockStopSignals() {
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  return signalfd(-1, &stopSignals, SFD_CLOEXEC | SFD_NONBLOCK);
}

// One run of the program: what the set-up made, and what the check and the
// rescue found, until the report tells it.
struct Run {
  check::CheckOptions o;
  std::shared_ptr<TableText> text;
  int signalFd = -1;
  int wake[2] = {-1, -1};  // the engine's threads write to wake[1]
  bool statusLine = false;
  check::JsonDocument doc;
  std::string windowsPath;  // what is checked, as the window names it
  std::string rescueTo;     // the rescue's destination, absolute; empty: none
  std::shared_ptr<check::TerminalWindow> window;
  std::shared_ptr<records::SystemRootPaths> rootPaths;
  // The readers the check leaves stuck count against the rescue too.
  std::shared_ptr<engine::StuckReaders> stuck = std::make_shared<engine::StuckReaders>();
  // Never destroyed: threads stuck in the kernel may hold it at the end.
  engine::ScanEngine* engine = nullptr;
  Clock::time_point started;
  Clock::time_point ended;
  int stopSignal = 0;
  int status = kExitClean;
};

// A check that cannot be made: status 2, and with --json still one document.
[[noreturn]] void GiveUp(Run& run, const std::vector<std::string>& messages) {
  run.doc.exitStatus = kExitNoCheck;
  if (run.o.json) {
    run.doc.messages = messages;
    const std::string out = check::FormatJson(run.doc);
    std::fwrite(out.data(), 1, out.size(), stdout);
  }
  Finish(kExitNoCheck);
}

void DescribeSettings(const check::CheckOptions& o, check::JsonDocument* doc) {
  doc->delaySeconds = o.delaySeconds;
  doc->fast = o.fast;
  doc->preScan = o.preScan;
  doc->priority = o.priority;
  doc->resume = o.resume == check::ResumeMode::kResume       ? "resume"
                : o.resume == check::ResumeMode::kCheckAgain ? "check-again"
                                                             : "none";
  doc->logFile = o.logFile;
  doc->language = o.language == 0 ? "ru" : "en";
}

// What to check, as the window names it.
void FindTarget(Run& run, const platform::DriveTable& table) {
  run.windowsPath = WindowsPathOf(run.o.target, table);
  const std::string& windowsPath = run.windowsPath;
  if (windowsPath.empty() || windowsPath.size() > records::kMaxStartFolder) {
    const std::string message = windowsPath.empty() ? run.text->Text(engine::kTextRootUnreadable)
                                                    : "the path is longer than " +
                                                          std::to_string(records::kMaxStartFolder) + " bytes";
    PrintError(message);
    GiveUp(run, {message});
  }
  const platform::Drive* drive = table.Find(windowsPath[0]);
  run.doc.letter = windowsPath[0];
  run.doc.startFolder = windowsPath;
  run.doc.wholeDisk = windowsPath.size() == 3;
  run.doc.cdrom = drive != nullptr && drive->kind == platform::kDriveCdrom;
  run.doc.folder = table.ToNativePath(windowsPath);
}

// The rescue's destination is looked at before a long check, not after.
void PrepareRescue(Run& run) {
  std::string& rescueTo = run.rescueTo;
  rescueTo = run.o.rescueTo;
  if (rescueTo.empty()) return;
  if (rescueTo[0] != '/') rescueTo = CurrentFolder() + "/" + rescueTo;
  // A folder not there yet is made, unless the nearest folder that is there
  // lies on the volume being read: nothing is ever written to it.
  std::string existing = rescueTo;
  while (!existing.empty() && ::access(existing.c_str(), F_OK) != 0) existing.resize(existing.rfind('/'));
  engine::DestinationProblem problem = engine::CheckDestination(existing.empty() ? "/" : existing, run.doc.folder);
  if (problem == engine::DestinationProblem::kNone) {
    if (existing != rescueTo) platform::MakeFolders(rescueTo);
    problem = engine::CheckDestination(rescueTo, run.doc.folder);
  }
  if (problem != engine::DestinationProblem::kNone) {
    const std::string message = problem == engine::DestinationProblem::kMissing
                                    ? engine::FillIn(run.text->Text(engine::kTextRescueNoFolder), {run.o.rescueTo})
                                    : run.text->Text(engine::kTextRescueOnVolume);
    PrintError(message);
    GiveUp(run, {message});
  }
}

std::shared_ptr<records::LogFile> OpenLog(const std::string& logFile) {
  if (logFile.empty()) return nullptr;
  std::string path = logFile;
  if (path[0] != '/') path = CurrentFolder() + "/" + path;
  const std::size_t slash = path.rfind('/');
  auto log = std::make_shared<records::LogFile>();
  log->SetFolder(slash == 0 ? "/" : path.substr(0, slash));
  // A new log begins with its header. A log that cannot be written never
  // stops a check; the engine tells why, once, on standard error.
  const int mode = ::access(path.c_str(), F_OK) == 0 ? engine::kLogAppend : engine::kLogOverwrite;
  log->OpenLog(path.substr(slash + 1), mode);
  return log;
}

// The engine with the terminal as its window, ready to start.
void MakeEngine(Run& run, const std::shared_ptr<platform::Registry>& registry) {
  const check::CheckOptions& o = run.o;
  auto settings = std::make_shared<engine::Settings>();
  settings->drive = run.windowsPath[0] - 'A';
  settings->cdromTarget = run.doc.cdrom;
  settings->delaySeconds = o.delaySeconds;
  settings->fastCheck = o.fast;
  settings->preScan = o.preScan;
  settings->priority = o.priority;
  settings->language = o.language;
  settings->createLog = !o.logFile.empty();
  settings->resumeEnabled = o.resume != check::ResumeMode::kNone;
  settings->sounds = false;

  const std::shared_ptr<records::LogFile> log = OpenLog(o.logFile);
  std::shared_ptr<records::DiskInfoStore> store;
  if (o.resume != check::ResumeMode::kNone) {
    store = std::make_shared<records::DiskInfoStore>();
    store->SetFolder(CurrentFolder());
    store->OpenStore("Torvex.tvd");
  }

  if (::pipe2(run.wake, O_CLOEXEC | O_NONBLOCK) != 0) {
    PrintError("cannot create a pipe");
    GiveUp(run, {});
  }
  check::TerminalWindow::Config config;
  config.printRows = !o.json;
  config.statusLine = run.statusLine;
  config.resumeAnswer = o.resume == check::ResumeMode::kResume ? engine::kIdContinue : engine::kIdCheckAgain;
  config.wakeFd = run.wake[1];
  config.language = o.language;
  run.window = std::make_shared<check::TerminalWindow>(config, run.text);

  engine::EngineDeps deps;
  deps.window = run.window;
  deps.settings = settings;
  deps.panels = std::make_shared<engine::PanelFlags>();
  deps.text = run.text;
  deps.log = log;
  deps.resume = store;
  run.rootPaths = std::make_shared<records::SystemRootPaths>(registry);
  deps.rootPaths = run.rootPaths;
  deps.volumes = std::make_shared<records::SystemVolumeQuery>(registry);
  deps.roots = std::make_shared<records::SystemRootCheck>(registry);
  deps.prefetcher = std::make_shared<engine::SystemPrefetcher>();
  deps.stuck = run.stuck;
  run.engine = new engine::ScanEngine(std::move(deps));
  if (!run.engine->HasBlockBuffer()) {
    PrintError(run.text->Text(engine::kTextNotEnoughMemory));
    GiveUp(run, {run.text->Text(engine::kTextNotEnoughMemory)});
  }
  run.engine->SetStartFolder(run.doc.wholeDisk ? std::string() : run.windowsPath);
}

// Everything before the check starts; --list-drives ends here, and so does
// a check that cannot be made.
Run SetUp(const check::CheckOptions& o, int signalFd) {
  Run run;
  run.o = o;
  run.signalFd = signalFd;
  run.statusLine = ::isatty(STDERR_FILENO) == 1;
  res::InterfaceLanguage = o.language;
  run.text = std::make_shared<TableText>();
  auto registry = std::make_shared<platform::Registry>();
  const platform::DriveTable table = platform::DriveTable::System(*registry);
  if (o.listDrives) Finish(ListDrives(table, o.json));

  DescribeSettings(o, &run.doc);
  FindTarget(run, table);
  PrepareRescue(run);
  MakeEngine(run, registry);
  return run;
}

// The check, until it ends by itself or a stop signal ends it; then its
// report, and the exit status it gives.
void Check(Run& run) {
  engine::ScanEngine* const engine = run.engine;
  check::TerminalWindow& window = *run.window;
  engine::ScanState& state = engine->State();
  run.started = Clock::now();
  // The disk is examined on the check thread; its questions are answered
  // from the command line, so nothing waits here for more than the drive.
  if (!engine->Start() || !engine->RunGoes(std::chrono::milliseconds::max())) {
    run.doc.label = state.disk.label;
    GiveUp(run, window.Messages());
  }
  run.doc.checked = true;
  run.doc.label = state.disk.label;
  run.doc.serial = state.disk.serial;
  run.doc.serialKnown = state.disk.serialKnown;
  run.doc.resumed = window.ResumeAsked() && run.o.resume == check::ResumeMode::kResume;

  // The loop stands in for the window's event loop: the one-second timer of
  // the engine, the status line, and the stop signals.
  check::WaitLoop loop;
  loop.signalFd = run.signalFd;
  loop.wakeFd = run.wake[0];
  loop.finished = [&] { return state.idle.Acquire(); };
  loop.stop = [&](int, bool first) -> Clock::duration {
    if (!first) return 0s;  // a second one: no more waiting
    // As Stop, and a remembered disk saves its progress now.
    engine->Stop();
    engine->Exit();
    return kStopGrace;
  };
  if (run.statusLine) loop.redraw = [&](Clock::time_point now) { window.DrawStatus(state, now); };
  loop.tick = [&] { engine->OnTimerTick(); };
  loop.firstTick = run.started + 1s;
  run.stopSignal = loop.Run();
  run.ended = Clock::now();

  // A record that could not be written is told first, then the report of
  // the run, with its figures as they stand.
  engine->TellRecordProblems();
  if (window.Report().empty()) {
    state.reportPending = false;
    engine->ShowCheckReport();
  }
  // Whatever still runs unwinds without the window and saves nothing more.
  engine->Close();
  window.ClearStatus();
  window.Close();

  const engine::DiskState& d = state.disk;
  run.status = d.readErrors + d.openErrors + d.otherErrors > 0 ? kExitErrorsFound
               : d.filesPassedOver > 0                            ? kExitPassedOver
                                                                  : kExitClean;
  if (run.stopSignal != 0) run.status = 128 + run.stopSignal;
}

struct RescueEnd {
  std::optional<engine::RescueReport> report;
  int stopSignal = 0;
};

// Copies the files of the rows with read errors to the destination, showing
// its progress on the status line, until it ends or a stop signal cancels it.
RescueEnd RunRescue(const std::vector<engine::RescueFile>& files, const engine::RescueOptions& options,
                    const Run& run) {
  RescueEnd end;
  const engine::TextLookup& text = *run.text;
  auto listener = std::make_shared<TerminalRescue>(run.wake[1]);
  // Never destroyed: readers stuck in the kernel may hold what it shares.
  auto* rescue = new engine::RescueRun(std::make_shared<engine::SystemThreads>(), listener, run.stuck);
  if (!rescue->Start(files, options)) {
    PrintError(text.Text(engine::kTextNotEnoughMemory));
    return end;
  }
  check::WaitLoop loop;
  loop.signalFd = run.signalFd;
  loop.wakeFd = run.wake[0];
  loop.finished = [&] { return listener->Report().has_value(); };
  loop.stop = [&](int, bool) -> Clock::duration {
    rescue->Cancel();
    return kRescueCancelGrace;
  };
  std::string shown;  // the status line as it stands
  if (run.statusLine) {
    loop.redraw = [&](Clock::time_point) {
      const auto p = listener->LastProgress();
      if (!p) return;
      const std::string line = "\r\x1b[K" + engine::RescueFileLine(*p, text) + " " + p->file + "  " +
                               engine::RescuePassLine(*p, text) + "  " + engine::RescueBytesLine(*p, text);
      if (line == shown) return;
      shown = line;
      std::fputs(line.c_str(), stderr);
      std::fflush(stderr);
    };
  }
  end.stopSignal = loop.Run();
  end.report = listener->Report();
  if (run.statusLine) std::fputs("\r\x1b[K", stderr);
  return end;
}

// The rescue of the files with read errors, once the check has ended by
// itself.
void Rescue(Run& run) {
  check::TerminalWindow* const window = run.window.get();
  const std::shared_ptr<TableText>& text = run.text;
  const std::shared_ptr<records::SystemRootPaths>& rootPaths = run.rootPaths;
  check::JsonDocument& doc = run.doc;

  std::vector<engine::RescueFile> files;
  const auto rows = window->Rows();
  const auto named = window->Files();
  for (std::size_t i = 0; i < rows.size() && i < named.size(); ++i) {
    const auto& cells = rows[i];
    if (cells[1] != text->Text(engine::kTextRead) || cells[3].size() < 2 || cells[3][1] != ':') continue;
    // The copy keeps the file's place below its drive's root.
    const std::string driveRoot = rootPaths->ToNativePath(std::string{cells[3][0], ':', '\\'});
    if (auto file = engine::RescueFileOfRow(named[i], driveRoot)) files.push_back(std::move(*file));
  }
  doc.rescued = true;
  doc.rescueDestination = run.rescueTo;
  if (files.empty()) {
    doc.rescueReport = text->Text(engine::kTextNothingToRescue);
    return;
  }
  engine::RescueOptions options;
  options.destination = run.rescueTo;
  options.delaySeconds = run.o.delaySeconds;
  options.priority = run.o.priority;
  options.extraPasses = run.o.passes;
  options.drive = run.windowsPath.substr(0, 2);
  const RescueEnd rescue = RunRescue(files, options, run);
  if (rescue.report) {
    doc.rescueReport = engine::RescueReportText(*rescue.report, *text, SIZE_MAX);
    doc.rescueCancelled = rescue.report->cancelled;
    for (const auto& f : rescue.report->files) {
      check::JsonRescueFile jf{f.relative, ResultName(f.kind), f.size, {}};
      for (const auto& a : f.missing) jf.missing.emplace_back(a.pos, a.size);
      doc.rescue.push_back(std::move(jf));
    }
  }
  if (rescue.stopSignal != 0) {
    run.stopSignal = rescue.stopSignal;
    run.status = 128 + run.stopSignal;
    doc.stoppedBy = run.stopSignal == SIGINT ? "SIGINT" : "SIGTERM";
  }
}

// The rows and the report, or the JSON document; then the end, by the stop
// signal when one came.
[[noreturn]] void Report(Run& run) {
  const check::TerminalWindow& window = *run.window;
  const engine::ScanState& state = run.engine->State();
  const engine::DiskState& d = state.disk;
  check::JsonDocument& doc = run.doc;
  const int stopSignal = run.stopSignal;
  if (run.o.json) {
    for (const auto& cells : window.Rows()) {
      if (cells[1].empty() && cells[0] == run.text->Text(engine::kTextNewDisk)) continue;
      doc.rows.push_back(ToJsonRow(cells, *run.text));
    }
    doc.filesChecked = d.filesChecked;
    doc.filesTotal = d.filesTotal;
    doc.counted = d.counted;
    doc.filesPassedOver = d.filesPassedOver;
    doc.otherVolumes = d.otherVolumes;
    doc.readErrors = d.readErrors;
    doc.openErrors = d.openErrors;
    doc.otherErrors = d.otherErrors;
    doc.bytesDone = d.bytesDone;
    doc.bytesTotal = d.bytesTotal;
    doc.bytesRead = state.bytesRead;
    if (d.bytesTotal != 0 || d.counted) doc.percent = d.percentShown.load();
    doc.elapsedSeconds = std::chrono::duration<double>(run.ended - run.started).count();
    if (doc.stoppedBy.empty()) doc.stoppedBy = stopSignal == SIGINT ? "SIGINT" : stopSignal == SIGTERM ? "SIGTERM" : "";
    doc.report = window.Report();
    doc.messages = window.Messages();
    doc.exitStatus = run.status;
    const std::string out = check::FormatJson(doc);
    std::fwrite(out.data(), 1, out.size(), stdout);
  } else {
    std::string report = window.Report();
    if (!report.empty() && report.back() != '\n') report += '\n';
    std::fwrite(report.data(), 1, report.size(), stdout);
    if (doc.rescued) {
      std::string told = "\n" + doc.rescueReport;
      if (told.back() != '\n') told += '\n';
      std::fwrite(told.data(), 1, told.size(), stdout);
    }
  }
  if (stopSignal != 0) FinishBySignal(stopSignal);
  Finish(run.status);
}

}  // namespace

int main(int argc, char* argv[]) {
  const int signalFd = BlockStopSignals();
  const check::CommandLine line =
      check::ReadCommandLine(std::vector<std::string>(argv + 1, argv + argc), TORVEX_VERSION);
  if (!line.options) {
    std::fputs(line.out.c_str(), stdout);
    std::fputs(line.err.c_str(), stderr);
    Finish(line.exitStatus);
  }
  if (signalFd < 0) {
    PrintError("cannot receive signals");
    Finish(kExitNoCheck);
  }
  check::CheckOptions options = *line.options;
  // Without --language, the user's locale chooses.
  if (options.language < 0) options.language = platform::LocaleLanguage(platform::SystemEnvironment());
  Run run = SetUp(options, signalFd);
  Check(run);
  if (!run.rescueTo.empty() && run.stopSignal == 0) Rescue(run);
  Report(run);
}
