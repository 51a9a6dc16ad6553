#pragma once
// The reader: the thread that opens each file and reads its blocks while the
// check thread watches it against the delay time. It lives across files:
// once it has finished one it waits for the next. A reader that stalls inside
// a read cannot be ended on Linux, so it is given up (abandoned): it keeps its
// own buffer and descriptor, and its guard tells it, when its read finally
// returns, that it must touch nothing shared any more and end; the next file
// gets a fresh reader.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "engine/engine_context.h"
#include "engine/file_result.h"
#include "engine/reader_hand_over.h"

namespace engine {

class Reader {
 public:
  Reader(std::shared_ptr<EngineContext> ctx, std::shared_ptr<Block> buffer)
      : ctx_(std::move(ctx)), buffer_(std::move(buffer)), hand_(ctx_->stuck) {}

  // The reader thread: one file after another until the run ends or the
  // reader is given up.
  void Loop();

  // Hands the next file over (check thread, while no file is being read).
  void Take(const std::string& name, int64_t size, int priority);

  // The result of the file handed over; none while it is read.
  std::optional<FileResult> Result() const {
    const int result = result_.load(std::memory_order_acquire);
    if (result == kNoResult) return std::nullopt;
    return static_cast<FileResult>(result);
  }

  // Gives the reader up. False when it had already ended its file; its
  // result stands then.
  bool Abandon() { return hand_.Abandon(false); }

  // This thread could not come back up to the priority the slider asks for:
  // a fresh reader takes the next file (check thread, after a file).
  bool KeptLower() const { return keptLower_.load(std::memory_order_acquire); }

  // No more files: the thread ends (check thread, while no file is read).
  void Quit() { hand_.Quit(); }

 private:
  static constexpr int kNoResult = -1;

  // Reads the file handed over, closes it and gives the result; false when
  // the reader was given up meanwhile.
  bool CheckOne();
  // Takes the priority and opens the file. Called and returning with the
  // guard held; a result when the file ends here, nothing when it is to be
  // read (or the reader was given up: the hand-over says which).
  std::optional<FileResult> Open(std::unique_lock<std::mutex>& lock, int64_t startDone);
  // Reads the blocks of the open file, under the guard as Open.
  std::optional<FileResult> ReadBlocks(std::unique_lock<std::mutex>& lock, int64_t startDone);
  void ShowFileProgress(int percent, bool force);

  std::shared_ptr<EngineContext> ctx_;
  std::shared_ptr<Block> buffer_;
  // The file handed over: busy from Take until its result stands.
  ReaderHandOver hand_;
  // Under the hand-over's guard:
  std::string name_;
  int64_t size_ = 0;
  int priority_ = 3;

  // The reader thread's own:
  int fd_ = -1;
  int lastFilePercent_ = 0;

  std::atomic<int> result_{kNoResult};
  std::atomic<bool> keptLower_{false};
};

}  // namespace engine
