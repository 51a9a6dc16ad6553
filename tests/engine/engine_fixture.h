#pragma once
// A scan engine wired to a recording window, an in-memory log and resume
// store, and a temporary tree that stands for drive D:.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/check_run.h"
#include "tests/support/engine_fakes.h"
#include "tests/support/recording_window.h"
#include "tests/support/temp_tree.h"

namespace engine_test {

class FakeLog : public engine::LogWriter {
 public:
  int WriteDiskHeader(std::string_view label) override {
    std::lock_guard l(m_);
    lines.push_back("[" + std::string(label) + "]");
    return 0;
  }
  int WriteErrorLine(std::string_view name, std::string_view kind, std::string_view position,
                     std::string_view folder) override {
    std::lock_guard l(m_);
    lines.push_back(std::string(name) + ", " + std::string(kind) + ", " + std::string(position) + ", " +
                    std::string(folder));
    return 0;
  }
  std::vector<std::string> Lines() {
    std::lock_guard l(m_);
    return lines;
  }

 private:
  std::mutex m_;
  std::vector<std::string> lines;
};

// A resume store holding one record in memory.
class FakeStore : public engine::ResumeStore {
 public:
  struct Record {
    int32_t filesTotal = 0, filesChecked = 0;
    int64_t bytesTotal = 0, bytesDone = 0;
    int32_t percent = 0;
  };
  int64_t FindDisk(uint32_t) override {
    std::lock_guard l(m_);
    return has ? 1 : 0;
  }
  int ReadRecord(int64_t, engine::ResumeRecord* r, uint32_t serial) override {
    std::lock_guard l(m_);
    if (!has) return 1;
    *r = engine::ResumeRecord{serial, record.filesTotal, record.filesChecked, static_cast<uint32_t>(record.bytesTotal),
                              static_cast<uint32_t>(record.bytesDone), record.percent};
    return 0;
  }
  int AddDisk(const engine::DiskState& d) override {
    std::lock_guard l(m_);
    ++adds;
    record = Record{d.filesTotal, 0, d.bytesTotal, 0, 0};
    has = true;
    return 0;
  }
  int UpdateDisk(const engine::DiskState& d) override {
    std::lock_guard l(m_);
    ++updates;
    if (!has) return 1;
    record = Record{d.filesTotal, d.filesChecked, d.bytesTotal, d.bytesDone,
                    d.bytesTotal != 0 ? d.percentShown.load() : 0};
    return 0;
  }
  int LoadDisk(engine::DiskState& d) override {
    std::lock_guard l(m_);
    ++loads;
    if (!has) return 1;
    d.filesTotal = record.filesTotal;
    d.filesChecked = record.filesChecked;
    d.bytesTotal = record.bytesTotal;
    d.bytesDone = record.bytesDone;
    d.percentShown = record.percent;
    return 0;
  }
  void Set(Record r) {
    std::lock_guard l(m_);
    record = r;
    has = true;
  }
  Record Get() {
    std::lock_guard l(m_);
    return record;
  }
  bool Has() {
    std::lock_guard l(m_);
    return has;
  }
  int adds = 0, updates = 0, loads = 0;  // read after the run

 private:
  std::mutex m_;
  Record record;
  bool has = false;
};

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // An engine on deps, with the test's threads.
  engine::ScanEngine& Make();
  // Starts a check and waits for its end without ticking; then one tick
  // shows the report.
  void Run();
  // Ticks until the check thread has ended (for runs that wait on the watchdog).
  void RunTicking(std::chrono::milliseconds period = std::chrono::milliseconds(2));
  bool WaitUntil(const std::function<bool()>& cond, std::chrono::milliseconds timeout = std::chrono::seconds(30));

  std::string Report() const;
  // The names the file check was handed, in order.
  std::vector<std::string> CheckedFiles() const;
  // The error rows, without the disk rows.
  std::vector<std::array<std::string, 4>> ErrorRows() const;
  std::vector<int> Sounds();
  // Drive D: is this folder.
  static std::shared_ptr<engine::RootPathTranslator> RootAt(const std::string& folder);
  engine::ScanState& State() { return engine->State(); }

  testing_support::TempTree tree;
  testing_support::CwdGuard cwd;
  std::shared_ptr<testing_support::RecordingWindow> window = std::make_shared<testing_support::RecordingWindow>();
  std::shared_ptr<engine::Settings> settings = std::make_shared<engine::Settings>();
  std::shared_ptr<engine::PanelFlags> panels = std::make_shared<engine::PanelFlags>();
  std::shared_ptr<FakeLog> log = std::make_shared<FakeLog>();
  std::shared_ptr<FakeStore> store = std::make_shared<FakeStore>();
  std::shared_ptr<testing_support::RecordingSounds> sounds = std::make_shared<testing_support::RecordingSounds>();
  // The engine's threads, counted (a test may put threads of its own here before Make).
  std::shared_ptr<testing_support::FakeThreads> threads = std::make_shared<testing_support::FakeThreads>();
  engine::EngineDeps deps;
  std::unique_ptr<engine::ScanEngine> engine;
};

}  // namespace engine_test
