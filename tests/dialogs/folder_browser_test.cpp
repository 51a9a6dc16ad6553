// The folder browser and its tree through the real window, on folders pinned
// as drive letters.
#include <dirent.h>
#include <gtest/gtest.h>
#include <malloc.h>

#include <QTest>
#include <new>

#include "dialogs/folder_browser_dialog.h"
#include "dialogs/folder_tree_ctrl.h"
#include "platform/folder_list.h"
#include "res/text_table.h"
#include "tests/dialogs/folder_dialogs_support.h"
#include "tests/ui/ui_test_helpers.h"
#include "ui/bitmap_button.h"
#include "ui/help_viewer.h"
#include "ui/message_dialog.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// The sanitizers' own count (their allocator stands in for malloc's).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

using dialogs::CFolderBrowserDialog;
using dialogs::CFolderTreeCtrl;
using dialogs_test::OnNextModal;

// The system's listing, with a label for D: and listings that run out of
// memory on request.
class FakeLister : public platform::FolderLister {
 public:
  bool ListFolder(const std::string& folder, std::vector<platform::FolderEntry>& entries) const override {
    ++listings;
    if (!outOfMemoryIn.empty() && folder.find(outOfMemoryIn) != std::string::npos) throw std::bad_alloc();
    return system.ListFolder(folder, entries);
  }
  std::string VolumeLabel(const platform::Drive& drive) const override {
    return drive.letter == 'D' ? "DATA_CD" : "";
  }
  platform::SystemFolderLister system;
  std::string outOfMemoryIn;
  mutable int listings = 0;
};

QTreeWidgetItem* Child(QTreeWidgetItem* item, const QString& text) {
  for (int i = 0; i < item->childCount(); ++i) {
    if (item->child(i)->text(0) == text) return item->child(i);
  }
  return nullptr;
}
QStringList Texts(const QTreeWidgetItem* item) {
  QStringList texts;
  for (int i = 0; i < item->childCount(); ++i) texts << item->child(i)->text(0);
  return texts;
}
QString Name(const testing_support::TempTree& t) { return QString::fromStdString(t.Root().substr(t.Root().rfind('/') + 1)); }

void Click(CFolderTreeCtrl& tree, QTreeWidgetItem* item, bool twice = false) {
  tree.scrollToItem(item);
  QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, tree.visualItemRect(item).center());
  if (twice) QTest::mouseDClick(tree.viewport(), Qt::LeftButton, {}, tree.visualItemRect(item).center());
}
void Ok(CFolderBrowserDialog& b) { QTest::mouseClick(b.m_btnOk, Qt::LeftButton); }
QTreeWidgetItem* Drive(CFolderBrowserDialog& b, char letter) {
  return b.m_tree->FindChildByName(b.m_tree->m_hRootItem, std::string(1, letter) + ":");
}
bool NothingSelected(CFolderBrowserDialog& b) { return b.m_tree->selectedItems().isEmpty(); }

class FolderBrowserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    res::InterfaceLanguage = 1;
    res::LoadText(0);
    for (const char* f : {"GAMES/SAVE", "Games", "EMPTY", ".hidden"}) drives.d.Folder(f);
    drives.d.File("README.TXT", 10);
  }
  // The browser preselecting `path`, with `act` on it while it is up.
  std::string Browse(const std::string& path, const std::function<void(CFolderBrowserDialog&)>& act) {
    CFolderBrowserDialog browser(drives.table, lister);
    browser.m_strPath = path;
    const auto handled = OnNextModal<CFolderBrowserDialog>(act);
    browser.DoModal();
    EXPECT_TRUE(*handled);
    return browser.m_strPath;
  }

  dialogs_test::PinnedDrives drives;
  FakeLister lister;
};

