// The folder browser and its tree, driven through the real window on
// folders pinned as drive letters.
#include <dirent.h>
#include <gtest/gtest.h>
#include <malloc.h>

#include <QDir>
#include <QHelpEvent>
#include <QTest>
#include <new>

#include "dialogs/folder_browser_dialog.h"
#include "dialogs/folder_tree_ctrl.h"
#include "platform/file_io.h"
#include "platform/folder_list.h"
#include "res/text_table.h"
#include "tests/dialogs/folder_dialogs_support.h"
#include "ui/bitmap_button.h"
#include "ui/help_viewer.h"
#include "ui/message_dialog.h"
#include "tests/ui/ui_test_helpers.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#include <sanitizer/allocator_interface.h>
#endif

namespace {

using dialogs::CFolderBrowserDialog;
using dialogs::CFolderTreeCtrl;
using dialogs_test::BaseName;
using dialogs_test::Child;
using dialogs_test::ChildTexts;
using dialogs_test::OnNextModal;

// The system's listing, with labels for the drives and listings that fail
// or run out of memory on request.
class FakeLister : public platform::FolderLister {
 public:
  bool ListFolder(const std::string& folder, std::vector<platform::FolderEntry>& entries) const override {
    ++listings;
    if (!outOfMemoryIn.empty() && folder.find(outOfMemoryIn) != std::string::npos) throw std::bad_alloc();
    return system.ListFolder(folder, entries);
  }
  std::string VolumeLabel(const platform::Drive& drive) const override {
    return drive.letter == 'D' ? "DATA_CD" : std::string();
  }
  platform::SystemFolderLister system;
  std::string outOfMemoryIn;
  mutable int listings = 0;
};

class FolderBrowserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    res::InterfaceLanguage = 1;
    drives.d.Folder("GAMES/SAVE");
    drives.d.Folder("EMPTY");
    drives.d.Folder(".hidden");
    drives.d.File("README.TXT", 10);
    drives.d.File("GAMES/setup.exe", 10);
    drives.e.Folder("Photos");
  }

  // Runs the browser preselecting `path`; `act` works on it while it is up.
  std::string Browse(const std::string& path, const std::function<void(CFolderBrowserDialog&)>& act,
                     int* result = nullptr) {
    CFolderBrowserDialog browser(drives.table, lister);
    browser.m_strPath = path;
    const auto handled = OnNextModal<CFolderBrowserDialog>(act);
    const int r = browser.DoModal();
    EXPECT_TRUE(*handled) << "the browser did not come up";
    if (result != nullptr) *result = r;
    return browser.m_strPath;
  }

  static void ClickItem(CFolderTreeCtrl& tree, QTreeWidgetItem* item) {
    ASSERT_NE(item, nullptr);
    tree.scrollToItem(item);
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, Qt::NoModifier, tree.visualItemRect(item).center());
  }
  static void DoubleClickItem(CFolderTreeCtrl& tree, QTreeWidgetItem* item) {
    ASSERT_NE(item, nullptr);
    tree.scrollToItem(item);
    const QPoint at = tree.visualItemRect(item).center();
    // A double click is a press, a release and a double-click press.
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(tree.viewport(), Qt::LeftButton, Qt::NoModifier, at);
  }
  static void Ok(CFolderBrowserDialog& b) { QTest::mouseClick(b.m_btnOk, Qt::LeftButton); }
  static void Cancel(CFolderBrowserDialog& b) { QTest::mouseClick(b.m_btnCancel, Qt::LeftButton); }
  static QTreeWidgetItem* Drive(CFolderBrowserDialog& b, char letter) {
    return b.m_tree->FindChildByName(b.m_tree->m_hRootItem, std::string(1, letter) + ":");
  }
  static QString SelectedText(const CFolderTreeCtrl& tree) {
    const auto selected = tree.selectedItems();
    return selected.isEmpty() ? QString() : selected.front()->text(0);
  }

  dialogs_test::PinnedDrives drives;
  FakeLister lister;
};

