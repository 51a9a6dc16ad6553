#pragma once
// The run state shared by the UI thread, the check thread and the reader.
// Flags and counters are relaxed shared words; the two texts that the UI
// thread may read while the check thread writes them are guarded texts.
#include <cstdint>
#include <mutex>
#include <string>

#include "engine/watchdog.h"
#include "platform/relaxed.h"

namespace engine {

using platform::Relaxed;

// A text written by one thread and read by another.
class SharedText {
 public:
  SharedText() = default;
  SharedText(const SharedText&) = delete;
  SharedText& operator=(const SharedText&) = delete;

  std::string Get() const {
    std::lock_guard lock(m_);
    return s_;
  }
  void Set(std::string s) {
    std::lock_guard lock(m_);
    s_ = std::move(s);
  }

 private:
  mutable std::mutex m_;
  std::string s_;
};

// The disk under check. Byte counts are 64-bit in memory so that files and
// discs beyond 2 GiB are read to their end and their percentages stay right;
// the disk info file stores their low 32 bits.
struct DiskState {
  // Volume label; set by the check thread's readiness, read by others once
  // it has handed the run back or decided that the run goes.
  std::string label;
  Relaxed<uint32_t> serial{0};    // volume serial number
  // False for a disc whose device this user may not open: serial is then 0,
  // names no disc, and the disc has no resume record.
  Relaxed<bool> serialKnown{true};
  Relaxed<int32_t> filesTotal{0};
  Relaxed<int64_t> bytesTotal{0}; // 0: no total known
  Relaxed<int64_t> bytesDone{0};
  // A resumed run counts bytes done afresh while it passes over the files an
  // earlier run checked; the record keeps at least what it held before.
  Relaxed<int64_t> bytesDoneBefore{0};
  Relaxed<int32_t> readErrors{0};
  Relaxed<int32_t> openErrors{0};
  Relaxed<int32_t> otherErrors{0};
  Relaxed<int32_t> filesChecked{0};
  Relaxed<int32_t> percentShown{0};     // disk percent shown
  // Files this run passed over because an earlier run had checked them: never
  // read now, so never counted as read without error.
  Relaxed<int32_t> filesPassedOver{0};
  // Folders of the tree where another volume is mounted: not walked (their
  // files are that volume's), but told in the report.
  Relaxed<int32_t> otherVolumes{0};
  // The counting walk went through the whole tree: the totals are known, even
  // when they are 0 (a disc with no files).
  Relaxed<bool> counted{false};

  // Every number to zero and the label empty (Start, before the disk is examined).
  void Reset() { *this = DiskState{}; }
};

// Panel flags of the main window, read by the engine threads.
struct PanelFlags {
  Relaxed<bool> showProgress{true};
  Relaxed<bool> showCurrent{true};
  Relaxed<bool> showTime{true};
  Relaxed<bool> showSpeed{true};
  Relaxed<bool> minimized{false};
};

struct ScanState {
  Relaxed<bool> idle{true};
  Relaxed<bool> stopRequest{false};
  Relaxed<bool> skipRequest{false};
  Relaxed<bool> running{false};
  Relaxed<bool> reportPending{false};
  Watchdog watchdog;                 // timer ticks since the reader last began a block
  Relaxed<int32_t> elapsed{0};       // ticks counted while running
  Relaxed<int64_t> bytesRead{0};     // bytes actually requested from the disk (speed)
  Relaxed<uint32_t> filesSeen{0};    // files met by the check walk in this run
  Relaxed<int64_t> bytesReadInFile{0};  // offset reached in the current file
  std::string rootPath;              // set by Start before the check thread exists
  SharedText currentFolder;          // maintained by the walks; read by the UI thread
  DiskState disk;
};

}  // namespace engine
