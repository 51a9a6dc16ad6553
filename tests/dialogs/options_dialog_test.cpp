// The Options dialog through its real window, on folders pinned as drive
// letters, and with a real check in progress.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QHelpEvent>
#include <QLineEdit>
#include <QSlider>
#include <QTest>
#include <QWhatsThis>
#include <mutex>
#include <set>
#include <thread>

#include "dialogs/folder_browser_dialog.h"
#include "dialogs/folder_tree_ctrl.h"
#include "dialogs/options_dialog.h"
#include "engine/check_run.h"
#include "platform/file_io.h"
#include "records/settings_store.h"
#include "res/text_table.h"
#include "tests/dialogs/folder_dialogs_support.h"
#include "tests/support/engine_fakes.h"
#include "tests/support/recording_window.h"
#include "tests/ui/ui_test_helpers.h"
#include "ui/bitmap_button.h"
#include "ui/help_viewer.h"
#include "ui/message_dialog.h"

namespace {

using namespace std::chrono_literals;
using dialogs::COptionsDialog;
using dialogs_test::OnNextModal;

enum : int { kOk = 1, kCancel = 2, kList = 1014, kDelay = 1015, kCdromOnly = 1016, kPreScan = 1017, kFast = 1018,
             kSounds = 1019, kResume = 1021, kLog = 1022, kAppend = 1023, kOverwrite = 1024, kDevice = 1067,
             kSpeaker = 1069, kPriority = 1096, kRussian = 1097, kEnglish = 1098, kLanguage = 1099,
             kFolderGroup = 1124, kFolder = 1125, kBrowse = 1126, kClear = 1128 };

QComboBox* List(COptionsDialog& o) { return ui::DlgItem<QComboBox>(o, kList); }
QString Folder(COptionsDialog& o) { return ui::DlgItemText(o, kFolder); }
bool Enabled(COptionsDialog& o, int id) { return ui::DlgItem(o, id)->isEnabled(); }
QStringList Entries(COptionsDialog& o) {
  QStringList entries;
  for (int i = 0; i < List(o)->count(); ++i) entries << List(o)->itemData(i).toString();
  return entries;
}
// A click on the box of a check box or radio button.
void Tick(COptionsDialog& o, int id) {
  QWidget* b = ui::DlgItem(o, id);
  QTest::mouseClick(b, Qt::LeftButton, Qt::NoModifier, QPoint(4, b->height() / 2));
}
void Press(COptionsDialog& o, int id) { QTest::mouseClick(ui::DlgItem(o, id), Qt::LeftButton); }
// Chooses a drive with the keyboard, as a user does.
void Choose(COptionsDialog& o, int index) {
  QTest::keyClick(List(o), Qt::Key_Home);
  for (int i = 0; i < index; ++i) QTest::keyClick(List(o), Qt::Key_Down);
}
void Type(COptionsDialog& o, int id, const QString& text) {
  ui::DlgItem<QLineEdit>(o, id)->selectAll();
  QTest::keyClick(ui::DlgItem(o, id), Qt::Key_Delete);
  QTest::keyClicks(ui::DlgItem(o, id), text);
}

// The next message box, as "caption: text (type)", answered with OK.
struct NextMessage {
  std::string seen;
  ui_test::BoxWatcher watcher{[this](ui::CMessageDialog& box) {
    seen = box.windowTitle().toStdString() + ": " + box.m_szText + " (" + std::to_string(box.m_nType) + ")";
    box.done(1);
  }};
};

class OptionsDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    res::InterfaceLanguage = 1;
    res::LoadText(0);  // forgets the text last looked up
    drives.d.Folder("DATA/SUB");
    drives.c.Folder("TEMP");
  }
  // RunOptionsDialog on the settings, with `act` on the dialog while it is up.
  bool Run(const std::function<void(COptionsDialog&)>& act) {
    const auto handled = OnNextModal<COptionsDialog>(act);
    const bool ok = dialogs::RunOptionsDialog(nullptr, *settings, startFolder, [this] { return checkRunning(); },
                                              drives.table);
    EXPECT_TRUE(*handled) << "the dialog did not come up";
    return ok;
  }

  dialogs_test::PinnedDrives drives;
  std::shared_ptr<engine::Settings> settings = std::make_shared<engine::Settings>();
  std::string startFolder;
  std::function<bool()> checkRunning = [] { return false; };
};

