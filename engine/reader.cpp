#include "engine/reader.h"

#include <chrono>

#include "engine/blocks.h"
#include "engine/progress.h"
#include "platform/file_io.h"
#include "platform/thread.h"

namespace engine {
namespace {

// A first block that takes this long came from the device, not from the
// system's cache (which gives 32 KiB in a few microseconds).
constexpr std::chrono::microseconds kDeviceWait{40};

}  // namespace

void Reader::Take(const std::string& name, int64_t size, int priority) {
  hand_.Give(ctx_->run.rootDevice, true, [&] {
    name_ = name;
    size_ = size;
    priority_ = priority;
    result_.store(kNoResult, std::memory_order_relaxed);
  });
}

void Reader::ShowFileProgress(int percent, bool force) {
  if (!force && percent == lastFilePercent_) return;
  lastFilePercent_ = percent;
  ctx_->Window().SetProgress(kIdFileBar, percent);
  ctx_->Window().SetFieldText(kIdFilePercent, PercentText(percent));
}

void Reader::Loop() {
  while (hand_.Wait() && CheckOne()) {
  }
}

bool Reader::CheckOne() {
  std::unique_lock lock(hand_.Guard());
  fd_ = -1;
  lastFilePercent_ = 0;
  const int64_t startDone = ctx_->state.disk.bytesDone;
  std::optional<FileResult> result = Open(lock, startDone);
  if (!result && !hand_.AbandonedLocked()) result = ReadBlocks(lock, startDone);
  lock.unlock();
  // Closing may itself stall on a failing device: never under the guard.
  // The result stands only once the file is closed, so a close that outlasts
  // the delay gives the reader up like a stalled read; a reader given up
  // keeps its place among the stuck ones until its file is closed.
  platform::CloseFile(fd_);
  lock.lock();
  const bool kept = result && !hand_.AbandonedLocked();
  if (kept) {
    result_.store(static_cast<int>(*result), std::memory_order_release);
    hand_.SetBusyLocked(false);
  }
  lock.unlock();
  if (!kept) hand_.Ended();
  ctx_->state.watchdog.Wake();
  return kept;
}

std::optional<FileResult> Reader::Open(std::unique_lock<std::mutex>& lock, int64_t startDone) {
  EngineContext& c = *ctx_;
  DiskState& d = c.state.disk;
  const std::string name = name_;
  const int position = priority_;

  lock.unlock();
  // The thread keeps its priority from file to file; the system is asked
  // again only when the slider has moved.
  const int prio = c.Threads().SetReaderPriority(position);
  lock.lock();
  if (hand_.AbandonedLocked()) return std::nullopt;
  // A reader without its priority goes no further.
  if (prio == platform::kPriorityFailed) return FileResult::InternalError;
  if (prio == platform::kPriorityKeptLower) keptLower_.store(true, std::memory_order_release);
  lock.unlock();

  fd_ = platform::OpenFileForReading(name);

  lock.lock();
  if (hand_.AbandonedLocked()) return std::nullopt;
  if (fd_ < 0) {
    d.bytesDone = startDone + size_;
    return FileResult::Open;
  }
  if (size_ == 0) return FileResult::Ok;
  return std::nullopt;
}

std::optional<FileResult> Reader::ReadBlocks(std::unique_lock<std::mutex>& lock, int64_t startDone) {
  EngineContext& c = *ctx_;
  ScanState& s = c.state;
  DiskState& d = s.disk;
  const int64_t size = size_;

  s.bytesReadInFile = 0;
  s.skipRequest = false;
  int64_t done = 0;
  long length = BlockLength(size, 0);
  if (c.Panels().showProgress) ShowFileProgress(0, true);

  for (;;) {
    if (s.skipRequest || c.Halted()) {
      d.bytesDone = startDone + size;
      return FileResult::Skipped;
    }
    s.watchdog.Reset();
    lock.unlock();

    bool endOfFile = false;
    const bool first = done == 0;
    const auto began = first ? std::chrono::steady_clock::now() : std::chrono::steady_clock::time_point();
    const long got = platform::ReadBlock(fd_, buffer_->data, length, &endOfFile);
    const bool waited = first && std::chrono::steady_clock::now() - began >= kDeviceWait;

    lock.lock();
    if (hand_.AbandonedLocked()) return std::nullopt;
    if (first) c.deviceWaits.Note(waited);
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
    const int64_t over = PassedOver(size, done, c.Settings().fastCheck);
    if (over != 0) {
      platform::SkipForward(fd_, over);
      inFile += over;
      done += over;
      diskDone += over;
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
    length = BlockLength(size, done);
  }
}

}  // namespace engine
