// The file check and its reader. Every file is read on the reader thread
// while the check thread watches it against the delay time. The reader lives
// across files: once it has finished one it waits for the next. A reader that
// stalls inside a read cannot be ended on Linux, so it is abandoned: it keeps
// its own buffer and descriptor, and a guard tells it, when its read finally
// returns, that it must touch nothing shared any more and end; the next file
// gets a fresh reader.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <new>
#include <optional>

#include "engine/engine_context.h"
#include "engine/progress.h"
#include "engine/read_ahead.h"
#include "platform/ascii.h"
#include "platform/file_io.h"
#include "platform/thread.h"

namespace engine {

class Reader {
 public:
  Reader(std::shared_ptr<EngineContext> ctx, std::shared_ptr<Block> buffer)
      : ctx_(std::move(ctx)), buffer_(std::move(buffer)) {}

  // The reader thread: one file after another until the run ends or the
  // reader is given up.
  void Loop();

  // Hands the next file over (check thread, while no file is being read).
  void Take(const std::string& name, int64_t size, int priority) {
    {
      std::lock_guard lock(guard_);
      device_ = ctx_->run.rootDevice;
      name_ = name;
      size_ = size;
      priority_ = priority;
      exitCode_.store(kStillActive, std::memory_order_relaxed);
      hasFile_ = true;
    }
    mail_.Notify();
  }

  // The result of the file handed over; kStillActive while it is read.
  int ExitCode() const { return exitCode_.load(std::memory_order_acquire); }

  // Gives the reader up. False when it had already ended its file; its
  // result stands then.
  bool Abandon() {
    std::lock_guard lock(guard_);
    if (ExitCode() != kStillActive) return false;
    abandoned_ = true;
    ctx_->NoteStuck(device_, 1);
    return true;
  }

  // This thread could not come back up to the priority the slider asks for:
  // a fresh reader takes the next file (check thread, after a file).
  bool KeptLower() const { return keptLower_.load(std::memory_order_acquire); }

  // No more files: the thread ends (check thread, while no file is read).
  void Quit() {
    {
      std::lock_guard lock(guard_);
      quit_ = true;
    }
    mail_.Notify();
  }

  static constexpr int kStillActive = 259;

 private:
  // Waits for the next file; false when the run is over.
  bool NextFile();
  // Reads the file handed over, closes it and gives the result; false when
  // the reader was given up meanwhile.
  bool CheckOne();
  // Reads the file. Called and returning with the guard held; returns no
  // result once the reader finds it has been given up.
  std::optional<FileResult> Read(std::unique_lock<std::mutex>& lock);
  void ShowFileProgress(int percent, bool force);

  std::shared_ptr<EngineContext> ctx_;
  std::shared_ptr<Block> buffer_;
  platform::WakeSignal mail_;  // raised when a file is handed over or the run ends

  std::mutex guard_;  // held while the reader changes shared state
  // Under guard_:
  std::string name_;
  int64_t size_ = 0;
  int priority_ = 3;
  uint64_t device_ = 0;  // the device of the run the file belongs to
  bool hasFile_ = false;
  bool quit_ = false;
  bool abandoned_ = false;

  // The reader thread's own:
  int fd_ = -1;
  int lastFilePercent_ = 0;

