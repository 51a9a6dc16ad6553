// The error list's context menu end to end, offscreen: a real check of a
// FUSE disc with unreadable sectors fills the list, and the menu copies rows,
// opens a folder and rescues the damaged files into a folder of another disk,
// with the rescue window, the report, the copies and their maps; a rescue and
// a check of the same drive keep out of each other's way, and the window can
// go while a rescue runs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDir>
#include <QMenu>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <thread>

#include "app/main_dialog.h"
#include "engine/rescue_map.h"
#include "engine/texts.h"
#include "platform/registry.h"
#include "records/settings_store.h"
#include "res/text_table.h"
#include "tests/support/engine_fakes.h"
#include "tests/support/error_list_rows.h"
#include "tests/support/fault_fs.h"
#include "tests/support/file_bytes.h"
#include "tests/support/temp_tree.h"
#include "tests/ui/modal_answers.h"
#include "tests/ui/ui_test_helpers.h"
#include "ui/message_dialog.h"

namespace {

using namespace std::chrono_literals;
using testing_support::FaultFile;
using testing_support::FaultFs;
using testing_support::ReadBytes;
using testing_support::TempTree;

using ui_test::ModalAnswers;
using ui_test::WaitFor;

std::string Shot(const std::string& name) {
  QDir().mkpath(TORVEX_SCREENSHOT_DIR);
  return std::string(TORVEX_SCREENSHOT_DIR "/") + name + ".png";
}

std::string Pattern(int64_t size) { return testing_support::FaultPattern(size); }

class FakeChooser : public ui::FolderChooser {
 public:
  std::string ChooseFolder(QWidget*, const std::string& title, const std::string&) override {
    titles.push_back(title);
    return answer;
  }
  std::string answer;
  std::vector<std::string> titles;
};

// What the desktop was asked to open.
class UrlRecorder : public QObject {
  Q_OBJECT

 public:
  std::vector<QUrl> urls;
 public slots:
  void Open(const QUrl& url) { urls.push_back(url); }
};

// A context menu as it came up: its items, whether each was enabled, and its
// picture.
struct MenuSeen {
  std::vector<std::pair<std::string, bool>> items;
  QImage shot;
};

// Runs open (which brings up a context menu and returns once it has closed)
// and chooses the item with the text choose (empty: Escape).
MenuSeen UseMenu(const std::function<void()>& open, const std::string& choose) {
  MenuSeen seen;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (menu == nullptr || !menu->isVisible()) return;
    poll.stop();
    QAction* target = nullptr;
    for (QAction* a : menu->actions()) {
      if (a->isSeparator()) continue;
      seen.items.emplace_back(a->text().toStdString(), a->isEnabled());
      if (a->text().toStdString() == choose) target = a;
    }
    seen.shot = menu->grab().toImage();
    if (target != nullptr && target->isEnabled()) {
      QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(target).center());
    } else {
      menu->close();
    }
  });
  poll.start(5);
  open();
  return seen;
}

// Threads whose readers, of a check or a rescue, wait at their start while
// `hold` is set (the flags live with the threads, which may outlive a test).
class HoldingThreads : public testing_support::FakeThreads {
 public:
  HoldingThreads() : FakeThreads(Answering(0)) {}
  std::atomic<bool> hold{false}, held{false};

 protected:
  int AtReaderStart(int n, int position) override {
    while (hold) {
      held = true;
      std::this_thread::sleep_for(1ms);
    }
    return FakeThreads::AtReaderStart(n, position);
  }
};

class RescueMenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(chdir(program.Root().c_str()), 0);
    res::InterfaceLanguage = 1;
    QDesktopServices::setUrlHandler("file", &urls, "Open");
    // OK on every box, Check again when a box asks whether to resume; the
    // next box of shotCaption is saved as a picture named shotName.
    boxes.answer = [](const ModalAnswers::Box& b) {
      return (b.type & engine::kMbCheckAgainContinueCancel) != 0 ? engine::kIdCheckAgain : engine::kIdOk;
    };
    boxes.look = [this](ui::CMessageDialog& box, const ModalAnswers::Box& b) {
      if (shotName.empty() || b.caption != shotCaption) return;
      box.grab().save(QString::fromStdString(Shot(shotName)));
      shotName.clear();
    };
  }
  void TearDown() override {
    QDesktopServices::unsetUrlHandler("file");
    window.reset();
    threads->hold = false;
    if (fs) fs->ForceUnmount();
  }

  bool Serve(std::vector<FaultFile> files) {
    fs = std::make_unique<FaultFs>(std::move(files));
    std::string why;
    if (!fs->Mount(&why)) {
      skipWhy = "FUSE fault injection unavailable: " + why;
      return false;
    }
    platform::RegistryKey key;
    EXPECT_EQ(registry->CreateKey(std::string(records::kProgramKey) + "\\Drives", &key, nullptr), platform::kRegOk);
    key.SetString("D", "5," + fs->MountPoint());
    records::SettingsStore store(*registry);
    store.TakeProgramFolder();
    store.LoadSettings();
    store.settings->drive = 3;
    store.settings->cdromTarget = true;
    store.settings->delaySeconds = 30;
    store.SaveSettings();
    return true;
  }

  ui::CMainDialog& Open() {
    ui::MainDialogServices services;
    services.registry = registry;
    services.volumes = std::make_shared<testing_support::FakeVolumes>("FAULTDISC", 0x00C0FFEE);
    services.sounds = std::make_shared<testing_support::RecordingSounds>();
    services.threads = threads;
    services.folders = chooser;
    window = std::make_unique<ui::CMainDialog>(std::move(services));
    EXPECT_TRUE(window->Create());
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    return *window;
  }

  // Start, and the end of the check with its report.
  bool Check() {
    const std::size_t before = boxes.Boxes().size();
    QTest::mouseClick(ui::DlgItem(*window, engine::kIdStart), Qt::LeftButton);
    return WaitFor([&] {
      const auto seen = boxes.Boxes();
      for (std::size_t i = before; i < seen.size(); ++i) {
        if (seen[i].caption == "Torvex check finished") return true;
      }
      return false;
    });
  }
  int RowOf(const std::string& name) const {
    const auto rows = testing_support::ErrorListRows(window->ErrorList());
    for (std::size_t i = 0; i < rows.size(); ++i) {
      if (rows[i][0] == name) return static_cast<int>(i);
    }
    ADD_FAILURE() << "no row " << name;
    return 0;
  }
  QPoint RowCentre(int row) const {
    QTreeView* list = window->List();
    return list->visualRect(window->ErrorList().index(row, 0)).center();
  }
  // The menu of a row, by the right mouse button: the press selects the row,
  // and the context menu event follows it as the desktop sends it.
  MenuSeen RightClick(int row, const std::string& choose) {
    QWidget* viewport = window->List()->viewport();
    const QPoint at = RowCentre(row);
    QTest::mouseClick(viewport, Qt::RightButton, {}, at);
    return UseMenu(
        [&] {
          QContextMenuEvent event(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
          QApplication::sendEvent(viewport, &event);
        },
        choose);
  }
  // Waits for the report of the rescue; its text.
  std::string RescueReport() {
    std::string text = "(no report)";
    WaitFor([&] {
      for (const auto& b : boxes.Boxes()) {
        if (b.caption == res::LoadTextCopy(engine::kTextRescueTitle)) text = b.text;
      }
      return text != "(no report)";
    });
    return text;
  }
  // Holds every reader, of a check or a rescue, at its start until `hold`
  // is cleared.
  void HoldReaders() {
    threads->held = false;
    threads->hold = true;
  }

  TempTree program;
  TempTree destination;
  testing_support::CwdGuard cwd;
  std::shared_ptr<platform::Registry> registry = std::make_shared<platform::Registry>(program.Path("registry.reg"));
  std::shared_ptr<HoldingThreads> threads = std::make_shared<HoldingThreads>();
  std::shared_ptr<FakeChooser> chooser = std::make_shared<FakeChooser>();
  UrlRecorder urls;
  ModalAnswers boxes;
  std::string shotCaption, shotName;
  std::unique_ptr<FaultFs> fs;
  std::string skipWhy;
  std::unique_ptr<ui::CMainDialog> window;
};

