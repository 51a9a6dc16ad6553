#pragma once
// Fakes of the engine's services for the tests: texts, sounds, drive letters,
// threads and volumes.
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "engine/services.h"
#include "engine/system_services.h"
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

// The system's threads, unless the test replaces how they start or get their
// priority.
class FnThreads : public engine::SystemThreads {
 public:
  std::function<int(std::function<void()>, std::size_t)> start;
  std::function<int(int)> priority;

  int StartThread(std::function<void()> fn, std::size_t stackSize) override {
    return start ? start(std::move(fn), stackSize) : SystemThreads::StartThread(std::move(fn), stackSize);
  }
  int SetReaderPriority(int position) override {
    return priority ? priority(position) : SystemThreads::SetReaderPriority(position);
  }
};

// A drive whose disk has a fixed label and serial number; it can be made to
// have no disk for a number of queries.
class FakeVolumes : public engine::VolumeQuery {
 public:
  FakeVolumes(std::string label = "", uint32_t serial = 0) : label_(std::move(label)), serial_(serial) {}
  bool Query(const std::string& root, std::string& label, uint32_t& serial) override {
    std::lock_guard l(m_);
    roots_.push_back(root);
    if (emptyQueries_ > 0) {
      --emptyQueries_;
      return false;
    }
    label = label_;
    serial = serial_;
    return true;
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
  std::vector<std::string> roots_;
};

}  // namespace testing_support
