// torvex-check: the scan engine, the records and the platform layer behind
// a terminal. It checks one start folder or one drive of the drive table,
// prints every error row as it comes and the report at the end, and tells
// the result by its exit status. No Qt here.
#include <fcntl.h>
#include <poll.h>
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
#include "engine/check_run.h"
#include "engine/rescue.h"
#include "engine/rescue_report.h"
#include "platform/drive_table.h"
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

constexpr int kExitClean = 0;
constexpr int kExitErrorsFound = 1;
constexpr int kExitNoCheck = 2;
// No file read had an error, but files an earlier run checked were passed
// over (--resume): they were not read now.
constexpr int kExitPassedOver = 3;
// After the first SIGINT or SIGTERM the check thread has this long to end
// by itself before the report is made without it (a read may be stuck in
// the kernel, where nothing can end it).
constexpr auto kStopGrace = 500ms;

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

struct RescueEnd {
  std::optional<engine::RescueReport> report;
  int stopSignal = 0;
};

// Copies the files of the rows with read errors to the destination, showing
// its progress on the status line, until it ends or a stop signal cancels it.
RescueEnd RunRescue(const std::vector<engine::RescueFile>& files, const engine::RescueOptions& options,
                    const std::shared_ptr<engine::StuckReaders>& stuck, int signalFd, int wakeRead, int wakeWrite,
                    bool statusLine, const engine::TextLookup& text) {
  RescueEnd end;
  auto listener = std::make_shared<TerminalRescue>(wakeWrite);
  // Never destroyed: readers stuck in the kernel may hold what it shares.
  auto* run = new engine::RescueRun(std::make_shared<engine::SystemThreads>(), listener, stuck);
  if (!run->Start(files, options)) {
    PrintError(text.Text(engine::kTextNotEnoughMemory));
    return end;
  }
  Clock::time_point deadline = Clock::time_point::max();
  for (;;) {
    pollfd fds[2] = {{signalFd, POLLIN, 0}, {wakeRead, POLLIN, 0}};
    const auto left = deadline == Clock::time_point::max()
                          ? -1
                          : static_cast<int>(std::max<long long>(
                                0, std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count()));
    ::poll(fds, 2, left);
    char drain[64];
    while (::read(wakeRead, drain, sizeof drain) > 0) {
    }
    signalfd_siginfo info{};
    while (::read(signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
      if (end.stopSignal == 0) end.stopSignal = static_cast<int>(info.ssi_signo);
      run->Cancel();
      // Cancel ends the rescue within a second; a stuck kernel gets no more.
      deadline = std::min(deadline, Clock::now() + 1500ms);
    }
    end.report = listener->Report();
    if (end.report || Clock::now() >= deadline) break;
    if (statusLine) {
      if (const auto p = listener->LastProgress()) {
        const std::string line = "\r\x1b[K" + engine::RescueFileLine(*p, text) + " " + p->file + "  " +
                                 engine::RescuePassLine(*p, text) + "  " + engine::RescueBytesLine(*p, text);
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
      }
    }
  }
  if (statusLine) std::fputs("\r\x1b[K", stderr);
  return end;
}

}  // namespace

