#pragma once
// A plain shared word: one value that several threads read and write without
// a lock. Every access is an atomic with relaxed order, so a reader may see a
// value one update old but never a torn one, and the program stays free of
// data races. Unlike std::atomic it can be copied, so records that hold such
// fields (Settings, DiskState) can still be copied as a whole.
#include <atomic>
#include <type_traits>

namespace platform {

template <typename T>
class Relaxed {
  static_assert(std::is_trivially_copyable_v<T>);

 public:
  constexpr Relaxed() noexcept : v_(T{}) {}
  constexpr Relaxed(T v) noexcept : v_(v) {}  // NOLINT: implicit on purpose
  Relaxed(const Relaxed& o) noexcept : v_(o.load()) {}
  Relaxed& operator=(const Relaxed& o) noexcept {
    store(o.load());
    return *this;
  }
  Relaxed& operator=(T v) noexcept {
    store(v);
    return *this;
  }

  operator T() const noexcept { return load(); }  // NOLINT: implicit on purpose
  T load() const noexcept { return v_.load(std::memory_order_relaxed); }
  void store(T v) noexcept { v_.store(v, std::memory_order_relaxed); }
  T exchange(T v) noexcept { return v_.exchange(v, std::memory_order_relaxed); }
  // For a flag that hands state over: what the writer did before Release is
  // seen by a reader after an Acquire that sees the value.
  void Release(T v) noexcept { v_.store(v, std::memory_order_release); }
  T Acquire() const noexcept { return v_.load(std::memory_order_acquire); }

  // Arithmetic for counters.
  template <typename U = T, typename = std::enable_if_t<std::is_integral_v<U> && !std::is_same_v<U, bool>>>
  T operator+=(T d) noexcept {
    return v_.fetch_add(d, std::memory_order_relaxed) + d;
  }
  template <typename U = T, typename = std::enable_if_t<std::is_integral_v<U> && !std::is_same_v<U, bool>>>
  T operator++() noexcept {
    return v_.fetch_add(1, std::memory_order_relaxed) + 1;
  }

 private:
  std::atomic<T> v_;
};

}  // namespace platform
