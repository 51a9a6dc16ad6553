#include "engine/read_ahead.h"

#include <algorithm>
#include <limits>

#include "engine/blocks.h"
#include "engine/engine_context.h"
#include "platform/thread.h"

namespace engine {

void ReadAhead::Plan(std::shared_ptr<HeldFolder> folder, std::vector<File> files, std::size_t carried) {
  {
    std::lock_guard lock(m_);
    const bool carriedOn = carried != kNewFolder && folder == folder_;
    next_ = carriedOn && next_ > carried ? next_ - carried : 0;
    folder_ = std::move(folder);
    files_ = std::move(files);
    before_.assign(files_.size() + 1, 0);
    for (std::size_t i = 0; i < files_.size(); ++i) {
      before_[i + 1] = before_[i] + (files_[i].read ? files_[i].size : 0);
    }
    readerAt_ = 0;
  }
  wake_.Notify();
}

void ReadAhead::ReaderAt(std::size_t index) {
  bool wake = false;
  {
    std::lock_guard lock(m_);
    readerAt_ = index;
    wake = sleeping_ && index >= wakeAt_;
    if (wake) wakeAt_ = std::numeric_limits<std::size_t>::max();
  }
  if (wake) wake_.Notify();
}

bool ReadAhead::Ended() {
  std::lock_guard lock(m_);
  return ended_;
}

void ReadAhead::End() {
  {
    std::lock_guard lock(m_);
    ended_ = true;
    folder_.reset();
    files_.clear();
  }
  wake_.Notify();
}

void ReadAhead::Loop() {
  int priority = -1;
  std::unique_lock lock(m_);
  while (!ended_) {
    // Nothing behind the reader: it has the file it reads at hand.
    std::size_t at = std::max(next_, readerAt_);
    while (at < files_.size() && !files_[at].read) ++at;
    const int64_t room = readerAt_ < files_.size() ? kWindowBytes - (before_[at] - before_[readerAt_]) : 0;
    if (at >= files_.size() || at - readerAt_ >= kWindowFiles || room <= 0) {
      // The end of the plan (wait for the next one), or a full window (wait
      // until the reader has read half of it).
      wakeAt_ = at >= files_.size() ? std::numeric_limits<std::size_t>::max()
                                    : readerAt_ + std::max<std::size_t>(1, (at - readerAt_) / 2);
      sleeping_ = true;
      const uint32_t seq = wake_.Seq();
      lock.unlock();
      wake_.Wait(seq);
      lock.lock();
      sleeping_ = false;
      continue;
    }
    next_ = at + 1;
    const std::shared_ptr<HeldFolder> folder = folder_;
    const File file = files_[at];
    lock.unlock();

    // Only the blocks the reader will ask for, and no more than the window
    // holds: the rest of a large file is the system's own read-ahead.
    std::vector<platform::ByteRange> ranges = BlocksRead(file.size, settings_->fastCheck);
    int64_t left = room;
    std::size_t keep = 0;
    for (; keep < ranges.size() && left > 0; ++keep) {
      ranges[keep].length = std::min(ranges[keep].length, left);
      left -= ranges[keep].length;
    }
    ranges.resize(keep);
    const int position = engine::PriorityPosition(*settings_);
    if (position != priority) {
      priority = position;
      if (prefetcher_->TakePriority(position) == platform::kPriorityKeptLower) {
        // Lowered before and not allowed back up: a fresh thread takes over.
        lock.lock();
        ended_ = true;
        break;
      }
    }
    prefetcher_->Prefetch(folder->Fd(), file.name, ranges);

    // A file cut short by the window fills it: what lies beyond that file is
    // asked for once the reader has passed it.
    lock.lock();
  }
}

void EndReadAhead(EngineContext& c) {
  if (c.check.readAhead) c.check.readAhead->End();
  c.check.readAhead.reset();
}

}  // namespace engine
