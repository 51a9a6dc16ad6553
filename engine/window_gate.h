#pragma once
// The one gate of the program's end. Once the window is going it closes the
// gate, and from then on nothing reaches the window or the services it
// handed over: the engine's threads unwind at once and save nothing, the
// window bridge does nothing and lets waiting callers go, and no text, sound
// or drive letter is asked for. Owned jointly by the window, its bridge and
// the engine (whose threads may outlive the window), so any of them can look
// at it at any time.
#include <atomic>

namespace engine {

class WindowGate {
 public:
  bool IsOpen() const { return open_.load(std::memory_order_acquire); }
  void Close() { open_.store(false, std::memory_order_release); }

 private:
  std::atomic<bool> open_{true};
};

}  // namespace engine
