#pragma once
// Fakes of the engine's services for the tests: texts, sounds, drive letters,
// threads and volumes.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/services.h"
#include "engine/system_services.h"
#include "platform/thread.h"
#include "tests/support/temp_tree.h"

namespace testing_support {

class EnglishTexts : public engine::TextLookup {
 public:
  std::string Text(int id) const override { return EnglishText(id); }
};

// Records the event of every sound.
class RecordingSounds : public engine::SoundPlayer {
 public:
  void PlayEventSound(int event) override {
    std::lock_guard l(m_);
    events_.push_back(event);
  }
  std::vector<int> Events() const {
    std::lock_guard l(m_);
    return events_;
  }

 private:
  mutable std::mutex m_;
  std::vector<int> events_;
};

// Drive letters by a function of the test.
class FnRootPaths : public engine::RootPathTranslator {
 public:
  explicit FnRootPaths(std::function<std::string(const std::string&)> fn) : fn_(std::move(fn)) {}
  std::string ToNativePath(const std::string& rootPath) override { return fn_(rootPath); }

 private:
  std::function<std::string(const std::string&)> fn_;
};

// A number of its own for every thread that ever asks, in this process:
// thread ids are given again once a thread has ended, and readers come and go.
inline int ThreadSerial() {
  static std::atomic<int> next{0};
  thread_local const int serial = ++next;
  return serial;
}

// The threads of a run for tests: real detached threads, counted, on the
// system's processors. Every reader's start is recorded (its slider position,
// its thread and the processors it may run on) and then answered: by the
// system's priority call, or by a fixed answer. A test that needs a reader to
// do more at its start derives and overrides AtReaderStart.
class FakeThreads : public engine::ThreadStarter {
 public:
  struct Options {
    // How many threads start; those after them fail with EAGAIN (-1: all do).
    int startable = -1;
    // What every reader's priority call answers instead of the system.
    std::optional<int> answer;
  };
  // Threads whose readers' priority calls all answer this.
  static Options Answering(int answer) {
    Options o;
    o.answer = answer;
    return o;
  }
  // Threads of which only the first n start.
  static Options Starting(int n) {
    Options o;
    o.startable = n;
    return o;
  }
  struct ReaderStart {
    int position = 0;
    int thread = 0;  // by ThreadSerial
    std::vector<int> cpus;
  };

  FakeThreads() = default;
  explicit FakeThreads(Options options) : options_(std::move(options)) {}

  int StartThread(std::function<void()> fn, std::size_t stackSize) override {
    if (options_.startable >= 0 && ++starts_ > options_.startable) return EAGAIN;
    // A thread may outlive this object: the counts are held jointly.
    auto counts = counts_;
    ++counts->started;
    ++counts->alive;
    const int rc = platform::StartDetachedThread(
        [counts, fn = std::move(fn)] {
          fn();
          --counts->alive;
        },
        stackSize);
    if (rc != 0) {
      --counts->started;
      --counts->alive;
    }
    return rc;
  }
  int SetReaderPriority(int position) override {
    int n;
    {
      std::lock_guard l(m_);
      readers_.push_back({position, ThreadSerial(), platform::CurrentThreadCpus()});
      n = static_cast<int>(readers_.size());
    }
    return AtReaderStart(n, position);
  }
  void KeepOnProcessor() override { system_.KeepOnProcessor(); }
  void FreeProcessor() override { system_.FreeProcessor(); }

  // Threads started so far, and those of them still running.
  int Started() const { return counts_->started; }
  int Alive() const { return counts_->alive; }
  std::vector<ReaderStart> ReaderStarts() const {
    std::lock_guard l(m_);
    return readers_;
  }
  std::vector<int> Positions() const {
    std::vector<int> positions;
    for (const auto& r : ReaderStarts()) positions.push_back(r.position);
    return positions;
  }

 protected:
  // The n-th reader start (from 1), after it was recorded: its answer.
  virtual int AtReaderStart(int /*n*/, int position) {
    return options_.answer ? *options_.answer : system_.SetReaderPriority(position);
  }

