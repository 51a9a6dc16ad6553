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
#include "tests/support/file_bytes.h"
#include "app/main_dialog.h"
#include "ui/message_dialog.h"

namespace {

using namespace std::chrono_literals;
using Row = std::array<std::string, 4>;

TEST(LabWindow, ACheckOfADamagedDiscFromStartToTheReport) {
  if (std::getenv("TORVEX_LAB") == nullptr) GTEST_SKIP() << "runs only in the virtual drive lab (tests/lab/run-lab)";
  static int argc = 1;
  static char name[] = "lab_tests";
  static char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  res::InterfaceLanguage = 1;

  char tmpl[] = "/tmp/window.XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string program = tmpl;
  ASSERT_EQ(chdir(program.c_str()), 0);
  auto registry = std::make_shared<platform::Registry>(program + "/registry.reg");

  // The drive of the damaged disc, as the drive table names it.
  const platform::DriveTable table = platform::DriveTable::System(*registry);
  char letter = 0;
  for (char c = 'A'; c <= 'Z'; ++c) {
    const platform::Drive* d = table.Find(c);
    if (d != nullptr && d->path == "/mnt/cd2") letter = c;
  }
  ASSERT_NE(letter, 0);
  const std::string root = std::string(1, letter) + ":\\";
  {
    records::SettingsStore store(*registry);
    store.TakeProgramFolder();
    store.LoadSettings();
    store.settings->drive = letter - 'A';
    store.settings->cdromTarget = true;
    store.SaveSettings();
  }

  // Every box is answered with OK (the language dialog with English) and
  // remembered.
  std::vector<std::pair<std::string, std::string>> boxes;
  QTimer answers;
  QObject::connect(&answers, &QTimer::timeout, [&] {
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

  ui::MainDialogServices services;
  services.registry = registry;
  services.sounds = std::make_shared<testing_support::RecordingSounds>();
  auto window = std::make_unique<ui::CMainDialog>(std::move(services));
  ASSERT_TRUE(window->Create());
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  EXPECT_EQ(window->windowTitle().toStdString(), "Torvex - [" + root + "]");
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

  std::vector<Row> rows;
  const ui::CErrorListModel& m = window->ErrorList();
  for (int i = 0; i < m.rowCount(); ++i) {
    const auto& r = m.RowAt(i);
    rows.push_back({r[0].toStdString(), r[1].toStdString(), r[2].toStdString(), r[3].toStdString()});
  }
  EXPECT_EQ(rows, (std::vector<Row>{{"*** New Disk ***", "", "", "DAMAGED,  "},
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
  window.reset();
}

}  // namespace
