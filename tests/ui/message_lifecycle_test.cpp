// ShowMessage when there is no application, and once it has quit. The tests
// run in this order in one process.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <thread>

#include "engine/window_ops.h"
#include "ui/message_dialog.h"

namespace {

int g_argc = 1;
char g_name[] = "ui_lifecycle_tests";
char* g_argv[] = {g_name, nullptr};

TEST(MessageLifecycle, WithoutAnApplicationTheBoxCannotBeMade) {
  ASSERT_EQ(QCoreApplication::instance(), nullptr);
  EXPECT_EQ(ui::ShowMessage("Text", "Caption", engine::kMsgError), -1);
  int fromThread = 0;
  std::thread worker([&] { fromThread = ui::ShowMessage("Text", nullptr, engine::kMsgRetry); });
  worker.join();
  EXPECT_EQ(fromThread, -1);
}

TEST(MessageLifecycle, NoBoxWithoutWidgets) {
  QCoreApplication app(g_argc, g_argv);
  EXPECT_EQ(ui::ShowMessage("Text", "Caption", engine::kMsgError), -1);
}

// A box that a worker thread asked for is open when the application quits:
// the worker gets Cancel. After that no box comes up; every caller gets
// Cancel at once.
TEST(MessageLifecycle, QuittingAnswersCancel) {
  QApplication app(g_argc, g_argv);
  std::atomic<int> first{-100};
  std::thread worker([&] { first = ui::ShowMessage("Asked while quitting", nullptr, engine::kMsgRetry); });
  // Once the worker's request waits in the queue, run the event loop and quit
  // it as soon as the box is up.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  QTimer poll;
  bool sawBox = false;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (QApplication::activeModalWidget() != nullptr) {
      sawBox = true;
      QCoreApplication::quit();
    }
  });
  poll.start(5);
  QTimer::singleShot(10000, [] { QCoreApplication::quit(); });  // never hang the test
  QApplication::exec();
  worker.join();
  EXPECT_TRUE(sawBox);
  EXPECT_EQ(first.load(), engine::kIdCancel);

  EXPECT_EQ(ui::ShowMessage("After the end", nullptr, engine::kMsgRetry), engine::kIdCancel);
  std::atomic<int> later{-100};
  std::thread late([&] { later = ui::ShowMessage("After the end", nullptr, engine::kMsgRetry); });
  late.join();
  EXPECT_EQ(later.load(), engine::kIdCancel);
}

}  // namespace