TEST_F(FolderBrowserTest, AnEmptyPathListsTheDrivesAndSelectsDevicesWhichGivesTheEmptyPath) {
  dialogs_test::HelpRecording<CFolderBrowserDialog> browser(drives.table, lister);
  OnNextModal<CFolderBrowserDialog>([&](CFolderBrowserDialog& b) {
    EXPECT_EQ(b.windowTitle(), "Folder browser");
    EXPECT_EQ(b.m_tooltip.GetText(b.m_btnCancel), "Cancel");
    EXPECT_EQ(b.m_tree->geometry(), b.Units().ToPixels({7, 7, 172, 137}));
    EXPECT_EQ(b.focusWidget(), b.m_tree);
    QTreeWidgetItem* root = b.m_tree->m_hRootItem;
    EXPECT_TRUE(root->isExpanded());
    EXPECT_EQ(b.m_tree->selectedItems(), QList<QTreeWidgetItem*>{root});
    // The drives in letter order by label or folder name, none read yet.
    EXPECT_EQ(Texts(root), (QStringList{Name(drives.c) + " (C:)", "DATA_CD (D:)", Name(drives.e) + " (E:)",
                                        Name(drives.f) + " (F:)"}));
    EXPECT_EQ(lister.listings, 0);
    // The computer, and an icon for each kind of drive.
    std::vector<QImage> icons{ui_test::Pixels(root->icon(0).pixmap(16))};
    for (int i = 0; i < 4; ++i) {
      EXPECT_TRUE(b.m_tree->IsPlaceholder(root->child(i)->child(0)));
      icons.push_back(ui_test::Pixels(root->child(i)->icon(0).pixmap(16)));
      for (int j = 0; j < i + 1; ++j) EXPECT_NE(icons[static_cast<std::size_t>(j)], icons.back()) << i;
    }
    QTest::keyClick(b.m_tree, Qt::Key_F1);
    b.m_strPath = "D:\\GAMES";  // OK puts the root's path in its place
    Ok(b);
  });
  browser.DoModal();
  EXPECT_EQ(browser.m_strPath, "");
  EXPECT_EQ(browser.popups, std::vector<uint32_t>{2162623591u});
}

TEST_F(FolderBrowserTest, PathsOfDrivesAndFoldersAndOfWhatIsNotThere) {
  const auto pick = [&](const std::string& path, const char* folder, bool open = false) {
    return Browse(path, [&](CFolderBrowserDialog& b) {
      QTreeWidgetItem* item = folder != nullptr ? Child(Drive(b, 'D'), folder) : Drive(b, 'D');
      Click(*b.m_tree, item, open);
      Ok(b);
    });
  };
  EXPECT_EQ(pick("", nullptr), "D:\\");
  EXPECT_EQ(pick("D:\\", "EMPTY"), "D:\\EMPTY\\");       // never opened: still its placeholder
  EXPECT_EQ(pick("D:\\", "EMPTY", true), "D:\\EMPTY");  // opened and found empty
  EXPECT_EQ(pick("d:\\games", "GAMES"), "D:\\GAMES\\");  // lower case finds it; its subfolder is listed
  EXPECT_EQ(Browse("D:\\GAMES\\SAVE", [](CFolderBrowserDialog& b) { Ok(b); }), "D:\\GAMES\\SAVE");
  // Names that differ only in case: the exact one first.
  EXPECT_EQ(Browse("D:\\Games", [](CFolderBrowserDialog& b) { Ok(b); }), "D:\\Games");

  // Not there: open down to the last piece found, select nothing, keep the path.
  const std::string tooLong = "D:\\GAMES\\" + std::string(251, 'x');  // beyond 259 bytes nothing is looked for
  for (const std::string& path : {std::string("D:\\NOWHERE\\DEEPER"), std::string("Q:\\GAMES"), tooLong}) {
    EXPECT_EQ(Browse(path,
                     [&](CFolderBrowserDialog& b) {
                       EXPECT_EQ(Drive(b, 'D')->isExpanded(), path[3] == 'N');
                       EXPECT_TRUE(NothingSelected(b));
                       Ok(b);
                     }),
              path);
  }
  // Cancel and Escape keep the path, whatever was chosen.
  EXPECT_EQ(Browse("D:\\GAMES",
                   [](CFolderBrowserDialog& b) {
                     Click(*b.m_tree, Drive(b, 'E'));
                     QTest::mouseClick(b.m_btnCancel, Qt::LeftButton);
                   }),
            "D:\\GAMES");
  EXPECT_EQ(Browse("D:\\", [](CFolderBrowserDialog& b) { QTest::keyClick(b.m_tree, Qt::Key_Escape); }), "D:\\");
}

