#include "tests/engine/engine_fixture.h"

#include <thread>


namespace engine_test {

using namespace std::chrono_literals;

void EngineTest::SetUp() {
  settings->drive = 3;  // D:, which is the temporary tree
  deps.window = window;
  deps.settings = settings;
  deps.panels = panels;
  deps.log = log;
  deps.resume = store;
  deps.text = std::make_shared<testing_support::EnglishTexts>();
  deps.sounds = sounds;
  deps.rootPaths = RootAt(tree.Root());
}

void EngineTest::TearDown() {
  if (engine) {
    EXPECT_TRUE(engine->WaitForCheckThread(30s)) << "the check thread did not end";
  }
}

engine::ScanEngine& EngineTest::Make() {
  deps.threads = threads;
  engine = std::make_unique<engine::ScanEngine>(deps);
  return *engine;
}

void EngineTest::Run() {
  if (!engine) Make();
  ASSERT_TRUE(engine->Start());
  ASSERT_TRUE(engine->WaitForCheckThread(60s));
  engine->OnTimerTick();
}

bool EngineTest::StartGoes() {
  if (!engine) Make();
  return engine->Start() && engine->RunGoes(60s);
}

void EngineTest::RunTicking(std::chrono::milliseconds period) {
  while (!engine->WaitForCheckThread(period)) engine->OnTimerTick();
  engine->OnTimerTick();
}

bool EngineTest::WaitUntil(const std::function<bool()>& cond, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!cond()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

std::string EngineTest::Report() const {
  for (const auto& m : window->Messages()) {
    if (m.caption == "Torvex check finished") return m.text;
  }
  return "(no report)";
}

std::vector<std::string> EngineTest::CheckedFiles() const {
  std::vector<std::string> names;
  for (const auto& n : window->FieldHistory(engine::kIdCurrentFile)) {
    if (!n.empty()) names.push_back(n);
  }
  return names;
}

std::vector<std::array<std::string, 4>> EngineTest::ErrorRows() const {
  std::vector<std::array<std::string, 4>> rows;
  for (const auto& r : window->Rows()) {
    if (r[0] != "*** New Disk ***") rows.push_back(r);
  }
  return rows;
}

std::vector<int> EngineTest::Sounds() { return sounds->Events(); }

std::shared_ptr<engine::RootPathTranslator> EngineTest::RootAt(const std::string& folder) {
  return std::make_shared<testing_support::FnRootPaths>(
      [folder](const std::string& p) { return p == "D:\\" ? folder : p; });
}

}  // namespace engine_test