 private:
  struct Counts {
    std::atomic<int> started{0}, alive{0};
  };
  const Options options_;
  engine::SystemThreads system_;
  std::shared_ptr<Counts> counts_ = std::make_shared<Counts>();
  std::atomic<int> starts_{0};
  mutable std::mutex m_;
  std::vector<ReaderStart> readers_;
};

// Threads whose readers stall at their start, where no tick reaches them,
// until released: the n-th reader (from 1), or every reader (n = 0).
class HeldReaders : public FakeThreads {
 public:
  explicit HeldReaders(int n = 0, Options options = {}) : FakeThreads(std::move(options)), n_(n) {}

  // Readers that start from now on are not held; those held stay so.
  void StopHolding() { holding_ = false; }
  // Every reader held now or later goes on.
  void Release() {
    {
      std::lock_guard l(m_);
      open_ = true;
    }
    cv_.notify_all();
  }
  // Readers held at this moment.
  int Inside() const { return inside_; }
  // Whether a reader was ever held.
  bool Reached() const { return reached_; }

 protected:
  int AtReaderStart(int n, int position) override {
    if (holding_ && (n_ == 0 || n == n_)) {
      ++inside_;
      reached_ = true;
      std::unique_lock l(m_);
      cv_.wait(l, [&] { return open_; });
      --inside_;
    }
    return FakeThreads::AtReaderStart(n, position);
  }

 private:
  const int n_;
  std::atomic<bool> holding_{true}, reached_{false};
  std::atomic<int> inside_{0};
  std::mutex m_;
  std::condition_variable cv_;
  bool open_ = false;
};

// A drive whose disk has a fixed label and serial number; it can be made to
// have no disk for a number of queries, or a device the user may not open.
class FakeVolumes : public engine::VolumeQuery {
 public:
  FakeVolumes(std::string label = "", uint32_t serial = 0) : label_(std::move(label)), serial_(serial) {}
  int Query(const std::string& root, std::string& label, uint32_t& serial) override {
    std::lock_guard l(m_);
    roots_.push_back(root);
    if (emptyQueries_ > 0) {
      --emptyQueries_;
      return kNoVolume;
    }
    label = label_;
    serial = serialUnknown_ ? 0 : serial_;
    return serialUnknown_ ? kSerialUnknown : kVolume;
  }
  // The disk is there, but its device cannot be opened: no serial.
  void SerialUnknown(bool unknown) {
    std::lock_guard l(m_);
    serialUnknown_ = unknown;
  }
  void Set(std::string label, uint32_t serial) {
    std::lock_guard l(m_);
    label_ = std::move(label);
    serial_ = serial;
  }
  // The next n queries find no disk (-1: all of them).
  void NoDisk(int n = -1) {
    std::lock_guard l(m_);
    emptyQueries_ = n < 0 ? 1 << 30 : n;
  }
  std::vector<std::string> Roots() const {
    std::lock_guard l(m_);
    return roots_;
  }

 private:
  mutable std::mutex m_;
  std::string label_;
  uint32_t serial_;
  int emptyQueries_ = 0;
  bool serialUnknown_ = false;
  std::vector<std::string> roots_;
};

// A drive slow to give its disc, as one whose first sectors fail is: every
// query waits until released (or for `longest` at most, so that a window
// that waits for it is slow rather than stuck), then answers as FakeVolumes.
class SlowVolumes : public FakeVolumes {
 public:
  SlowVolumes(std::string label, uint32_t serial, std::chrono::milliseconds longest)
      : FakeVolumes(std::move(label), serial), longest_(longest) {}
  int Query(const std::string& root, std::string& label, uint32_t& serial) override {
    {
      std::unique_lock l(m_);
      ++inside_;
      ++reached_;
      cv_.wait_for(l, longest_, [&] { return open_; });
      --inside_;
    }
    return FakeVolumes::Query(root, label, serial);
  }
  // Every query held now or later answers.
  void Release() {
    {
      std::lock_guard l(m_);
      open_ = true;
    }
    cv_.notify_all();
  }
  // Queries waiting now, and queries ever begun.
  int Inside() const {
    std::lock_guard l(m_);
    return inside_;
  }
  int Reached() const {
    std::lock_guard l(m_);
    return reached_;
  }

 private:
  const std::chrono::milliseconds longest_;
  mutable std::mutex m_;
  std::condition_variable cv_;
  bool open_ = false;
  int inside_ = 0, reached_ = 0;
};

}  // namespace testing_support