TEST_F(OptionsDialogTest, TheDriveListAndTheStartFolderFollowEachOther) {
  ASSERT_TRUE(Run([&](COptionsDialog& o) {
    EXPECT_EQ(o.windowTitle(), "Options");
    EXPECT_EQ(ui::DlgItemText(o, kCdromOnly), "Show CD-ROM devices only");
    EXPECT_EQ(o.m_tooltip.GetText(ui::DlgItem(o, kBrowse)), "Browse folder tree");
    // CD-ROM drives only, the first selected, and its root in the box.
    EXPECT_EQ(Entries(o), QStringList{"D:   ( CD-ROM )"});
    EXPECT_EQ(List(o)->toolTip().toStdString(), drives.d.Root());
    EXPECT_EQ(Folder(o), "D:\\");
    EXPECT_TRUE(Enabled(o, kResume));
    Press(o, kOk);
  }));
  EXPECT_EQ(startFolder, "D:\\");  // a root keeps its backslash: the whole disk
  EXPECT_EQ(settings->drive, 3);
  EXPECT_TRUE(settings->cdromTarget);
  EXPECT_EQ(settings->driveListIndex, 0);

  settings->showCdromOnly = false;
  settings->preScan = false;
  settings->drive = 4;           // E:
  settings->driveListIndex = 0;  // remembered on a day with other drives
  startFolder = "D:\\DATA";
  ASSERT_TRUE(Run([&](COptionsDialog& o) {
    EXPECT_EQ(Entries(o), (QStringList{"C:   ( Fixed )", "D:   ( CD-ROM )", "E:   ( Floppy/Removable )",
                                       "F:   ( Remote/Network )"}));
    for (int i = 0; i < 4; ++i) {
      const testing_support::TempTree* folders[] = {&drives.c, &drives.d, &drives.e, &drives.f};
      EXPECT_EQ(List(o)->itemData(i, Qt::ToolTipRole).toString().toStdString(), folders[i]->Root());
      // Each shows where it is mounted, so that the letters can be told apart.
      EXPECT_EQ(List(o)->itemText(i).toStdString(), Entries(o)[i].toStdString() + "   " + folders[i]->Root());
    }
    EXPECT_EQ(List(o)->currentIndex(), 2);
    // A start folder stays while drives are chosen...
    Choose(o, 1);
    EXPECT_EQ(Folder(o), "D:\\DATA");
    // ...restore needs the pre-scan and a CD-ROM drive...
    EXPECT_FALSE(Enabled(o, kResume));
    Tick(o, kPreScan);
    EXPECT_TRUE(Enabled(o, kResume));
    Choose(o, 0);
    EXPECT_FALSE(Enabled(o, kResume));
    // ...and once cleared, the box follows the drive, also after typing.
    Press(o, kClear);
    EXPECT_EQ(Folder(o), "C:\\");
    Type(o, kFolder, "C:\\TEMP");
    Choose(o, 2);
    EXPECT_EQ(Folder(o), "E:\\");
    Tick(o, kCdromOnly);
    EXPECT_EQ(Entries(o), QStringList{"D:   ( CD-ROM )"});
    EXPECT_EQ(Folder(o), "D:\\");
    Choose(o, 0);
    Tick(o, kPreScan);
    EXPECT_FALSE(Enabled(o, kResume));
    Press(o, kOk);
  }));
  EXPECT_TRUE(settings->showCdromOnly);
  EXPECT_FALSE(settings->preScan);
  EXPECT_EQ(settings->drive, 3);
  EXPECT_EQ(startFolder, "D:\\");
}

