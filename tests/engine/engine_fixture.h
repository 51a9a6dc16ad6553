#pragma once
// A scan engine wired to a recording window, an in-memory log, the disk info
// file in a temporary program folder, and a temporary tree that stands for
// drive D:.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/check_run.h"
#include "tests/support/counting_store.h"
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

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // An engine on deps, with the test's threads.
  engine::ScanEngine& Make();
  // Starts a check and waits for its end without ticking; then one tick
  // shows the report.
  void Run();
  // Starts a check and waits until its readiness has decided: true when the
  // run goes; a run given up is idle again.
  bool StartGoes();
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
  // The disk info file, in a program folder apart from the disk.
  testing_support::TempTree programFolder;
  std::shared_ptr<testing_support::CountingStore> store =
      std::make_shared<testing_support::CountingStore>(programFolder.Root());
  std::shared_ptr<testing_support::RecordingSounds> sounds = std::make_shared<testing_support::RecordingSounds>();
  // The engine's threads, counted (a test may put threads of its own here before Make).
  std::shared_ptr<testing_support::FakeThreads> threads = std::make_shared<testing_support::FakeThreads>();
  engine::EngineDeps deps;
  std::unique_ptr<engine::ScanEngine> engine;
};

}  // namespace engine_test