int main(int argc, char* argv[]) {
  // SIGINT and SIGTERM are blocked in every thread (the engine's threads
  // inherit the mask) and read from a descriptor by the main loop: no work
  // is ever done in a signal handler.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  const int signalFd = signalfd(-1, &stopSignals, SFD_CLOEXEC | SFD_NONBLOCK);

  std::string error;
  const auto parsed = check::ParseCheckOptions(std::vector<std::string>(argv + 1, argv + argc), &error);
  if (!parsed) {
    PrintError(error);
    std::fputs("Try 'torvex-check --help'.\n", stderr);
    Finish(kExitNoCheck);
  }
  const check::CheckOptions& o = *parsed;
  if (o.help) {
    std::fputs(check::UsageText().c_str(), stdout);
    Finish(kExitClean);
  }
  if (o.version) {
    std::puts("torvex-check " TORVEX_VERSION);
    Finish(kExitClean);
  }
  if (signalFd < 0) {
    PrintError("cannot receive signals");
    Finish(kExitNoCheck);
  }

  res::InterfaceLanguage = o.language;
  const auto text = std::make_shared<TableText>();
  auto registry = std::make_shared<platform::Registry>();
  const platform::DriveTable table = platform::DriveTable::System(*registry);
  if (o.listDrives) Finish(ListDrives(table, o.json));

  check::JsonDocument doc;
  doc.delaySeconds = o.delaySeconds;
  doc.fast = o.fast;
  doc.preScan = o.preScan;
  doc.priority = o.priority;
  doc.resume = o.resume == check::ResumeMode::kResume       ? "resume"
               : o.resume == check::ResumeMode::kCheckAgain ? "check-again"
                                                            : "none";
  doc.logFile = o.logFile;
  doc.language = o.language == 0 ? "ru" : "en";
  const auto giveUp = [&](const std::vector<std::string>& messages) {
    doc.exitStatus = kExitNoCheck;
    if (o.json) {
      doc.messages = messages;
      const std::string out = check::FormatJson(doc);
      std::fwrite(out.data(), 1, out.size(), stdout);
    }
    Finish(kExitNoCheck);
  };

  // What to check, as the window names it.
  const std::string windowsPath = WindowsPathOf(o.target, table);
  if (windowsPath.empty() || windowsPath.size() > records::kMaxStartFolder) {
    const std::string message = windowsPath.empty() ? text->Text(engine::kTextRootUnreadable)
                                                    : "the path is longer than " +
                                                          std::to_string(records::kMaxStartFolder) + " bytes";
    PrintError(message);
    giveUp({message});
  }
  const char letter = windowsPath[0];
  const platform::Drive* drive = table.Find(letter);
  const bool wholeDisk = windowsPath.size() == 3;
  doc.letter = letter;
  doc.startFolder = windowsPath;
  doc.wholeDisk = wholeDisk;
  doc.cdrom = drive != nullptr && drive->kind == platform::kDriveCdrom;
  doc.folder = table.ToNativePath(windowsPath);

  // The rescue's destination is looked at before a long check, not after.
  std::string rescueTo = o.rescueTo;
  if (!rescueTo.empty()) {
    if (rescueTo[0] != '/') rescueTo = CurrentFolder() + "/" + rescueTo;
    // A folder not there yet is made, unless the nearest folder that is there
    // lies on the volume being read: nothing is ever written to it.
    std::string existing = rescueTo;
    while (!existing.empty() && ::access(existing.c_str(), F_OK) != 0) existing.resize(existing.rfind('/'));
    engine::DestinationProblem problem = engine::CheckDestination(existing.empty() ? "/" : existing, doc.folder);
    if (problem == engine::DestinationProblem::kNone) {
      if (existing != rescueTo) platform::MakeFolders(rescueTo);
      problem = engine::CheckDestination(rescueTo, doc.folder);
    }
    if (problem != engine::DestinationProblem::kNone) {
      const std::string message = problem == engine::DestinationProblem::kMissing
                                      ? engine::FillIn(text->Text(engine::kTextRescueNoFolder), {o.rescueTo})
                                      : text->Text(engine::kTextRescueOnVolume);
      PrintError(message);
      giveUp({message});
    }
  }

  auto settings = std::make_shared<engine::Settings>();
  settings->drive = letter - 'A';
  settings->cdromTarget = doc.cdrom;
  settings->delaySeconds = o.delaySeconds;
  settings->fastCheck = o.fast;
  settings->preScan = o.preScan;
  settings->priority = o.priority;
  settings->language = o.language;
  settings->createLog = !o.logFile.empty();
  settings->resumeEnabled = o.resume != check::ResumeMode::kNone;
  settings->sounds = false;

  std::shared_ptr<records::LogFile> log;
  if (!o.logFile.empty()) {
    std::string path = o.logFile;
    if (path[0] != '/') path = CurrentFolder() + "/" + path;
    const std::size_t slash = path.rfind('/');
    log = std::make_shared<records::LogFile>();
    log->SetFolder(slash == 0 ? "/" : path.substr(0, slash));
    // A new log begins with its header. A log that cannot be written never
    // stops a check; the engine tells why, once, on standard error.
    const int mode = ::access(path.c_str(), F_OK) == 0 ? engine::kLogAppend : engine::kLogOverwrite;
    log->OpenLog(path.substr(slash + 1), mode);
  }
  std::shared_ptr<records::DiskInfoStore> store;
  if (o.resume != check::ResumeMode::kNone) {
    store = std::make_shared<records::DiskInfoStore>();
    store->SetFolder(CurrentFolder());
    store->OpenStore("Torvex.tvd");
  }

  int wake[2] = {-1, -1};
  if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
    PrintError("cannot create a pipe");
    giveUp({});
  }
  check::TerminalWindow::Config config;
  config.printRows = !o.json;
  config.statusLine = ::isatty(STDERR_FILENO) == 1;
  config.resumeAnswer = o.resume == check::ResumeMode::kResume ? engine::kIdContinue : engine::kIdCheckAgain;
  config.wakeFd = wake[1];
  config.language = o.language;
  auto window = std::make_shared<check::TerminalWindow>(config, text);

  engine::EngineDeps deps;
  deps.window = window;
  deps.settings = settings;
  deps.panels = std::make_shared<engine::PanelFlags>();
  deps.text = text;
  deps.log = log;
  deps.resume = store;
  const auto rootPaths = std::make_shared<records::SystemRootPaths>(registry);
  deps.rootPaths = rootPaths;
  deps.volumes = std::make_shared<records::SystemVolumeQuery>(registry);
  deps.roots = std::make_shared<records::SystemRootCheck>(registry);
  deps.prefetcher = std::make_shared<engine::SystemPrefetcher>();
  // The readers the check leaves stuck count against the rescue too.
  const auto stuck = std::make_shared<engine::StuckReaders>();
  deps.stuck = stuck;
  // Never destroyed: threads stuck in the kernel may hold it at the end.
  auto* engine = new engine::ScanEngine(std::move(deps));
  if (!engine->HasBlockBuffer()) {
    PrintError(text->Text(engine::kTextNotEnoughMemory));
    giveUp({text->Text(engine::kTextNotEnoughMemory)});
  }
  engine->SetStartFolder(wholeDisk ? std::string() : windowsPath);

  engine::ScanState& state = engine->State();
  const Clock::time_point started = Clock::now();
  if (!engine->Start()) {
    doc.label = state.disk.label;
    giveUp(window->Messages());
  }
  doc.checked = true;
  doc.label = state.disk.label;
  doc.serial = state.disk.serial;
  doc.serialKnown = state.disk.serialKnown;
  doc.resumed = window->ResumeAsked() && o.resume == check::ResumeMode::kResume;

  // The main loop stands in for the window's event loop: the one-second
  // timer of the engine, the status line, and the stop signals.
  int stopSignal = 0;
  Clock::time_point stopDeadline = Clock::time_point::max();
  Clock::time_point nextTick = started + 1s;
  while (!state.idle.Acquire()) {
    const Clock::time_point now = Clock::now();
    Clock::time_point until = std::min(nextTick, stopDeadline);
    if (config.statusLine) until = std::min(until, now + check::TerminalWindow::kStatusPeriod);
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(std::max(until - now, Clock::duration::zero()));
    pollfd fds[2] = {{signalFd, POLLIN, 0}, {wake[0], POLLIN, 0}};
    ::poll(fds, 2, static_cast<int>(wait.count()));
    char drain[64];
    while (::read(wake[0], drain, sizeof drain) > 0) {
    }
    signalfd_siginfo info{};
    while (::read(signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
      if (stopSignal == 0) {
        // As Stop, and a remembered disk saves its progress now.
        stopSignal = static_cast<int>(info.ssi_signo);
        engine->Stop();
        engine->Exit();
        stopDeadline = Clock::now() + kStopGrace;
      } else {
        stopDeadline = Clock::now();  // a second one: no more waiting
      }
    }
    const Clock::time_point after = Clock::now();
    if (after >= nextTick) {
      engine->OnTimerTick();
      nextTick = std::max(nextTick + 1s, after + 1ms);
    }
    window->DrawStatus(state, after);
    if (after >= stopDeadline) break;
  }
  const Clock::time_point ended = Clock::now();
  // A record that could not be written is told first, then the report of
  // the run, with its figures as they stand.
  engine->TellRecordProblems();
  if (window->Report().empty()) {
    state.reportPending = false;
    engine->ShowCheckReport();
  }
  // Whatever still runs unwinds without the window and saves nothing more.
  engine->Close();
  window->ClearStatus();
  window->Close();

  const engine::DiskState& d = state.disk;
  int status = d.readErrors + d.openErrors + d.otherErrors > 0 ? kExitErrorsFound
               : d.filesPassedOver > 0                            ? kExitPassedOver
                                                                  : kExitClean;
  if (stopSignal != 0) status = 128 + stopSignal;

  // The rescue of the files with read errors, once the check has ended by
  // itself.
  RescueEnd rescue;
  if (!rescueTo.empty() && stopSignal == 0) {
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
    doc.rescueDestination = rescueTo;
    if (files.empty()) {
      doc.rescueReport = text->Text(engine::kTextNothingToRescue);
    } else {
      engine::RescueOptions options;
      options.destination = rescueTo;
      options.delaySeconds = o.delaySeconds;
      options.priority = o.priority;
      options.extraPasses = o.passes;
      options.drive = windowsPath.substr(0, 2);
      rescue = RunRescue(files, options, stuck, signalFd, wake[0], wake[1], config.statusLine, *text);
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
        stopSignal = rescue.stopSignal;
        status = 128 + stopSignal;
        doc.stoppedBy = stopSignal == SIGINT ? "SIGINT" : "SIGTERM";
      }
    }
  }

  if (o.json) {
    for (const auto& cells : window->Rows()) {
      if (cells[1].empty() && cells[0] == text->Text(engine::kTextNewDisk)) continue;
      doc.rows.push_back(ToJsonRow(cells, *text));
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
    doc.elapsedSeconds = std::chrono::duration<double>(ended - started).count();
    if (doc.stoppedBy.empty()) doc.stoppedBy = stopSignal == SIGINT ? "SIGINT" : stopSignal == SIGTERM ? "SIGTERM" : "";
    doc.report = window->Report();
    doc.messages = window->Messages();
    doc.exitStatus = status;
    const std::string out = check::FormatJson(doc);
    std::fwrite(out.data(), 1, out.size(), stdout);
  } else {
    std::string report = window->Report();
    if (!report.empty() && report.back() != '\n') report += '\n';
    std::fwrite(report.data(), 1, report.size(), stdout);
    if (doc.rescued) {
      std::string told = "\n" + doc.rescueReport;
      if (told.back() != '\n') told += '\n';
      std::fwrite(told.data(), 1, told.size(), stdout);
    }
  }
  if (stopSignal != 0) FinishBySignal(stopSignal);
  Finish(status);
}