TEST_F(OptionsDialogTest, OkFollowsTheFolderCheckAndHandsBackEveryControl) {
  const std::string cwd = platform::CurrentDirectory();
  settings->showCdromOnly = false;
  settings->drive = 2;  // C:
  ASSERT_TRUE(Run([&](COptionsDialog& o) {
    for (const auto& [text, valid] : {std::pair{"", true}, {"d:\\", true}, {"d:\\DATA\\SUB\\", true}, {"D:", false},
                                      {"D", false}, {"Y:\\", false}, {"D:\\data", false}, {"D:\\DATA\\..\\..", false},
                                      {"DATA", false}, {"D:\\NONE", false}}) {
      Type(o, kFolder, text);
      EXPECT_EQ(Enabled(o, kOk), valid) << text;
    }
    EXPECT_EQ(platform::CurrentDirectory(), cwd);
    // Neither the button nor Enter gets past a folder that is not there.
    Press(o, kOk);
    QTest::keyClick(ui::DlgItem(o, kFolder), Qt::Key_Return);
    EXPECT_TRUE(o.isVisible());
    Type(o, kFolder, "D:\\DATA\\");
    Type(o, kDelay, "");
    Tick(o, kFast);
    Tick(o, kAppend);
    Tick(o, kSpeaker);
    QTest::keyClick(ui::DlgItem(o, kPriority), Qt::Key_End);
    QTest::keyClick(ui::DlgItem(o, kFolder), Qt::Key_Return);
  }));
  EXPECT_EQ(startFolder, "D:\\DATA");  // without its last backslash
  EXPECT_EQ(settings->drive, 2);
  EXPECT_TRUE(settings->cdromTarget);  // the start folder's drive decides, not the entry
  EXPECT_EQ(settings->delaySeconds, 3);
  EXPECT_TRUE(settings->fastCheck);
  EXPECT_EQ(settings->logMode, engine::kLogAppend);
  EXPECT_TRUE(settings->internalSpeaker);
  EXPECT_EQ(settings->priority, 6);

  ASSERT_TRUE(Run([&](COptionsDialog& o) {
    EXPECT_EQ(ui::DlgItemText(o, kDelay), "3");
    Choose(o, 1);  // D:
    Type(o, kFolder, "C:\\TEMP");
    Type(o, kDelay, "1");
    Tick(o, kSounds);
    EXPECT_FALSE(Enabled(o, kSpeaker));
    Tick(o, kLog);
    EXPECT_FALSE(Enabled(o, kAppend) || Enabled(o, kOverwrite));
    Press(o, kOk);
  }));
  EXPECT_EQ(startFolder, "C:\\TEMP");
  EXPECT_EQ(settings->drive, 3);
  EXPECT_FALSE(settings->cdromTarget);
  EXPECT_EQ(settings->delaySeconds, 3);
  EXPECT_FALSE(settings->sounds);
  EXPECT_FALSE(settings->createLog);
}

TEST_F(OptionsDialogTest, CancelChangesNothingAndTheRerunNoticeComesOncePerOpening) {
  settings->showCdromOnly = false;
  startFolder = "D:\\DATA";
  const records::OptionBytes before = records::EncodeOptions(*settings);
  const std::function<void(COptionsDialog&)> closes[] = {[](COptionsDialog& o) { Press(o, kCancel); },
                                                         [](COptionsDialog& o) { QTest::keyClick(&o, Qt::Key_Escape); },
                                                         [](COptionsDialog& o) { o.close(); }};
  for (const auto& close : closes) {
    int notices = 0;
    std::string notice;
    EXPECT_FALSE(Run([&](COptionsDialog& o) {
      for (int id : {kEnglish, kRussian, kEnglish}) {  // even the language already chosen
        NextMessage next;
        Tick(o, id);
        QTest::qWait(20);
        notices += next.watcher.Handled();
        if (next.watcher.Handled()) notice = next.seen;
      }
      Press(o, kClear);
      Tick(o, kCdromOnly);
      Type(o, kDelay, "20");
      close(o);
    }));
    EXPECT_EQ(notices, 1);
    EXPECT_EQ(notice, "Torvex info: Please, rerun program to change interface language. (8)");
    EXPECT_EQ(records::EncodeOptions(*settings), before);
    EXPECT_EQ(startFolder, "D:\\DATA");
  }
}

TEST_F(OptionsDialogTest, NoCdromDriveInCdromOnlyModeSaysSoAndSelectsNothing) {
  const platform::DriveTable noCdrom =
      platform::DriveTable::Build(testing_support::FakeDriveProbe{}, {{'C', platform::kDriveFixed, drives.c.Root()}});
  const std::string text = "Torvex error: No CD-ROM device found.\nUncheck 'Show CD-ROM devices only' option\n"
                           "and choose device manually. (8)";
  NextMessage atStart;
  const auto handled = OnNextModal<COptionsDialog>([&](COptionsDialog& o) {
    EXPECT_EQ(atStart.seen, text);
    EXPECT_EQ(List(o)->count(), 0);
    EXPECT_TRUE(Enabled(o, kOk));
    Tick(o, kCdromOnly);
    EXPECT_EQ(Folder(o), "C:\\");
    NextMessage again;
    Tick(o, kCdromOnly);
    EXPECT_EQ(again.seen, text);
    EXPECT_EQ(Folder(o), "");
    Press(o, kOk);
  });
  settings->drive = 2;
  ASSERT_TRUE(dialogs::RunOptionsDialog(nullptr, *settings, startFolder, checkRunning, noCdrom));
  EXPECT_TRUE(*handled);
  EXPECT_EQ(settings->drive, -1);
  EXPECT_FALSE(settings->cdromTarget);
  EXPECT_EQ(startFolder, "");
}

