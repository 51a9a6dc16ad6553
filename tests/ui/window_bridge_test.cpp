// The window bridge: calls of engine threads carried out on the UI thread in
// their order, field texts coalesced, buttons posted without waiting, the
// hand-over at the end of a run, and the gate that lets waiting callers go
// when the window closes.
#include <gtest/gtest.h>

#include <QEventLoop>
#include <QObject>
#include <QTimer>
#include <QTest>
#include <atomic>
#include <chrono>
#include <thread>

#include "tests/support/recording_window.h"
#include "ui/window_bridge.h"

namespace {

using namespace std::chrono_literals;

// Runs the event loop until cond holds.
bool Spin(const std::function<bool()>& cond) {
  const auto end = std::chrono::steady_clock::now() + 10s;
  while (!cond()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QTest::qWait(2);
  }
  return true;
}

// Notes, at every row, what the fields showed at that moment, and on which thread.
class OrderWindow : public testing_support::RecordingWindow {
 public:
  int AddRow(const std::array<std::string, 4>& cells, const engine::RowFile& file) override {
    fieldAtRow.push_back(Field(1006));
    onUiThread = onUiThread && std::this_thread::get_id() == ui;
    return RecordingWindow::AddRow(cells, file);
  }
  std::vector<std::string> fieldAtRow;
  std::thread::id ui = std::this_thread::get_id();
  bool onUiThread = true;
};

TEST(WindowBridge, CallsFromAnEngineThreadKeepTheirOrderAndFieldTextsAreCoalesced) {
  OrderWindow target;
  QObject receiver;
  auto bridge = ui::WindowBridge::Create(target, receiver, std::make_shared<engine::WindowGate>());
  std::atomic<bool> done{false};
  std::thread engine([&] {
    for (int i = 0; i < 2000; ++i) bridge->SetFieldText(1006, "file " + std::to_string(i));
    bridge->AddRow({"A", "", "", ""}, {});
    bridge->SetFieldText(1006, "last");
    bridge->SetProgress(1004, 42);
    bridge->AddRow({"B", "", "", ""}, {});
    done = true;
  });
  ASSERT_TRUE(Spin([&] { return done.load(); }));
  engine.join();
  EXPECT_TRUE(target.onUiThread);
  // Each row saw the field as the engine thread had last set it before the row.
  EXPECT_EQ(target.fieldAtRow, (std::vector<std::string>{"file 1999", "last"}));
  EXPECT_EQ(target.Progress(1004), 42);
  // The latest value won: far fewer texts reached the window than were set.
  EXPECT_LT(target.FieldHistory(1006).size(), 100u);
}

// The end of a run: the buttons are posted without waiting for the UI thread,
// and the hand-over that raises idle comes after them on the UI thread, so
// that nothing the UI thread does on idle can come before them.
TEST(WindowBridge, ButtonsAndTheTitleDoNotWaitAndAHandOverComesAfterThem) {
  testing_support::RecordingWindow target;
  QObject receiver;
  auto bridge = ui::WindowBridge::Create(target, receiver, std::make_shared<engine::WindowGate>());
  bridge->ShowButton(engine::kIdStop, true);  // from the UI thread: at once
  ASSERT_TRUE(target.Visible(engine::kIdStop));

  std::atomic<bool> posted{false}, handedOver{false};
  std::thread::id ranOn;
  bool stopShownThen = true, startShownThen = false;
  std::string titleThen;
  std::thread engine([&] {
    bridge->SetFieldText(engine::kIdCurrentFile, "");
    bridge->ShowButton(engine::kIdStop, false);
    bridge->ShowButton(engine::kIdStart, true);
    bridge->EnableButton(engine::kIdStart, false);
    bridge->SetTitle("Torvex - [D:\\]");
    posted = true;
    bridge->HandOver([&] {
      ranOn = std::this_thread::get_id();
      stopShownThen = target.Visible(engine::kIdStop);
      startShownThen = target.Visible(engine::kIdStart);
      titleThen = target.Title();
      bridge->EnableButton(engine::kIdStart, true);
    });
    handedOver = true;
  });
  // The UI thread does not run its events meanwhile: the calls did not wait for it.
  const auto end = std::chrono::steady_clock::now() + 10s;
  while (!posted && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(1ms);
  ASSERT_TRUE(posted.load());
  std::this_thread::sleep_for(20ms);
  EXPECT_TRUE(target.Visible(engine::kIdStop)) << "carried out off the UI thread";
  EXPECT_FALSE(handedOver.load()) << "the hand-over did not wait for the UI thread";

  ASSERT_TRUE(Spin([&] { return handedOver.load(); }));
  engine.join();
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  EXPECT_FALSE(stopShownThen);
  EXPECT_TRUE(startShownThen);
  EXPECT_EQ(titleThen, "Torvex - [D:\\]");
  EXPECT_EQ(target.FieldHistory(engine::kIdCurrentFile), std::vector<std::string>{""});
  // What the hand-over did has taken effect when it returns.
  EXPECT_TRUE(target.Enabled(engine::kIdStart));

  // Once the window has gone, the hand-over runs at once on its caller, and
  // its calls reach nothing.
  bridge->Close();
  std::thread::id closedRanOn;
  std::thread late([&] {
    bridge->ShowButton(engine::kIdStart, false);
    bridge->HandOver([&] {
      closedRanOn = std::this_thread::get_id();
      bridge->EnableButton(engine::kIdStart, false);
    });
    EXPECT_EQ(closedRanOn, std::this_thread::get_id());
  });
  late.join();
  QTest::qWait(30);
  EXPECT_TRUE(target.Visible(engine::kIdStart));
  EXPECT_TRUE(target.Enabled(engine::kIdStart));
}

TEST(WindowBridge, ClosingLetsAWaitingCallerGoAndEverythingAfterIsANoOp) {
  testing_support::RecordingWindow target;
  QObject receiver;
  auto bridge = ui::WindowBridge::Create(target, receiver, std::make_shared<engine::WindowGate>());
  // The box is up (the UI thread is inside it) when the window closes.
  target.answer = [&](const testing_support::RecordingWindow::Message&) {
    QEventLoop box;
    QTimer::singleShot(50, &box, [&] {
      bridge->Close();
      box.quit();
    });
    box.exec();
    return engine::kIdOk;
  };
  std::atomic<int> answer{-5};
  std::thread engine([&] { answer = bridge->ShowMessage("stuck", "", engine::kMsgInfo); });
  ASSERT_TRUE(Spin([&] { return answer != -5; }));
  engine.join();
  EXPECT_EQ(answer.load(), engine::kIdCancel);
  EXPECT_FALSE(bridge->IsOpen());

  // After the gate is closed nothing reaches the window, from any thread.
  const auto rows = target.Rows().size();
  std::thread later([&] {
    EXPECT_EQ(bridge->AddRow({"X", "", "", ""}, {}), -1);
    bridge->SetFieldText(1006, "never");
    EXPECT_EQ(bridge->ShowMessage("never", "", engine::kMsgInfo), engine::kIdCancel);
  });
  later.join();
  bridge->SetFieldText(1007, "never");
  QTest::qWait(30);
  EXPECT_EQ(target.Rows().size(), rows);
  EXPECT_TRUE(target.FieldHistory(1006).empty());
  EXPECT_TRUE(target.FieldHistory(1007).empty());
}

}  // namespace