TEST_F(FolderBrowserTest, AnEmptyPathListsTheDrivesAndOkOnDevicesGivesTheEmptyPath) {
  int result = 0;
  const std::string path = Browse(
      "",
      [&](CFolderBrowserDialog& b) {
        EXPECT_EQ(b.windowTitle(), "Folder browser");
        EXPECT_EQ(b.m_tooltip.GetText(b.m_btnOk), "OK");
        EXPECT_EQ(b.m_tooltip.GetText(b.m_btnCancel), "Cancel");
        // The tree stands where the template puts control 1127.
        EXPECT_EQ(ui::DlgItem(b, 1127), b.m_tree);
        EXPECT_EQ(b.m_tree->geometry(),
                  b.Units().ToPixels(res::FindDialogTemplate(res::kDialogFolderBrowser)->Find(1127)->rect));
        EXPECT_EQ(b.focusWidget(), b.m_tree);

        QTreeWidgetItem* root = b.m_tree->m_hRootItem;
        ASSERT_EQ(b.m_tree->topLevelItemCount(), 1);
        EXPECT_EQ(root->text(0), "Devices");
        EXPECT_TRUE(root->isExpanded());
        EXPECT_EQ(SelectedText(*b.m_tree), "Devices");
        // The drives in letter order: the label, or the name of the folder.
        EXPECT_EQ(ChildTexts(root), (QStringList{BaseName(drives.c.Root()) + " (C:)", "DATA_CD (D:)",
                                                 BaseName(drives.e.Root()) + " (E:)",
                                                 BaseName(drives.f.Root()) + " (F:)"}));
        EXPECT_EQ(b.m_tree->m_szDrives, (std::vector<std::string>{"C:\\", "D:\\", "E:\\", "F:\\"}));
        // Nothing of a drive is read before it is opened.
        EXPECT_EQ(lister.listings, 0);
        for (int i = 0; i < root->childCount(); ++i) {
          ASSERT_EQ(root->child(i)->childCount(), 1);
          EXPECT_TRUE(b.m_tree->IsPlaceholder(root->child(i)->child(0)));
        }
        // An icon by the kind of each drive, and the computer for the root.
        std::vector<QImage> icons;
        for (QTreeWidgetItem* item : {root, root->child(0), root->child(1), root->child(2), root->child(3)}) {
          icons.push_back(ui_test::Pixels(item->icon(0).pixmap(b.m_tree->iconSize())));
          EXPECT_FALSE(icons.back().isNull());
        }
        for (std::size_t i = 0; i < icons.size(); ++i) {
          for (std::size_t j = i + 1; j < icons.size(); ++j) EXPECT_NE(icons[i], icons[j]) << i << " " << j;
        }
        Ok(b);
      },
      &result);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(path, "");
}

TEST_F(FolderBrowserTest, PathsOfDrivesAndFoldersListedOrNot) {
  // A drive gives its root.
  EXPECT_EQ(Browse("C:\\TEMP",
                   [&](CFolderBrowserDialog& b) {
                     ClickItem(*b.m_tree, Drive(b, 'D'));
                     Ok(b);
                   }),
            "D:\\");
  // A folder never opened keeps its placeholder and so its backslash; once
  // opened and found empty it has none.
  EXPECT_EQ(Browse("D:\\",
                   [&](CFolderBrowserDialog& b) {
                     QTreeWidgetItem* empty = Child(Drive(b, 'D'), "EMPTY");
                     EXPECT_EQ(b.m_tree->GetSelectedPath(empty), "D:\\EMPTY\\");
                     ClickItem(*b.m_tree, empty);
                     Ok(b);
                   }),
            "D:\\EMPTY\\");
  EXPECT_EQ(Browse("D:\\",
                   [&](CFolderBrowserDialog& b) {
                     QTreeWidgetItem* empty = Child(Drive(b, 'D'), "EMPTY");
                     DoubleClickItem(*b.m_tree, empty);
                     EXPECT_TRUE(empty->isExpanded());
                     EXPECT_EQ(empty->childCount(), 0);
                     Ok(b);
                   }),
            "D:\\EMPTY");
  // A folder whose subfolders are listed keeps its backslash.
  EXPECT_EQ(Browse("d:\\games",
                   [&](CFolderBrowserDialog& b) {
                     QTreeWidgetItem* games = Child(Drive(b, 'D'), "GAMES");
                     ASSERT_NE(games, nullptr);
                     EXPECT_TRUE(games->isExpanded());
                     EXPECT_EQ(ChildTexts(games), QStringList{"SAVE"});
                     // Lower case found the same folder as upper case would.
                     EXPECT_EQ(SelectedText(*b.m_tree), "GAMES");
                     Ok(b);
                   }),
            "D:\\GAMES\\");
  EXPECT_EQ(Browse("D:\\GAMES\\SAVE", [&](CFolderBrowserDialog& b) { Ok(b); }), "D:\\GAMES\\SAVE");
}