TEST_F(OptionsDialogTest, HelpShowsThePopupOfTheControlAskedAbout) {
  dialogs_test::HelpRecording<COptionsDialog> options(*settings, startFolder, false, drives.table);
  OnNextModal<COptionsDialog>([&](COptionsDialog& o) {
    for (int id : {kList, kDelay, kOk}) {  // F1 where the focus is; OK has no help
      ui::DlgItem(o, id)->setFocus();
      QTest::keyClick(ui::DlgItem(o, id), Qt::Key_F1);
    }
    // The caption's help button, then a click on a control (which only asks
    // for help), on a frame around controls and on the frame without help.
    QWhatsThis::enterWhatsThisMode();
    Tick(o, kCdromOnly);
    EXPECT_FALSE(QWhatsThis::inWhatsThisMode());
    EXPECT_TRUE(ui::DlgItem<QAbstractButton>(o, kCdromOnly)->isChecked());
    for (QPoint at : {QPoint(ui::DlgItem(o, kDevice)->x() + 2, List(o)->geometry().bottom() + 2),
                      ui::DlgItem(o, kFast)->geometry().topRight() + QPoint(20, 2)}) {
      QHelpEvent click(QEvent::WhatsThis, at, o.mapToGlobal(at));
      QApplication::sendEvent(&o, &click);
    }
    Press(o, kCancel);
  });
  options.DoModal();
  // The real pop-up of the help file, beside the control that has the focus.
  ui::SetHelpFile(TORVEX_HELP_FILE);
  COptionsDialog real(*settings, startFolder, false, drives.table);
  OnNextModal<COptionsDialog>([&](COptionsDialog& o) {
    QWidget* delay = ui::DlgItem(o, kDelay);
    delay->setFocus();
    QTest::keyClick(delay, Qt::Key_F1);
    QWidget* popup = ui::HelpPopupWindow();
    ASSERT_NE(popup, nullptr);
    EXPECT_GT(popup->geometry().top(), delay->mapToGlobal(QPoint(0, 0)).y());
    popup->close();
    Press(o, kCancel);
  });
  real.DoModal();
  ui::SetHelpFile("");
  EXPECT_EQ(options.popups, (std::vector<uint32_t>{ui::HelpContextId(130, kList), ui::HelpContextId(130, kDelay),
                                                   0x808203F8u, ui::HelpContextId(130, kDevice)}));
}