// The copy equals the file but for the areas its map lists as bad, which are
// zeros; each bad area is one sector around a place that fails.
void ExpectCopyWithMap(const std::string& copy, int64_t size, int64_t failsAt) {
  SCOPED_TRACE(copy);
  const std::string bytes = ReadBytes(copy);
  ASSERT_EQ(bytes.size(), static_cast<std::size_t>(size));
  const auto map = engine::RescueMap::Parse(ReadBytes(engine::MapName(copy)), size);
  ASSERT_TRUE(map.has_value()) << ReadBytes(engine::MapName(copy));
  const auto bad = map->With(engine::RescueMap::kBad);
  ASSERT_EQ(bad.size(), 1u);
  EXPECT_LE(bad[0].pos, failsAt);
  EXPECT_GT(bad[0].pos + bad[0].size, failsAt);
  EXPECT_LE(bad[0].size, 4096);
  EXPECT_EQ(map->Bytes(engine::RescueMap::kNotTried), 0);
  std::string expected = Pattern(size);
  expected.replace(static_cast<std::size_t>(bad[0].pos), static_cast<std::size_t>(bad[0].size),
                   static_cast<std::size_t>(bad[0].size), '\0');
  EXPECT_TRUE(bytes == expected) << "the copy differs from the readable bytes";
}