  std::atomic<int> exitCode_{kStillActive};
  std::atomic<bool> keptLower_{false};
};

namespace {

constexpr int kStillActive = Reader::kStillActive;
constexpr std::size_t kReaderStack = 512 * 1024;
// A first block that takes this long came from the device, not from the
// system's cache (which gives 32 KiB in a few microseconds).
constexpr std::chrono::microseconds kDeviceWait{40};

}  // namespace

void Reader::ShowFileProgress(int percent, bool force) {
  if (!force && percent == lastFilePercent_) return;
  lastFilePercent_ = percent;
  ctx_->Window().SetProgress(kIdFileBar, percent);
  ctx_->Window().SetFieldText(kIdFilePercent, PercentText(percent));
}

void Reader::Loop() {
  while (NextFile() && CheckOne()) {
  }
}

bool Reader::NextFile() {
  for (;;) {
    const uint32_t seq = mail_.Seq();
    {
      std::lock_guard lock(guard_);
      if (quit_) return false;
      if (hasFile_) {
        hasFile_ = false;
        return true;
      }
    }
    mail_.Wait(seq);
  }
}

bool Reader::CheckOne() {
  std::unique_lock lock(guard_);
  fd_ = -1;
  lastFilePercent_ = 0;
  const std::optional<FileResult> result = Read(lock);
  lock.unlock();
  // Closing may itself stall on a failing device: never under the guard.
  // The result stands only once the file is closed, so a close that outlasts
  // the delay gives the reader up like a stalled read; an abandoned reader
  // keeps its place among the stuck ones until its file is closed.
  platform::CloseFile(fd_);
  lock.lock();
  const bool kept = result && !abandoned_;
  if (kept) {
    exitCode_.store(static_cast<int>(*result), std::memory_order_release);
  } else {
    ctx_->NoteStuck(device_, -1);
  }
  lock.unlock();
  ctx_->Wake();
  return kept;
}

std::optional<FileResult> Reader::Read(std::unique_lock<std::mutex>& lock) {
  EngineContext& c = *ctx_;
  ScanState& s = c.state;
  DiskState& d = s.disk;
  const std::string name = name_;
  const int64_t size = size_;
  const int position = priority_;

  lock.unlock();
  // The thread keeps its priority from file to file; the system is asked
  // again only when the slider has moved.
  const int prio = c.Threads().SetReaderPriority(position);
  lock.lock();
  if (abandoned_) return std::nullopt;
  // A reader without its priority goes no further.
  if (prio == platform::kPriorityFailed) return FileResult::InternalError;
  if (prio == platform::kPriorityKeptLower) keptLower_.store(true, std::memory_order_release);
  const int64_t startDone = d.bytesDone;
  lock.unlock();

  fd_ = platform::OpenFileForReading(name);

  lock.lock();
  if (abandoned_) return std::nullopt;
  if (fd_ < 0) {
    d.bytesDone = startDone + size;
    return FileResult::Open;
  }
  if (size == 0) return FileResult::Ok;

  s.bytesReadInFile = 0;
  s.skipRequest = false;
  int64_t done = 0;
  long length = static_cast<long>(std::min<int64_t>(size, kBlockSize));
  if (c.Panels().showProgress) ShowFileProgress(0, true);

  for (;;) {
    if (s.skipRequest || c.Halted()) {
      d.bytesDone = startDone + size;
      return FileResult::Skipped;
    }
    s.watchdog = 0;
    lock.unlock();

    bool endOfFile = false;
    const bool first = done == 0;
    const auto began = first ? std::chrono::steady_clock::now() : std::chrono::steady_clock::time_point();
    const long got = platform::ReadBlock(fd_, buffer_->data, length, &endOfFile);
    const bool waited = first && std::chrono::steady_clock::now() - began >= kDeviceWait;

    lock.lock();
    if (abandoned_) return std::nullopt;
    if (first) c.NoteFirstRead(waited);
    if (got < 0) {
      // The position stays where this block began.
      d.bytesDone = startDone + size;
      return FileResult::Read;
    }
    // The counts grow by the length asked for, whatever the read returned.
    // While a reader runs it is the only one that moves them, so plain
    // stores do (no locked read-modify-write per block).
    int64_t inFile = s.bytesReadInFile.load() + length;
    int64_t diskDone = d.bytesDone.load();
    done += length;
    s.bytesRead = s.bytesRead.load() + length;
    if (c.Settings().fastCheck && size - done > kFastSkip) {
      platform::SkipForward(fd_, kFastSkip);
      inFile += kFastSkip;
      done += kFastSkip;
      diskDone += kFastSkip;
    }
    const bool last = length < kBlockSize || endOfFile;
    // A file that ended before its listed size still counts whole, so the
    // disk reaches 100 % once every file is checked.
    d.bytesDone = last ? startDone + size : diskDone + length;
    s.bytesReadInFile = inFile;

    const bool showProgress = c.Panels().showProgress;
    if (showProgress) ShowFileProgress(PercentOf(done, size), false);
    UpdateDiskPercent(c);

    if (last) {
      if (showProgress) ShowFileProgress(100, true);
      return FileResult::Ok;
    }
    length = static_cast<long>(std::min<int64_t>(size - done, kBlockSize));
  }
}

namespace {

// Waits until the reader ends or the watchdog reaches the delay time. Returns
// true when the reader ended. Sleeps between wake-ups: no polling.
template <typename Ended>
bool WaitForReader(EngineContext& c, Ended ended) {
  for (;;) {
    const uint32_t seq = c.wake.Seq();
    if (c.closed) return false;
    if (c.state.watchdog >= records::DelaySeconds(c.Settings())) return false;
    if (ended()) return true;
    c.wake.Wait(seq);
  }
}

}  // namespace

void UpdateDiskPercent(EngineContext& c) {
  DiskState& d = c.state.disk;
  if (d.bytesTotal == 0) return;
  const int disk = DiskPercent(d.bytesDone, d.bytesTotal);
  if (!c.Panels().showProgress) {
    d.percentShown = disk;
    return;
  }
  d.percentComputed = disk;
  if (disk != d.percentShown) {
    d.percentShown = disk;
    c.Window().SetProgress(kIdDiskBar, disk);
    c.Window().SetFieldText(kIdDiskPercent, PercentText(disk));
  }
}

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
  DiskState& d = c.state.disk;
  const bool log = c.deps.log && c.run.createLog;
  int logged = 0;
  switch (result) {
    case FileResult::Read:
      if (log) logged = c.deps.log->WriteErrorLine(name, "Read", position, folder);
      c.Window().AddRow({name, c.Text(kTextRead), position, folder});
      ++d.readErrors;
      break;
    case FileResult::Open:
      if (log) logged = c.deps.log->WriteErrorLine(name, "Open", "", folder);
      c.Window().AddRow({name, c.Text(kTextOpen), "", folder});
      ++d.openErrors;
      break;
    case FileResult::Skipped:
      c.Window().AddRow({name, c.Text(kTextSkipped), position, folder});
      ++d.otherErrors;
      if (log) logged = c.deps.log->WriteErrorLine(name, "Skipped", position, folder);
      break;
    case FileResult::NoMemory:
      c.Window().AddRow({name, c.Text(kTextNoMemory), "", folder});
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
  c.Window().ShowMessage(FillIn(c.Text(kTextDeviceNotAnswering), {drive}), "Torvex error", kMsgError);
}

int SystemThreads::StartThread(std::function<void()> fn, std::size_t stackSize) {
  return platform::StartDetachedThread(std::move(fn), stackSize);
}

int SystemThreads::SetReaderPriority(int position) {
  // A reader thread keeps its priority from file to file: the system is asked
  // only for a new thread, after a failure, or when the slider has moved.
  thread_local int given = -1;
  thread_local int givenResult = platform::kPriorityExact;
  if (position == given) return givenResult;
  const int result = platform::SetCurrentThreadPriority(position);
  given = result == platform::kPriorityFailed ? -1 : position;
  givenResult = result;
  return result;
}

void SystemThreads::KeepOnProcessor() { platform::KeepCurrentThreadOnItsCpu(); }
void SystemThreads::FreeProcessor() { platform::FreeCurrentThreadCpus(); }

void EndReader(EngineContext& c) {
  if (c.reader) c.reader->Quit();
  c.reader.reset();
}

void EndReadAhead(EngineContext& c) {
  if (c.readAhead) c.readAhead->End();
  c.readAhead.reset();
}

FileResult CheckFile(const std::shared_ptr<EngineContext>& ctx, const std::string& name, int64_t size) {
  EngineContext& c = *ctx;
  ScanState& s = c.state;
  DiskState& d = s.disk;
  if (c.Halted()) return FileResult::Stopped;

  if (c.Panels().showCurrent) c.Window().SetFieldText(kIdCurrentFile, platform::VisibleText(name));
  const int64_t startDone = d.bytesDone;
  s.bytesReadInFile = 0;

  FileResult result;

  // While every reader slot is held by a reader stuck in the kernel, wait for
  // one of them to return, up to the delay time. A device that gives none
  // back in that time no longer answers: the run stops, and this file, never
  // opened, is not reported.
  s.watchdog = 0;
  if (!c.reader) {
    const bool slotFree = WaitForReader(
        c, [&] { return c.StuckOn(c.run.rootDevice) < kMaxAbandonedReaders || c.state.stopRequest; });
    if (c.Halted()) return FileResult::Stopped;
    if (!slotFree) {
      StopUnansweringDevice(c);
      return FileResult::Stopped;
    }
    // A fresh reader, with a fresh buffer when the last one was given up.
    if (!c.buffer) c.buffer = std::shared_ptr<Block>(new (std::nothrow) Block);
    if (c.buffer) {
      auto reader = std::make_shared<Reader>(ctx, c.buffer);
      if (c.Threads().StartThread([reader] { reader->Loop(); }, kReaderStack) == 0) c.reader = std::move(reader);
    }
  }

  if (!c.reader) {
    // No memory for the buffer or the reader thread.
    d.bytesDone = startDone + size;
    result = FileResult::NoMemory;
  } else {
    Reader& reader = *c.reader;
    // The watchdog starts before the reader can begin its first block.
    s.watchdog = 0;
    reader.Take(name, size, records::PriorityPosition(c.Settings()));
    if (WaitForReader(c, [&] { return reader.ExitCode() != kStillActive; })) {
      result = static_cast<FileResult>(reader.ExitCode());
    } else if (reader.Abandon()) {
      // The read stalled: the file is a read error at the block it stalled
      // in. The reader ends on its own once its read returns.
      c.reader.reset();
      s.watchdog = 0;
      d.bytesDone = startDone + size;
      result = FileResult::Read;
      c.buffer.reset();
      if (c.closed) return FileResult::Stopped;
    } else {
      result = static_cast<FileResult>(reader.ExitCode());
    }
  }

  // A reader that the slider lowered and that may not come back up makes way
  // for a fresh one, started at the priority asked for now.
  if (c.reader && c.reader->KeptLower()) EndReader(c);

  // A disc that has shown a bad block gets no more read-ahead in this run:
  // from here on every request is the reader's own.
  if (result == FileResult::Read) {
    c.ahead = EngineContext::Ahead::kNever;
    EndReadAhead(c);
  }

  // A file that ended in an error, a skip or a stall counts whole: the disk
  // percent follows, so that the last file of a disk can bring it to 100.
  if (result != FileResult::InternalError) UpdateDiskPercent(c);

  if (result == FileResult::InternalError) {
    c.Window().ShowMessage("Thread set priority failed.\nIf you got this error, please, report to Quillon",
                           "Torvex Internal Error (002)", kMsgError);
    return result;
  }

  // A closing window records nothing more: no row, log line or sound.
  if (c.closed) return result;
  ReportError(c, result, name, std::to_string(s.bytesReadInFile / 1024), s.currentFolder.Get());
  c.PlaySound(static_cast<int>(result));
  return result;
}

}  // namespace engine