TEST_F(FolderBrowserTest, APathThatIsNotThereSelectsNothingAndLeavesThePathAsItWas) {
  EXPECT_EQ(Browse("D:\\NOWHERE\\DEEPER",
                   [&](CFolderBrowserDialog& b) {
                     // Open down to the last level found; nothing selected.
                     EXPECT_TRUE(Drive(b, 'D')->isExpanded());
                     EXPECT_TRUE(b.m_tree->selectedItems().isEmpty());
                     Ok(b);
                   }),
            "D:\\NOWHERE\\DEEPER");
  EXPECT_EQ(Browse("Q:\\GAMES",
                   [&](CFolderBrowserDialog& b) {
                     EXPECT_TRUE(b.m_tree->m_hRootItem->isExpanded());
                     EXPECT_TRUE(b.m_tree->selectedItems().isEmpty());
                     Ok(b);
                   }),
            "Q:\\GAMES");
  // Beyond 259 bytes nothing is looked for.
  const std::string tooLong = "D:\\GAMES\\" + std::string(251, 'x');
  EXPECT_EQ(Browse(tooLong,
                   [&](CFolderBrowserDialog& b) {
                     EXPECT_FALSE(Drive(b, 'D')->isExpanded());
                     EXPECT_TRUE(b.m_tree->selectedItems().isEmpty());
                     Ok(b);
                   }),
            tooLong);
  // Cancel leaves the path, whatever was chosen; so does Escape.
  EXPECT_EQ(Browse("D:\\GAMES",
                   [&](CFolderBrowserDialog& b) {
                     ClickItem(*b.m_tree, Drive(b, 'E'));
                     Cancel(b);
                   }),
            "D:\\GAMES");
  int result = 0;
  EXPECT_EQ(Browse(
                "D:\\GAMES", [&](CFolderBrowserDialog& b) { QTest::keyClick(b.m_tree, Qt::Key_Escape); }, &result),
            "D:\\GAMES");
  EXPECT_EQ(result, 2);
}

TEST_F(FolderBrowserTest, FoldersAreListedAsTheDiskHasThemWhenOpenedAndForgottenWhenClosed) {
  // Case matters on this system: the exact name wins over one that only
  // differs in case.
  drives.d.Folder("Games");
  Browse("D:\\", [&](CFolderBrowserDialog& b) {
    CFolderTreeCtrl& tree = *b.m_tree;
    QTreeWidgetItem* d = Drive(b, 'D');
    // Hidden folders too, never "." and "..", never plain files, in the
    // order the folder lists them.
    QStringList expected;
    DIR* dir = opendir(drives.d.Root().c_str());
    while (const dirent* e = readdir(dir)) {
      const std::string name = e->d_name;
      if (name != "." && name != ".." && name != "README.TXT") expected << QString::fromStdString(name);
    }
    closedir(dir);
    EXPECT_EQ(ChildTexts(d), expected);
    EXPECT_EQ(tree.FindChildByName(d, "Games")->text(0), "Games");
    EXPECT_EQ(tree.FindChildByName(d, "GAMES")->text(0), "GAMES");
    EXPECT_EQ(tree.FindChildByName(d, "gAmEs")->text(0), expected.indexOf("GAMES") < expected.indexOf("Games")
                                                                ? "GAMES"
                                                                : "Games");

    // Each folder shows the open folder while it is selected.
    QTreeWidgetItem* games = Child(d, "GAMES");
    const QSize size = tree.iconSize();
    EXPECT_NE(ui_test::Pixels(games->icon(0).pixmap(size, QIcon::Normal)),
              ui_test::Pixels(games->icon(0).pixmap(size, QIcon::Selected)));

    // Closing forgets; opening again reads the disk afresh.
    games->setExpanded(true);
    QTreeWidgetItem* save = Child(games, "SAVE");
    ClickItem(tree, save);
    d->setExpanded(false);
    ASSERT_EQ(d->childCount(), 1);
    EXPECT_TRUE(tree.IsPlaceholder(d->child(0)));
    drives.d.Folder("NEW");
    d->setExpanded(true);
    EXPECT_TRUE(ChildTexts(d).contains("NEW"));
    EXPECT_FALSE(Child(d, "GAMES")->isExpanded());
    Ok(b);
  });
}

