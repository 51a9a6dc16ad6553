// Pictures for the README's gallery, written to <build>/tests/dialogs/screenshots:
// the first-run dialog, the end-of-check report, About and the credits in
// Russian. Each picture is checked for the whole texts it must show.
#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>
#include <unistd.h>

#include "dialogs/about_dialog.h"
#include "dialogs/language_dialog.h"
#include "engine/check_run.h"
#include "engine/progress.h"
#include "engine/window_ops.h"
#include "platform/registry.h"
#include "records/settings_store.h"
#include "res/text_table.h"
#include "tests/dialogs/about_test_helpers.h"
#include "tests/support/temp_tree.h"
#include "tests/ui/ui_test_helpers.h"
#include "ui/message_dialog.h"

namespace {

using about_test::ModalWatcher;
using about_test::ShotPath;

void SetLanguage(int language) {
  res::InterfaceLanguage = language;
  res::LoadText(1);
  res::LoadText(3);
}

TEST(GalleryScreenshots, FirstRunDialog) {
  dialogs::CLanguageDialog dialog;
  ModalWatcher<dialogs::CLanguageDialog> watcher([&](dialogs::CLanguageDialog& open) {
    for (const QLabel* label : open.findChildren<QLabel*>()) {
      EXPECT_TRUE(ui::DlgItemTextFits(*label)) << label->text().toStdString();
    }
    EXPECT_TRUE(open.grab().save(ShotPath("first_run")));
    open.done(2);
  });
  dialog.DoModal();
  EXPECT_TRUE(watcher.Handled());
}

TEST(GalleryScreenshots, EndOfCheckReport) {
  SetLanguage(1);
  const std::string report =
      engine::FormatText(res::LoadText(engine::kTextReportComplete), {1234}) +
      engine::FormatText(res::LoadText(engine::kTextErrorCounts), {1, 2});
  const int result =
      ui_test::WithMessageBox(report.c_str(), res::LoadText(engine::kTextReportTitle), engine::kMsgInfo,
                              [&](ui::CMessageDialog& box) {
                                EXPECT_TRUE(ui::DlgItemTextFits(*ui::DlgItem(box, 1061)));
                                EXPECT_TRUE(box.grab().save(ShotPath("message_report")));
                                box.done(1);
                              });
  EXPECT_EQ(result, 1);
}

TEST(GalleryScreenshots, AboutAndCreditsInRussian) {
  testing_support::TempTree tree;
  platform::Registry registry(tree.Path("registry.reg"));
  records::SettingsStore store(registry);
  SetLanguage(0);
  dialogs::CAboutDialog about(store);
  ModalWatcher<dialogs::CAboutDialog> watcher([&](dialogs::CAboutDialog& open) {
    EXPECT_EQ(ui::DlgItemText(open, 1102).toStdString(), "Домашняя страница программы Torvex:");
    EXPECT_TRUE(open.grab().save(ShotPath("about_ru")));
    ModalWatcher<dialogs::CCreditsDialog> credits([&](dialogs::CCreditsDialog& c) {
      EXPECT_EQ(ui::DlgItemText(c, 1112).toStdString(), "Тестирование:");
      EXPECT_TRUE(c.grab().save(ShotPath("credits_ru")));
      c.done(2);
    });
    QTest::mouseDClick(&open, Qt::LeftButton, Qt::NoModifier, QPoint(50, 50));
    EXPECT_TRUE(credits.Handled());
    open.done(1);
  });
  about.DoModal();
  EXPECT_TRUE(watcher.Handled());
  SetLanguage(1);
}

}  // namespace