TEST_F(RescueMenuTest, TheListsMenuCopiesOpensAndRescuesTheReadablePartOfDamagedFiles) {
  if (!Serve({{"BAD.BIN", 200'000, FaultFile::kEio, 70'000},
              {"LOCKED.BIN", 5'000, FaultFile::kNoOpen},
              {"SUB/DEEP.BIN", 100'000, FaultFile::kEio, 40'000},
              {"ODD\xFF.BIN", 30'000, FaultFile::kEio, 5'000},
              {"GOOD.BIN", 50'000}})) {
    GTEST_SKIP() << skipWhy;
  }
  ui::CMainDialog& w = Open();
  ASSERT_TRUE(Check());
  ASSERT_EQ(w.ErrorList().rowCount(), 5);
  const int bad = RowOf("BAD.BIN"), locked = RowOf("LOCKED.BIN"), deep = RowOf("DEEP.BIN");

  // An Open row cannot be rescued; its folder opens on the desktop.
  MenuSeen menu = RightClick(locked, "Open the folder");
  EXPECT_EQ(menu.items, (std::vector<std::pair<std::string, bool>>{{"Rescue this file…", false},
                                                                    {"Rescue all files with read errors…", true},
                                                                    {"Copy", true},
                                                                    {"Open the folder", true}}));
  ASSERT_EQ(urls.urls.size(), 1u);
  EXPECT_EQ(urls.urls[0], QUrl::fromLocalFile(QString::fromStdString(fs->MountPoint() + "/")));
  menu = RightClick(deep, "Open the folder");
  ASSERT_EQ(urls.urls.size(), 2u);
  EXPECT_EQ(urls.urls[1], QUrl::fromLocalFile(QString::fromStdString(fs->MountPoint() + "/SUB/")));
  // The disk's own row names no file.
  menu = RightClick(0, "");
  EXPECT_EQ(menu.items[0], (std::pair<std::string, bool>{"Rescue this file…", false}));
  EXPECT_EQ(menu.items[3], (std::pair<std::string, bool>{"Open the folder", false}));

  // Two rows selected, and the Menu key: Copy puts them on the clipboard.
  QTreeView* list = w.List();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, RowCentre(bad));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, RowCentre(deep));
  menu = UseMenu([&] { QTest::keyClick(list, Qt::Key_Menu); }, "Copy");
  ASSERT_FALSE(menu.items.empty()) << "the Menu key brings up no menu";
  EXPECT_TRUE(menu.shot.save(QString::fromStdString(Shot("error_list_menu"))));
  const auto rows = testing_support::ErrorListRows(w.ErrorList());
  std::string lines;
  for (int r : {std::min(bad, deep), std::max(bad, deep)}) {
    lines += rows[r][0] + "\t" + rows[r][1] + "\t" + rows[r][2] + "\t" + rows[r][3] + "\n";
  }
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(), lines);
  EXPECT_NE(lines.find("DEEP.BIN\tRead\t32\tD:\\SUB\n"), std::string::npos) << lines;
  // Shift+F10 brings it up too.
  EXPECT_EQ(UseMenu([&] { QTest::keyClick(list, Qt::Key_F10, Qt::ShiftModifier); }, "").items, menu.items);
  QApplication::clipboard()->clear();
  QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(), lines);

  // A destination on the disc being read is refused, and nothing is read.
  chooser->answer = fs->MountPoint() + "/SUB";
  const std::size_t readsBefore = fs->Reads("BAD.BIN").size();
  RightClick(bad, "Rescue this file…");
  ASSERT_EQ(chooser->titles.size(), 1u);
  EXPECT_EQ(chooser->titles[0], "Where to put the rescued files");
  ASSERT_TRUE(WaitFor([&] { return !boxes.Boxes().empty() && boxes.Boxes().back().caption == "Torvex error"; }));
  EXPECT_EQ(boxes.Boxes().back().text,
            "The rescued files cannot be written to the disk being read.\nPlease, choose a folder on another disk");
  EXPECT_FALSE(w.Rescuing());
  EXPECT_EQ(fs->Reads("BAD.BIN").size(), readsBefore);

  // Every Read row, to another disk. The reader is held while the window is
  // looked at.
  chooser->answer = destination.Root();
  HoldReaders();
  RightClick(bad, "Rescue all files with read errors…");
  ASSERT_TRUE(w.Rescuing());
  ASSERT_TRUE(WaitFor([&] { return threads->held.load(); }));
  ASSERT_TRUE(WaitFor([&] { return w.RescueWindow() != nullptr && !ui::DlgItemText(*w.RescueWindow(), 1201).isEmpty(); }));
  ui::CRescueDialog& rescue = *w.RescueWindow();
  EXPECT_TRUE(rescue.isVisible());
  EXPECT_EQ(rescue.windowTitle(), "Torvex Rescue");
  EXPECT_EQ(ui::DlgItemText(rescue, 1201), "File 1 of 3:");
  EXPECT_EQ(ui::DlgItemText(rescue, 1202), "D:\\BAD.BIN");
  EXPECT_EQ(ui::DlgItemText(rescue, 1203), "Pass 1 of 3");
  EXPECT_EQ(ui::DlgItemText(rescue, 1204).toStdString().rfind("Recovered: 0   Still missing: ", 0), 0u);
  EXPECT_TRUE(rescue.grab().save(QString::fromStdString(Shot("rescue_window"))));
  // The main window stays usable, but its drive is not checked meanwhile,
  // and a second rescue waits for the first.
  const std::size_t boxesBefore = boxes.Boxes().size();
  QTest::mouseClick(ui::DlgItem(w, engine::kIdStart), Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return boxes.Boxes().size() == boxesBefore + 1; }));
  EXPECT_EQ(boxes.Boxes().back().text, "Files are being rescued from this disk now. Wait for the rescue to end or cancel it");
  EXPECT_TRUE(w.Engine().State().idle);
  RightClick(deep, "Rescue this file…");
  ASSERT_TRUE(WaitFor([&] { return boxes.Boxes().size() == boxesBefore + 2; }));
  EXPECT_EQ(boxes.Boxes().back().text, boxes.Boxes()[boxesBefore].text);
  shotCaption = "Torvex Rescue";
  shotName = "rescue_report";
  threads->hold = false;

  const std::string report = RescueReport();
  EXPECT_EQ(report.rfind("The rescue is finished.\n\nCopied in part: 3", 0), 0u) << report;
  EXPECT_NE(report.find("\n  D:\\SUB\\DEEP.BIN: "), std::string::npos) << report;
  EXPECT_TRUE(WaitFor([&] { return w.RescueWindow() == nullptr; }));
  EXPECT_FALSE(w.Rescuing());
  ExpectCopyWithMap(destination.Path("BAD.BIN"), 200'000, 70'000);
  ExpectCopyWithMap(destination.Path("SUB/DEEP.BIN"), 100'000, 40'000);
  // A name that is not UTF-8 is copied under its own bytes.
  ExpectCopyWithMap(destination.Path("ODD\xFF.BIN"), 30'000, 5'000);
  EXPECT_FALSE(testing_support::FileExists(destination.Path("GOOD.BIN")));
  EXPECT_FALSE(testing_support::FileExists(destination.Path("LOCKED.BIN")));

  // A check is under way: its drive is not rescued from meanwhile.
  HoldReaders();
  QTest::mouseClick(ui::DlgItem(w, engine::kIdStart), Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return threads->held.load(); }));
  const std::size_t boxesNow = boxes.Boxes().size();
  RightClick(bad, "Rescue all files with read errors…");
  ASSERT_TRUE(WaitFor([&] { return boxes.Boxes().size() == boxesNow + 1; }));
  EXPECT_EQ(boxes.Boxes().back().text, "The disk is being checked now. Wait for the check to end or stop it");
  EXPECT_FALSE(w.Rescuing());
  threads->hold = false;
  ASSERT_TRUE(WaitFor([&] { return w.Engine().State().idle.load() && w.Engine().WaitForCheckThread(0ms); }));

  // An empty list has nothing to rescue or copy.
  QTest::mouseClick(ui::DlgItem(w, ui::CMainDialog::kIdClear), Qt::LeftButton);
  const std::size_t boxesAtEnd = boxes.Boxes().size();
  menu = UseMenu(
      [&] {
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), list->viewport()->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(list->viewport(), &event);
      },
      "Rescue all files with read errors…");
  EXPECT_EQ(menu.items, (std::vector<std::pair<std::string, bool>>{{"Rescue this file…", false},
                                                                    {"Rescue all files with read errors…", true},
                                                                    {"Copy", false},
                                                                    {"Open the folder", false}}));
  ASSERT_TRUE(WaitFor([&] { return boxes.Boxes().size() == boxesAtEnd + 1; }));
  EXPECT_EQ(boxes.Boxes().back().text, "Nothing to rescue: the list holds no file with a read error");
  EXPECT_EQ(chooser->titles.size(), 2u);
}

