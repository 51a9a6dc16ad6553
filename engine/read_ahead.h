#pragma once
// Read-ahead of the files the reader will read next. On a disc or disk that
// makes the reader wait, a thread of its own asks the system for the blocks
// of the next files of the folder while the reader reads the current one, so
// that the device always has the next requests at hand.
//
// It asks only for the blocks the reader will itself request (with fast
// checking, one block in three), file after file in reading order, starting
// with the reader's own file, and never more than a window ahead: the device
// sees the same reads as without it, only sooner and in the same order, so a
// bad block still stops the reader in the file and at the block it lies in.
// The walk and the reader never wait for it; once a run has met a read error
// it stops, and every request is the reader's own.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/services.h"
#include "engine/settings.h"
#include "platform/file_io.h"
#include "platform/wake_signal.h"

namespace engine {

struct EngineContext;

// A folder held for the read-ahead; released when the last user lets go.
class HeldFolder {
 public:
  HeldFolder(std::shared_ptr<FilePrefetcher> prefetcher, int fd) : prefetcher_(std::move(prefetcher)), fd_(fd) {}
  ~HeldFolder() { prefetcher_->ReleaseFolder(fd_); }
  HeldFolder(const HeldFolder&) = delete;
  HeldFolder& operator=(const HeldFolder&) = delete;
  int Fd() const { return fd_; }

 private:
  std::shared_ptr<FilePrefetcher> prefetcher_;
  int fd_;
};

class ReadAhead {
 public:
  // At most this many files, and this many bytes, from the reader's file on.
  static constexpr std::size_t kWindowFiles = 64;
  static constexpr int64_t kWindowBytes = 8 << 20;

  struct File {
    std::string name;
    int64_t size = 0;
    bool read = false;  // the reader will read it (not passed over, not a link that leads nowhere)
  };

  ReadAhead(std::shared_ptr<FilePrefetcher> prefetcher, std::shared_ptr<engine::Settings> settings)
      : prefetcher_(std::move(prefetcher)), settings_(std::move(settings)) {}

  // Check thread. The files of a folder in reading order, from the one the
  // reader is handed next (index 0). carried: the plan carries on the last
  // one, starting that many files further on; what was asked for already is
  // not asked for again. kNewFolder: a plan of its own.
  static constexpr std::size_t kNewFolder = static_cast<std::size_t>(-1);
  void Plan(std::shared_ptr<HeldFolder> folder, std::vector<File> files, std::size_t carried = kNewFolder);
  // Check thread. The reader is handed the plan's file at index.
  void ReaderAt(std::size_t index);
  // The run is over (or met a read error): the thread ends at its next step.
  void End();
  // Check thread: the thread has ended (End, or its priority could not come
  // back up, and a fresh read-ahead should take over).
  bool Ended();

  // The read-ahead thread.
  void Loop();

 private:
  std::shared_ptr<FilePrefetcher> prefetcher_;
  std::shared_ptr<engine::Settings> settings_;
  platform::WakeSignal wake_;

  std::mutex m_;
  // Under m_:
  std::shared_ptr<HeldFolder> folder_;
  std::vector<File> files_;
  std::vector<int64_t> before_;  // bytes of the files read before each index
  std::size_t readerAt_ = 0;
  std::size_t next_ = 0;         // the next file to ask for
  std::size_t wakeAt_ = 0;       // while asleep: wake when the reader gets here
  bool sleeping_ = false;
  bool ended_ = false;
};

// No more read-ahead in this run (its end, or a read error). Check thread.
void EndReadAhead(EngineContext& c);

}  // namespace engine
