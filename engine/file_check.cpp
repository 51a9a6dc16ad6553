#include "engine/file_check.h"

#include <new>

#include "engine/engine_context.h"
#include "engine/progress.h"
#include "engine/read_ahead.h"
#include "engine/reader.h"
#include "engine/reports.h"
#include "platform/ascii.h"

namespace engine {
namespace {

constexpr std::size_t kReaderStack = 512 * 1024;

// Waits until the reader ends or the watchdog reaches the delay time. True
// when the reader ended.
template <typename Ended>
bool WaitForReader(EngineContext& c, Ended ended) {
  return c.state.watchdog.WaitForReader(DelaySeconds(c.Settings()), [&c] { return c.Closed(); }, ended);
}

// A fresh reader for the next file, with a fresh buffer when the last one was
// given up. While every reader slot of the device is held by a reader stuck
// in the kernel, waits for one of them to return, up to the delay time. A
// device that gives none back in that time no longer answers: the run stops
// (false), and the file, never opened, is not reported. No reader (and true)
// when there is no memory for the buffer or the thread.
bool StartReader(const std::shared_ptr<EngineContext>& ctx) {
  EngineContext& c = *ctx;
  const bool slotFree = WaitForReader(
      c, [&] { return c.stuck->On(c.run.rootDevice) < kMaxAbandonedReaders || c.state.stopRequest; });
  if (c.Halted()) return false;
  if (!slotFree) {
    StopUnansweringDevice(c);
    return false;
  }
  if (!c.check.buffer) c.check.buffer = std::shared_ptr<Block>(new (std::nothrow) Block);
  if (c.check.buffer) {
    auto reader = std::make_shared<Reader>(ctx, c.check.buffer);
    if (c.Threads().StartThread([reader] { reader->Loop(); }, kReaderStack) == 0) c.check.reader = std::move(reader);
  }
  return true;
}

}  // namespace

void EndReader(EngineContext& c) {
  if (c.check.reader) c.check.reader->Quit();
  c.check.reader.reset();
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

  s.watchdog.Reset();
  if (!c.check.reader && !StartReader(ctx)) return FileResult::Stopped;

  if (!c.check.reader) {
    // No memory for the buffer or the reader thread.
    d.bytesDone = startDone + size;
    result = FileResult::NoMemory;
  } else {
    Reader& reader = *c.check.reader;
    // The watchdog starts before the reader can begin its first block.
    s.watchdog.Reset();
    reader.Take(name, size, PriorityPosition(c.Settings()));
    if (WaitForReader(c, [&] { return reader.Result().has_value(); })) {
      result = *reader.Result();
    } else if (reader.Abandon()) {
      // The read stalled: the file is a read error at the block it stalled
      // in. The reader ends on its own once its read returns.
      c.check.reader.reset();
      s.watchdog.Reset();
      d.bytesDone = startDone + size;
      result = FileResult::Read;
      c.check.buffer.reset();
      if (c.Closed()) return FileResult::Stopped;
    } else {
      result = *reader.Result();
    }
  }

  // A reader that the slider lowered and that may not come back up makes way
  // for a fresh one, started at the priority asked for now.
  if (c.check.reader && c.check.reader->KeptLower()) EndReader(c);

  // A disc that has shown a bad block gets no more read-ahead in this run:
  // from here on every request is the reader's own.
  if (result == FileResult::Read) {
    c.check.ahead = CheckThreadOwn::Ahead::kNever;
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
  if (c.Closed()) return result;
  ReportError(c, result, name, std::to_string(s.bytesReadInFile / 1024), s.currentFolder.Get());
  c.PlaySound(static_cast<int>(result));
  return result;
}

}  // namespace engine