// A real check of drive D: (CD-ROM), held at the start of its second file.
class OptionsDuringACheckTest : public OptionsDialogTest {
 protected:
  void SetUp() override {
    OptionsDialogTest::SetUp();
    settings->drive = 3;
    settings->cdromTarget = true;
    engine::EngineDeps deps;
    deps.window = window;
    deps.settings = settings;
    deps.panels = std::make_shared<engine::PanelFlags>();
    deps.text = std::make_shared<testing_support::EnglishTexts>();
    deps.rootPaths = std::make_shared<testing_support::FnRootPaths>(
        [this](const std::string& root) { return drives.table.ToNativePath(root); });
    deps.threads = threads;
    engine = std::make_unique<engine::ScanEngine>(deps);
    checkRunning = [this] { return engine->State().running.load(); };
  }
  void TearDown() override {
    release = true;
    EXPECT_TRUE(engine->WaitForCheckThread(30s));
  }
  void StartHeldInSecondFile() {
    for (int i = 0; i < 4; ++i) drives.d.File("F" + std::to_string(i), 100'000);
    // The first file moves the file bar 6 times (0, 32, 65, 98, 100, 100).
    window->onProgress = [this](int id, int) {
      if (id == engine::kIdFileBar && ++blocks == 7) {
        while (!release) std::this_thread::sleep_for(1ms);
      }
    };
    ASSERT_TRUE(engine->Start());
    for (int i = 0; i < 30'000 && blocks < 7; ++i) std::this_thread::sleep_for(1ms);
    ASSERT_TRUE(checkRunning());
  }

  std::shared_ptr<testing_support::RecordingWindow> window = std::make_shared<testing_support::RecordingWindow>();
  std::unique_ptr<engine::ScanEngine> engine;
  std::atomic<int> blocks{0};
  std::atomic<bool> release{false};
  // Each reader's priority, as asked.
  std::shared_ptr<testing_support::FakeThreads> threads =
      std::make_shared<testing_support::FakeThreads>(testing_support::FakeThreads::Answering(0));
};

TEST_F(OptionsDuringACheckTest, OnlyTheLiveOptionsChangeAndTheNextFileReadsByThem) {
  StartHeldInSecondFile();
  ASSERT_TRUE(Run([&](COptionsDialog& o) {
    EXPECT_EQ(o.windowTitle(), "Options (cheking in progress)");
    for (int id : {kCdromOnly, kPreScan, kResume, kLog, kList, kDevice, kRussian, kEnglish, kLanguage,
                   kFolderGroup, kFolder, kBrowse, kClear, kAppend, kOverwrite}) {
      EXPECT_FALSE(Enabled(o, id)) << id;
    }
    EXPECT_EQ(Folder(o), "D:\\");
    Tick(o, kFast);
    Tick(o, kSpeaker);
    Tick(o, kSounds);
    Type(o, kDelay, "1");
    QTest::keyClick(ui::DlgItem(o, kPriority), Qt::Key_Right);
    QTest::keyClick(ui::DlgItem(o, kPriority), Qt::Key_Right);
    Press(o, kOk);
  }));
  EXPECT_TRUE(settings->fastCheck);
  EXPECT_FALSE(settings->sounds);
  EXPECT_TRUE(settings->internalSpeaker);
  EXPECT_EQ(settings->delaySeconds, 3);
  EXPECT_EQ(settings->priority, 5);
  EXPECT_EQ(settings->driveListIndex, -1);  // the rest stays as the check found it
  EXPECT_EQ(startFolder, "");

  release = true;
  ASSERT_TRUE(engine->WaitForCheckThread(30s));
  // The second file's reader had begun at the old priority; the files after
  // it took the new one. Fast checking skipped 64 KiB after each block from
  // then on: 32,768 + 1,696 bytes read of each 100,000.
  EXPECT_EQ(threads->Positions(), (std::vector<int>{3, 3, 5, 5}));
  EXPECT_EQ(engine->State().bytesRead, 100'000 + 3 * 34'464);

  // A check that ends while the dialog is open no longer holds OK back.
  blocks = 0;
  release = false;
  StartHeldInSecondFile();
  ASSERT_TRUE(Run([&](COptionsDialog& o) {
    EXPECT_EQ(o.windowTitle(), "Options (cheking in progress)");
    release = true;
    EXPECT_TRUE(engine->WaitForCheckThread(30s));
    Press(o, kOk);
  }));
  EXPECT_EQ(settings->driveListIndex, 0);
  EXPECT_EQ(startFolder, "D:\\");
}

TEST_F(OptionsDuringACheckTest, AStartFolderPickedInTheBrowserIsWhatTheNextStartChecks) {
  drives.d.File("OUT.TXT", 10);
  drives.d.File("DATA/IN.TXT", 2000);
  drives.d.File("DATA/SUB/DEEP.TXT", 40'000);
  ASSERT_TRUE(Run([&](COptionsDialog& o) {
    OnNextModal<dialogs::CFolderBrowserDialog>([](dialogs::CFolderBrowserDialog& b) {
      QTreeWidgetItem* d = b.m_tree->currentItem();  // opened on the box's D:\ .
      ASSERT_EQ(b.m_tree->GetSelectedPath(d), "D:\\");
      QTreeWidgetItem* data = b.m_tree->FindChildByName(d, "DATA");
      QTest::mouseClick(b.m_tree->viewport(), Qt::LeftButton, {}, b.m_tree->visualItemRect(data).center());
      QTest::mouseClick(b.m_btnOk, Qt::LeftButton);
    });
    Press(o, kBrowse);
    EXPECT_EQ(Folder(o), "D:\\DATA\\");
    Press(o, kOk);
  }));
  EXPECT_EQ(startFolder, "D:\\DATA");

  engine->SetStartFolder(startFolder);
  ASSERT_TRUE(engine->Start());
  ASSERT_TRUE(engine->WaitForCheckThread(30s));
  std::set<std::string> checked;
  for (const auto& name : window->FieldHistory(engine::kIdCurrentFile)) {
    if (!name.empty()) checked.insert(name);
  }
  EXPECT_EQ(checked, (std::set<std::string>{"IN.TXT", "DEEP.TXT"}));
}

}  // namespace