TEST_F(FolderBrowserTest, AFolderThatCannotBeListedShowsNothingAndMemoryRunningOutLeavesTheTree) {
  // A CD-ROM drive without a disc: its folder is not there.
  const platform::DriveTable noDisc = platform::DriveTable::Build(
      platform::DriveProbe{}, {{'C', platform::kDriveFixed, drives.c.Root()},
                               {'G', platform::kDriveCdrom, drives.c.Path("not-mounted")}});
  {
    CFolderBrowserDialog browser(noDisc, lister);
    browser.m_strPath = "G:\\";
    ui_test::BoxWatcher noBox([](ui::CMessageDialog& box) {
      ADD_FAILURE() << "a message came up: " << box.m_szText;
      box.done(2);
    });
    OnNextModal<CFolderBrowserDialog>([&](CFolderBrowserDialog& b) {
      QTreeWidgetItem* g = Drive(b, 'G');
      EXPECT_TRUE(g->isExpanded());
      EXPECT_EQ(g->childCount(), 0);  // no expand button any more
      EXPECT_EQ(SelectedText(*b.m_tree), b.m_tree->m_hRootItem->child(1)->text(0));
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
      message = std::string(m.windowTitle().toStdString()) + ": " + m.m_szText + " " + std::to_string(m.m_nType);
      m.done(1);
    });
    DoubleClickItem(*b.m_tree, games);
    EXPECT_TRUE(box.Handled());
    // As it was: closed, holding its placeholder, still the same folder.
    EXPECT_FALSE(games->isExpanded());
    ASSERT_EQ(games->childCount(), 1);
    EXPECT_TRUE(b.m_tree->IsPlaceholder(games->child(0)));
    EXPECT_EQ(b.m_tree->GetSelectedPath(games), "D:\\GAMES\\");
    EXPECT_TRUE(b.isVisible());
    Cancel(b);
  });
  EXPECT_EQ(message, "Torvex error: Not enough memory 4");
}

TEST_F(FolderBrowserTest, HelpOnTheTreeShowsItsPopupAndOnTheButtonsNothing) {
  using Browser = dialogs_test::HelpRecording<CFolderBrowserDialog>;
  Browser browser(drives.table, lister);
  OnNextModal<Browser>([&](Browser& b) {
    QTest::keyClick(b.m_tree, Qt::Key_F1);
    b.m_btnOk->setFocus();
    QTest::keyClick(b.m_btnOk, Qt::Key_F1);
    // The caption's help button, then a click on the tree.
    QHelpEvent onTree(QEvent::WhatsThis, QPoint(5, 5), b.m_tree->viewport()->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(b.m_tree->viewport(), &onTree);
    Cancel(b);
  });
  browser.DoModal();
  EXPECT_EQ(browser.popups, (std::vector<uint32_t>{2162623591u, 2162623591u}));
}

// A tree that lists plain files as well.
class FileTree : public CFolderTreeCtrl {
 public:
  using CFolderTreeCtrl::CFolderTreeCtrl;

 protected:
  bool ShouldListFile(const std::string& name) const override { return name != "hide.me"; }
};

std::size_t AllocatedBytes() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  return __sanitizer_get_current_allocated_bytes();
#else
  return mallinfo2().uordblks;
#endif
}

TEST_F(FolderBrowserTest, ATreeOfItsOwnListsFilesAfterFoldersWhenAskedAndDoesNotGrowWhenReopened) {
  for (int i = 0; i < 30; ++i) drives.d.Folder("MANY/sub" + std::to_string(i) + "/inner");
  drives.d.File("MANY/hide.me", 1);
  drives.d.File("MANY/show.me", 1);
  QWidget window;
  window.resize(300, 400);
  FileTree tree(drives.table, lister);
  ASSERT_TRUE(tree.Create(QRect(0, 0, 300, 400), &window));
  window.show();
  ASSERT_TRUE(tree.SelectPath("D:\\MANY"));
  QTreeWidgetItem* many = tree.currentItem();
  ASSERT_EQ(many->childCount(), 31);
  EXPECT_EQ(many->child(30)->text(0), "show.me");
  EXPECT_EQ(many->child(30)->childCount(), 0);  // files have nothing to open
  EXPECT_EQ(tree.GetSelectedPath(many->child(30)), "D:\\MANY\\show.me");

  // Opening and closing a folder a thousand times: the items and icons of
  // every listing are released with it.
  const auto cycle = [&] {
    many->setExpanded(false);
    many->setExpanded(true);
    many->child(0)->setExpanded(true);
    QApplication::processEvents();  // paints, with every icon
  };
  for (int i = 0; i < 50; ++i) cycle();
  const std::size_t before = AllocatedBytes();
  for (int i = 0; i < 1000; ++i) cycle();
  const std::size_t after = AllocatedBytes();
  EXPECT_EQ(many->childCount(), 31);
  EXPECT_LT(after, before + 64 * 1024) << "grew by " << (after - before) << " bytes";
}

}  // namespace
