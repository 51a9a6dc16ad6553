// A whole check of a damaged disc in an emulated drive through the real main
// window (offscreen), from START to the report, in the virtual drive lab.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>
#include <QTest>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "dialogs/language_dialog.h"
#include "platform/drive_table.h"
#include "platform/registry.h"
#include "records/settings_store.h"
#include "res/text_table.h"
#include "tests/lab/lab_support.h"
#include "tests/support/engine_fakes.h"
#include "tests/support/error_list_rows.h"
#include "tests/support/file_bytes.h"
#include "app/main_dialog.h"
#include "ui/message_dialog.h"

namespace {

using namespace std::chrono_literals;
using Row = std::array<std::string, 4>;

// The program's folder, whose options select the drive of a disc, and the
// main window; every box is answered with OK (the language dialog with
// English) and remembered.
class LabWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("TORVEX_LAB") == nullptr) GTEST_SKIP() << "runs only in the virtual drive lab (tests/lab/run-lab)";
    static int argc = 1;
    static char name[] = "lab_tests";
    static char* argv[] = {name, nullptr};
    app = std::make_unique<QApplication>(argc, argv);
    res::InterfaceLanguage = 1;
    char tmpl[] = "/tmp/window.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    program = tmpl;
    ASSERT_EQ(chdir(program.c_str()), 0);
    registry = std::make_shared<platform::Registry>(program + "/registry.reg");
    QObject::connect(&answers, &QTimer::timeout, [this] {
      QWidget* modal = QApplication::activeModalWidget();
      if (modal == nullptr || !modal->isVisible() || modal->property("answered").toBool()) return;
      modal->setProperty("answered", true);
      if (auto* box = qobject_cast<ui::CMessageDialog*>(modal)) {
        boxes.emplace_back(box->m_szCaption, box->m_szText);
        QTest::mouseClick(ui::DlgItem(*box, engine::kIdOk), Qt::LeftButton);
      } else if (auto* language = qobject_cast<dialogs::CLanguageDialog*>(modal)) {
        QTest::mouseClick(ui::DlgItem(*language, 1119), Qt::LeftButton);
        QTest::mouseClick(ui::DlgItem(*language, 1), Qt::LeftButton);
      }
    });
    answers.start(5);
  }
  void TearDown() override {
    answers.stop();
    window.reset();
    app.reset();
  }

  // Opens the window on the drive of the disc mounted there, as the drive
  // table names it.
  void Open(const std::string& mountPoint) {
    const platform::DriveTable table = platform::DriveTable::System(*registry);
    for (char c = 'A'; c <= 'Z'; ++c) {
      const platform::Drive* d = table.Find(c);
      if (d != nullptr && d->path == mountPoint) letter = c;
    }
    ASSERT_NE(letter, 0);
    root = std::string(1, letter) + ":\\";
    {
      records::SettingsStore store(*registry);
      store.TakeProgramFolder();
      store.LoadSettings();
      store.settings->drive = letter - 'A';
      store.settings->cdromTarget = true;
      store.SaveSettings();
    }
    ui::MainDialogServices services;
    services.registry = registry;
    services.sounds = std::make_shared<testing_support::RecordingSounds>();
    window = std::make_unique<ui::CMainDialog>(std::move(services));
    ASSERT_TRUE(window->Create());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    EXPECT_EQ(window->windowTitle().toStdString(), "Torvex - [" + root + "]");
  }
  std::vector<Row> Rows() const { return testing_support::ErrorListRows(window->ErrorList()); }

  std::unique_ptr<QApplication> app;
  std::string program;
  std::shared_ptr<platform::Registry> registry;
  std::vector<std::pair<std::string, std::string>> boxes;
  QTimer answers;
  char letter = 0;
  std::string root;
  std::unique_ptr<ui::CMainDialog> window;
};

TEST_F(LabWindow, ACheckOfADamagedDiscFromStartToTheReport) {
  Open("/mnt/cd2");
  if (HasFatalFailure()) return;
  QTest::mouseClick(ui::DlgItem(*window, engine::kIdStart), Qt::LeftButton);
  const auto end = std::chrono::steady_clock::now() + 90s;
  const auto reported = [&] {
    for (const auto& b : boxes)
      if (b.first == "Torvex check finished") return true;
    return false;
  };
  while (!reported() && std::chrono::steady_clock::now() < end) QTest::qWait(10);
  ASSERT_TRUE(reported());
  EXPECT_EQ(boxes.back().second, "The checking is complete\nFiles checked: 4\nFiles with errors (read/open): 1 / 1");

  EXPECT_EQ(Rows(), (std::vector<Row>{{"*** New Disk ***", "", "", "DAMAGED,  "},
                                    {"bad.bin", "Read", "64", root},
                                    {"broken", "Open", "", root}}));
  const std::string log = testing_support::ReadBytes(program + "/Torvex.log");
  const std::string lines = "\r\n\r\n\\[DAMAGED, \\d\\d/\\d\\d/\\d{4}, [ 12]\\d:\\d\\d\\]\r\n bad\\.bin, Read, 64, " +
                              std::string(1, letter) + ":\\\\\r\n broken, Open, , " + std::string(1, letter) + ":\\\\";
  EXPECT_TRUE(std::regex_search(log, std::regex(lines + "$"))) << log;
  // The disc is remembered, checked whole, by the serial of its primary
  // descriptor.
  const std::string tvd = testing_support::ReadBytes(program + "/Torvex.tvd");
  const uint32_t serial = lab::DescriptorSerial(lab::Sector(lab::Image("damaged.iso"), 16));
  const int64_t total = 200'000 + 50'000 + 4'000;
  const std::string section = lab::TvdSection({serial, 4, 4, total, total, 100}, "DAMAGED");
  ASSERT_GE(tvd.size(), section.size());
  EXPECT_EQ(tvd.substr(tvd.size() - section.size()), section);
}

// EXIT while the reader is stuck in the kernel on a sector that stalls for
// ten seconds: the window is gone at once, and the progress of the disc
// (the three blocks read before the stalled one) is saved.
class LabStallWindow : public LabWindow {};

TEST_F(LabStallWindow, ExitWhileTheReaderIsStuckInTheKernelEndsTheProgramAtOnce) {
  Open("/mnt/window");
  if (HasFatalFailure()) return;
  QTest::mouseClick(ui::DlgItem(*window, engine::kIdStart), Qt::LeftButton);
  lab::StuckThread stuck;
  const auto end = std::chrono::steady_clock::now() + 30s;
  while (!stuck.Poll() && std::chrono::steady_clock::now() < end) QTest::qWait(50);
  ASSERT_LT(std::chrono::steady_clock::now(), end);
  const auto exitAt = std::chrono::steady_clock::now();
  QTest::mouseClick(ui::DlgItem(*window, ui::CMainDialog::kIdExit), Qt::LeftButton);
  EXPECT_FALSE(window->isVisible());
  window.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - exitAt, 1s);
  EXPECT_EQ(boxes, (std::vector<std::pair<std::string, std::string>>{}));
  const std::string tvd = testing_support::ReadBytes(program + "/Torvex.tvd");
  const uint32_t serial = lab::DescriptorSerial(lab::JolietDescriptor(lab::Image("WINDOW.iso")));
  const std::string section = lab::TvdSection({serial, 2, 0, 350'000, 96 * 1024, 28}, "WINDOW");
  ASSERT_GE(tvd.size(), section.size());
  EXPECT_EQ(tvd.substr(tvd.size() - section.size()), section);
}

}  // namespace