TEST_F(FolderBrowserTest, FoldersAreListedByNameWhenOpenedAndForgottenWhenClosed) {
  for (const char* f : {"disc 10", "disc 2"}) drives.d.Folder(f);
  Browse("D:\\", [&](CFolderBrowserDialog& b) {
    QTreeWidgetItem* d = Drive(b, 'D');
    // Hidden folders too, never "." and ".." nor plain files, by name as a
    // person reads them: either case together, numbers by their value.
    const QStringList expected{".hidden", "disc 2", "disc 10", "EMPTY", "GAMES", "Games"};
    EXPECT_EQ(Texts(d), expected);
    // A folder shows the open folder while it is selected.
    QTreeWidgetItem* games = Child(d, "GAMES");
    EXPECT_NE(ui_test::Pixels(games->icon(0).pixmap(16, QIcon::Normal)),
              ui_test::Pixels(games->icon(0).pixmap(16, QIcon::Selected)));
    // Closing forgets; opening reads the disk afresh.
    games->setExpanded(true);
    Click(*b.m_tree, Child(games, "SAVE"));
    d->setExpanded(false);
    ASSERT_EQ(d->childCount(), 1);
    EXPECT_TRUE(b.m_tree->IsPlaceholder(d->child(0)));
    drives.d.Folder("NEW");
    d->setExpanded(true);
    EXPECT_EQ(Texts(d).size(), expected.size() + 1);
    EXPECT_TRUE(Texts(d).contains("NEW"));
    EXPECT_FALSE(Child(d, "GAMES")->isExpanded());
    Ok(b);
  });
}

TEST_F(FolderBrowserTest, AFolderThatCannotBeListedShowsNothingAndMemoryRunningOutLeavesTheTree) {
  // A CD-ROM drive without a disc: no children, no expand button, no message.
  const platform::DriveTable noDisc = platform::DriveTable::Build(
      testing_support::FakeDriveProbe{}, {{'G', platform::kDriveCdrom, drives.c.Path("not-mounted")}});
  {
    ui_test::BoxWatcher noBox([](ui::CMessageDialog& box) { box.done(2); });
    CFolderBrowserDialog browser(noDisc, lister);
    browser.m_strPath = "G:\\";
    OnNextModal<CFolderBrowserDialog>([&](CFolderBrowserDialog& b) {
      EXPECT_EQ(Drive(b, 'G')->childCount(), 0);
      Ok(b);
    });
    browser.DoModal();
    EXPECT_EQ(browser.m_strPath, "G:\\");
    EXPECT_FALSE(noBox.Handled());
  }
  lister.outOfMemoryIn = "/GAMES";
  std::string message;
  Browse("D:\\", [&](CFolderBrowserDialog& b) {
    QTreeWidgetItem* games = Child(Drive(b, 'D'), "GAMES");
    ui_test::BoxWatcher box([&](ui::CMessageDialog& m) {
      message = m.windowTitle().toStdString() + ": " + m.m_szText + " " + std::to_string(m.m_nType);
      m.done(1);
    });
    Click(*b.m_tree, games, true);
    // As it was: closed, with its placeholder.
    EXPECT_FALSE(games->isExpanded());
    EXPECT_EQ(b.m_tree->GetSelectedPath(games), "D:\\GAMES\\");
    EXPECT_TRUE(b.m_tree->IsPlaceholder(games->child(0)));
    Ok(b);
  });
  EXPECT_EQ(message, "Torvex error: Not enough memory 4");
}

std::size_t AllocatedBytes() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  return __sanitizer_get_current_allocated_bytes();
#else
  return mallinfo2().uordblks;
#endif
}

TEST_F(FolderBrowserTest, ATreeOfItsOwnDoesNotGrowWhenAFolderIsReopened) {
  for (int i = 0; i < 30; ++i) drives.d.Folder("MANY/sub" + std::to_string(i) + "/inner");
  QWidget window;
  CFolderTreeCtrl tree(drives.table, lister);
  ASSERT_TRUE(tree.Create(QRect(0, 0, 300, 400), &window));
  window.show();
  ASSERT_TRUE(tree.SelectPath("D:\\MANY"));
  QTreeWidgetItem* many = tree.currentItem();
  ASSERT_EQ(many->childCount(), 30);

  // Opened and closed a thousand times, painted each time: every listing's
  // items and icons go with it.
  const auto cycle = [&] {
    many->setExpanded(false);
    many->setExpanded(true);
    many->child(0)->setExpanded(true);
    QApplication::processEvents();
  };
  for (int i = 0; i < 50; ++i) cycle();
  const std::size_t before = AllocatedBytes();
  for (int i = 0; i < 1000; ++i) cycle();
  EXPECT_LT(AllocatedBytes(), before + 64 * 1024) << "grew by " << (AllocatedBytes() - before) << " bytes";
}

}  // namespace
