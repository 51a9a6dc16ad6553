// Pictures of the Options dialog and the folder browser in both languages,
// written to <build>/tests/dialogs/screenshots for people to look at.
#include <gtest/gtest.h>

#include <QDir>
#include <QTest>

#include "dialogs/folder_browser_dialog.h"
#include "dialogs/folder_tree_ctrl.h"
#include "dialogs/options_dialog.h"
#include "platform/folder_list.h"
#include "engine/settings.h"
#include "res/text_table.h"
#include "tests/dialogs/folder_dialogs_support.h"

namespace {

using dialogs::CFolderBrowserDialog;
using dialogs::COptionsDialog;
using dialogs_test::OnNextModal;

QString ShotPath(const QString& name) {
  QDir().mkpath(TORVEX_SCREENSHOT_DIR);
  return QStringLiteral(TORVEX_SCREENSHOT_DIR "/") + name + ".png";
}

class Labels : public platform::SystemFolderLister {
 public:
  std::string VolumeLabel(const platform::Drive& drive) const override {
    return drive.letter == 'C' ? "system" : drive.letter == 'D' ? "DATA_CD" : drive.letter == 'E' ? "USB_STICK" : "";
  }
};

TEST(DialogScreenshots, OptionsAndFolderBrowserInEnglishAndRussian) {
  // Drives with labels, and a network share by the name of its folder.
  testing_support::TempTree c, d, e, f;
  for (const char* folder : {"DATA/2003", "DATA/2004", "GAMES/SAVE", "MUSIC", "PHOTOS"}) d.Folder(folder);
  f.Folder("backup");
  const platform::DriveTable table = platform::DriveTable::Build(
      testing_support::FakeDriveProbe{}, {{'C', platform::kDriveFixed, c.Root()},
                               {'D', platform::kDriveCdrom, d.Root()},
                               {'E', platform::kDriveRemovable, e.Root()},
                               {'F', platform::kDriveRemote, f.Path("backup")}});
  Labels labels;
  for (int language : {1, 0}) {
    res::InterfaceLanguage = language;
    res::LoadText(0);
    const QString suffix = language == 0 ? "_ru" : "_en";
    engine::Settings settings;
    settings.showCdromOnly = false;
    settings.drive = 3;
    settings.language = language;
    QImage options, browser;
    COptionsDialog dialog(settings, "D:\\DATA", false, table, nullptr, &labels);
    OnNextModal<COptionsDialog>([&](COptionsDialog& o) {
      options = o.grab().toImage();
      OnNextModal<CFolderBrowserDialog>([&](CFolderBrowserDialog& b) {
        QTreeWidgetItem* data = b.m_tree->currentItem();
        ASSERT_NE(data, nullptr);
        data->child(0)->setExpanded(true);
        b.m_tree->setFocus();
        QApplication::processEvents();
        browser = b.grab().toImage();
        b.done(2);
      });
      QTest::mouseClick(ui::DlgItem(o, 1126), Qt::LeftButton);
      o.done(2);
    });
    dialog.DoModal();
    ASSERT_FALSE(options.isNull());
    ASSERT_FALSE(browser.isNull());
    EXPECT_TRUE(options.save(ShotPath("options" + suffix)));
    EXPECT_TRUE(browser.save(ShotPath("folder_browser" + suffix)));
  }
  res::InterfaceLanguage = 1;
  res::LoadText(0);
}

}  // namespace
