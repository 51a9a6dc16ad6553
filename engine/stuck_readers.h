#pragma once
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>

namespace engine {

// Stalled readers that are abandoned but still inside the kernel hold a
// thread, a descriptor and a block buffer each; at most this many exist on
// one device, in a check and in a rescue alike. Beyond it the device no
// longer answers.
inline constexpr int kMaxAbandonedReaders = 8;

// Readers given up inside a read that has not returned yet: all of them, and
// by the device of the run that gave each up. A device whose every slot is
// held no longer answers; another device checks as usual. Any thread.
class StuckReaders {
 public:
  void Note(uint64_t device, int change) {
    std::lock_guard lock(m_);
    all_.fetch_add(change);
    if ((onDevice_[device] += change) <= 0) onDevice_.erase(device);
  }
  int On(uint64_t device) {
    std::lock_guard lock(m_);
    const auto it = onDevice_.find(device);
    return it == onDevice_.end() ? 0 : it->second;
  }
  int All() const { return all_.load(); }

 private:
  std::atomic<int> all_{0};
  std::mutex m_;
  std::map<uint64_t, int> onDevice_;  // under m_
};

}  // namespace engine