TEST_F(RescueMenuTest, InRussianCancelLeavesNoCopyUnderItsNameAndClosingTheWindowEndsTheRescue) {
  if (!Serve({{"BAD.BIN", 200'000, FaultFile::kEio, 70'000}, {"MORE.BIN", 80'000, FaultFile::kEio, 100}})) {
    GTEST_SKIP() << skipWhy;
  }
  ui::CMainDialog& w = Open();
  ASSERT_TRUE(Check());
  // The rows were listed in English; the window now speaks Russian.
  res::InterfaceLanguage = 0;
  chooser->answer = destination.Root();
  HoldReaders();
  MenuSeen menu = RightClick(RowOf("BAD.BIN"), res::TextResource(engine::kTextRescueThisFile));
  EXPECT_TRUE(menu.shot.save(QString::fromStdString(Shot("error_list_menu_russian"))));
  ASSERT_EQ(menu.items.size(), 4u);
  EXPECT_EQ(menu.items[2].first, "Копировать");
  ASSERT_TRUE(w.Rescuing());
  ASSERT_TRUE(WaitFor([&] { return threads->held.load(); }));
  ASSERT_TRUE(WaitFor([&] { return w.RescueWindow() != nullptr && !ui::DlgItemText(*w.RescueWindow(), 1201).isEmpty(); }));
  ui::CRescueDialog& rescue = *w.RescueWindow();
  EXPECT_EQ(ui::DlgItemText(rescue, 1201), "Файл 1 из 1:");
  EXPECT_EQ(ui::DlgItemText(rescue, 1203), "Проход 1 из 3");
  EXPECT_TRUE(rescue.grab().save(QString::fromStdString(Shot("rescue_window_russian"))));
  // A path too long for the window keeps its drive and the file's name.
  engine::RescueProgress deep;
  deep.file = std::string(30, 'F') + "/" + std::string(40, 'G') + "/" + std::string(50, 'H') + "/NAME.JPG";
  deep.fileNumber = deep.files = deep.pass = deep.passes = 1;
  rescue.ShowProgress(deep);
  const QString path = ui::DlgItemText(rescue, 1202);
  EXPECT_TRUE(path.startsWith("FFFF") && path.endsWith("HH/NAME.JPG") && path.contains(QChar(0x2026))) << path.toStdString();
  EXPECT_TRUE(ui::DlgItemTextFits(*ui::DlgItem(rescue, 1202))) << path.toStdString();

  // Cancel: the report says so, and no copy stands under its real name.
  shotCaption = res::TextResource(engine::kTextRescueTitle);
  shotName = "rescue_report_russian";
  const auto cancelAt = std::chrono::steady_clock::now();
  QTest::mouseClick(ui::DlgItem(rescue, engine::kIdCancel), Qt::LeftButton);
  EXPECT_FALSE(ui::DlgItem(rescue, engine::kIdCancel)->isEnabled());
  const std::string report = RescueReport();
  EXPECT_LT(std::chrono::steady_clock::now() - cancelAt, 5s);
  EXPECT_EQ(report.rfind(res::TextResource(engine::kTextRescueCancelled), 0), 0u) << report;
  EXPECT_TRUE(WaitFor([&] { return w.RescueWindow() == nullptr; }));
  EXPECT_FALSE(testing_support::FileExists(destination.Path("BAD.BIN")));
  threads->hold = false;

  // The window goes while a rescue reads: at once, and nothing of the rescue
  // reaches it afterwards.
  res::InterfaceLanguage = 1;
  TempTree second;
  chooser->answer = second.Root();
  HoldReaders();
  RightClick(RowOf("MORE.BIN"), "Rescue all files with read errors…");
  ASSERT_TRUE(w.Rescuing());
  ASSERT_TRUE(WaitFor([&] { return threads->held.load(); }));
  QPointer<ui::CRescueDialog> shown = w.RescueWindow();
  const std::size_t boxesBefore = boxes.Boxes().size();
  const auto closeAt = std::chrono::steady_clock::now();
  w.close();
  EXPECT_LT(std::chrono::steady_clock::now() - closeAt, 1s);
  EXPECT_TRUE(shown.isNull());
  window.reset();
  threads->hold = false;
  QTest::qWait(1500);
  EXPECT_EQ(boxes.Boxes().size(), boxesBefore);
  EXPECT_FALSE(testing_support::FileExists(second.Path("MORE.BIN")));
}

TEST(RescueEndText, NamesFewerFilesToFitTheMessageBoxAndSaysWhyARescueStopped) {
  res::InterfaceLanguage = 1;
  engine::RescueReport report;
  for (int i = 0; i < 60; ++i) {
    engine::RescueOutcome f;
    f.relative = "FOLDER/A RATHER LONG FILE NAME NUMBER " + std::to_string(i) + ".JPG";
    f.kind = engine::RescueOutcome::kPart;
    f.size = 100'000;
    f.missing = {{2048, 2048, engine::RescueMap::kBad}};
    report.files.push_back(f);
  }
  report.files.back().kind = engine::RescueOutcome::kNotWritten;
  report.files.back().problem = 2;  // a full disk
  report.destinationFailed = true;
  report.deviceNotAnswering = true;
  report.drive = "D:";
  report.destination = "/media/usb";
  const std::string text = ui::RescueEndText(report, {{report.files[0].relative, "D:\\FOLDER\\FIRST.JPG"}});
  EXPECT_LE(text.size(), 1023u);
  EXPECT_EQ(text.rfind("The device of drive D: does not answer any more", 0), 0u) << text;
  EXPECT_NE(text.find("The copies cannot be written to \"/media/usb\": "), std::string::npos) << text;
  EXPECT_NE(text.find("Copied in part: 59"), std::string::npos) << text;
  EXPECT_NE(text.find("…and "), std::string::npos) << text;
  EXPECT_NE(text.find("\n  D:\\FOLDER\\FIRST.JPG: 2,048 bytes missing (at 2,048, 2,048 bytes)\n"), std::string::npos) << text;
  EXPECT_EQ(ui::RescueWindowPath('D', "SUB/A\nB"), "D:\\SUB\\A\nB");
}

}  // namespace

#include "rescue_menu_test.moc"
