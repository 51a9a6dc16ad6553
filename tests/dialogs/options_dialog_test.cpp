// The Options dialog, driven through its real window on folders pinned as
// drive letters; with a real check in progress for the options a check takes.
#include <gtest/gtest.h>

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
#include "records/settings.h"
#include "records/settings_store.h"
#include "res/text_table.h"
#include "tests/dialogs/folder_dialogs_support.h"
#include "tests/support/recording_window.h"
#include "tests/ui/ui_test_helpers.h"
#include "ui/bitmap_button.h"
#include "ui/help_viewer.h"
#include "ui/message_dialog.h"

namespace {

using namespace std::chrono_literals;
using dialogs::CFolderBrowserDialog;
using dialogs::COptionsDialog;
using dialogs_test::OnNextModal;

enum : int {
  kOk = 1,
  kCancel = 2,
  kList = 1014,
  kDelay = 1015,
  kCdromOnly = 1016,
  kPreScan = 1017,
  kFastCheck = 1018,
  kSounds = 1019,
  kResume = 1021,
  kCreateLog = 1022,
  kAppend = 1023,
  kOverwrite = 1024,
  kDeviceGroup = 1067,
  kSpeaker = 1069,
  kPriority = 1096,
  kRussian = 1097,
  kEnglish = 1098,
  kLanguageGroup = 1099,
  kFolderGroup = 1124,
  kFolder = 1125,
  kBrowse = 1126,
  kClear = 1128,
};

QComboBox* List(COptionsDialog& o) { return ui::DlgItem<QComboBox>(o, kList); }
QString Folder(COptionsDialog& o) { return ui::DlgItemText(o, kFolder); }
bool Enabled(COptionsDialog& o, int id) { return ui::DlgItem(o, id)->isEnabled(); }
bool Checked(COptionsDialog& o, int id) { return ui::DlgItem<QAbstractButton>(o, id)->isChecked(); }

QStringList Entries(COptionsDialog& o) {
  QStringList entries;
  for (int i = 0; i < List(o)->count(); ++i) entries << List(o)->itemText(i);
  return entries;
}

// A click on a check box or radio button, on its box.
void Tick(COptionsDialog& o, int id) {
  QWidget* button = ui::DlgItem(o, id);
  QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(4, button->height() / 2));
}

void Press(COptionsDialog& o, int id) { QTest::mouseClick(ui::DlgItem(o, id), Qt::LeftButton); }

// Chooses an entry of the drive list with the keyboard.
void Choose(COptionsDialog& o, int index) {
  QTest::keyClick(List(o), Qt::Key_Home);
  for (int i = 0; i < index; ++i) QTest::keyClick(List(o), Qt::Key_Down);
  ASSERT_EQ(List(o)->currentIndex(), index);
}

// Replaces the text of an edit box by typing.
void Type(COptionsDialog& o, int id, const QString& text) {
  auto* edit = ui::DlgItem<QLineEdit>(o, id);
  edit->selectAll();
  QTest::keyClick(edit, Qt::Key_Delete);
  QTest::keyClicks(edit, text);
}

// The message that comes up next, as "caption: text (type)", answered with OK.
struct NextMessage {
  NextMessage()
      : watcher([this](ui::CMessageDialog& box) {
          seen = box.windowTitle().toStdString() + ": " + box.m_szText + " (" + std::to_string(box.m_nType) + ")";
          box.done(1);
        }) {}
  std::string seen;
  ui_test::BoxWatcher watcher;
};

class OptionsDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    res::InterfaceLanguage = 1;
    res::LoadText(0);  // forget the text last looked up
    drives.d.Folder("DATA/SUB");
    drives.c.Folder("TEMP");
  }

  // RunOptionsDialog on the settings; `act` works on the dialog while it is up.
  bool Run(const std::function<void(COptionsDialog&)>& act) {
    const auto handled = OnNextModal<COptionsDialog>(act);
    const bool ok = dialogs::RunOptionsDialog(nullptr, *settings, startFolder, [this] { return checkRunning(); },
                                              drives.table);
    EXPECT_TRUE(*handled) << "the dialog did not come up";
    return ok;
  }

  dialogs_test::PinnedDrives drives;
  std::shared_ptr<records::Settings> settings = std::make_shared<records::Settings>();
  std::string startFolder;
  std::function<bool()> checkRunning = [] { return false; };
};

TEST_F(OptionsDialogTest, AnEmptyStartFolderShowsTheSelectedDrivesRootAndOkStoresIt) {
  ASSERT_TRUE(Run([&](COptionsDialog& o) {
    EXPECT_EQ(o.windowTitle(), "Options");
    EXPECT_EQ(ui::DlgItemText(o, kDeviceGroup), "Device");
    EXPECT_EQ(ui::DlgItemText(o, kCdromOnly), "Show CD-ROM devices only");
    EXPECT_EQ(ui::DlgItemText(o, kOverwrite), "Overwrite log file every time you start program");
    EXPECT_EQ(ui::DlgItemText(o, 1108), "Highest");
    EXPECT_EQ(o.m_tooltip.GetText(ui::DlgItem(o, kBrowse)), "Browse folder tree");
    EXPECT_EQ(o.m_tooltip.GetText(ui::DlgItem(o, kClear)), "Clear the entered path");
    EXPECT_EQ(o.m_tooltip.GetText(ui::DlgItem(o, kOk)), "OK");
    EXPECT_EQ(o.m_tooltip.GetText(ui::DlgItem(o, kCancel)), "Cancel");
    // CD-ROM drives only, the first selected; its tooltip tells its folder.
    EXPECT_EQ(Entries(o), QStringList{"D:   ( CD-ROM )"});
    EXPECT_EQ(List(o)->currentIndex(), 0);
    EXPECT_EQ(List(o)->itemData(0, Qt::ToolTipRole).toString().toStdString(), drives.d.Root());
    EXPECT_EQ(List(o)->toolTip().toStdString(), drives.d.Root());
    EXPECT_EQ(Folder(o), "D:\\");
    EXPECT_TRUE(Enabled(o, kOk));
    EXPECT_TRUE(Enabled(o, kResume));
    EXPECT_TRUE(Checked(o, kOverwrite));
    EXPECT_TRUE(Enabled(o, kAppend));
    EXPECT_TRUE(Enabled(o, kSpeaker));
    EXPECT_EQ(ui::DlgItemText(o, kDelay), "5");
    EXPECT_EQ(ui::DlgItem<QSlider>(o, kPriority)->value(), 3);
    EXPECT_TRUE(Checked(o, kEnglish));
    Press(o, kOk);
  }));
  EXPECT_EQ(startFolder, "D:\\");  // a root keeps its backslash: the whole disk
  EXPECT_EQ(settings->drive, 3);
  EXPECT_TRUE(settings->cdromTarget);
  EXPECT_EQ(settings->driveListIndex, 0);
  EXPECT_EQ(settings->delaySeconds, 5);
}

TEST_F(OptionsDialogTest, AllDrivesInLetterOrderWithTheDriveOfTheSettingsSelected) {
  settings->showCdromOnly = false;
  settings->drive = 4;           // E:
  settings->driveListIndex = 0;  // a position from a day with other drives
  ASSERT_TRUE(Run([&](COptionsDialog& o) {
    EXPECT_EQ(Entries(o), (QStringList{"C:   ( Fixed )", "D:   ( CD-ROM )", "E:   ( Floppy/Removable )",
                                       "F:   ( Remote/Network )"}));
    const std::string folders[] = {drives.c.Root(), drives.d.Root(), drives.e.Root(), drives.f.Root()};
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(List(o)->itemData(i, Qt::ToolTipRole).toString().toStdString(), folders[i]);
    }
    EXPECT_EQ(List(o)->currentText(), "E:   ( Floppy/Removable )");
    EXPECT_EQ(Folder(o), "E:\\");
    EXPECT_FALSE(Enabled(o, kResume));  // not a CD-ROM drive

    // Back to CD-ROM drives only: the first one, and its root.
    Tick(o, kCdromOnly);
    EXPECT_EQ(Entries(o), QStringList{"D:   ( CD-ROM )"});
    EXPECT_EQ(Folder(o), "D:\\");
    EXPECT_TRUE(Enabled(o, kResume));
    Press(o, kOk);
  }));
  EXPECT_TRUE(settings->showCdromOnly);
  EXPECT_EQ(settings->drive, 3);
  EXPECT_EQ(startFolder, "D:\\");
}

TEST_F(OptionsDialogTest, AChosenStartFolderStaysUntilClearedThenFollowsTheDrive) {
  settings->showCdromOnly = false;
  settings->drive = 3;
  startFolder = "D:\\DATA";
  ASSERT_TRUE(Run([&](COptionsDialog& o) {
    EXPECT_EQ(Folder(o), "D:\\DATA");
    EXPECT_TRUE(Enabled(o, kOk));
    Choose(o, 0);  // C:
    EXPECT_EQ(Folder(o), "D:\\DATA");
    Tick(o, kPreScan);  // neither does the pre-scan box touch it
    Tick(o, kPreScan);
    EXPECT_EQ(Folder(o), "D:\\DATA");
    Press(o, kClear);
    EXPECT_EQ(Folder(o), "C:\\");
    Choose(o, 2);  // E:
    EXPECT_EQ(Folder(o), "E:\\");
    // Typing does not stop the box from following the drive.
    Type(o, kFolder, "C:\\TEMP");
    Choose(o, 0);
    EXPECT_EQ(Folder(o), "C:\\");
    Press(o, kOk);
  }));
  EXPECT_EQ(startFolder, "C:\\");
  EXPECT_EQ(settings->drive, 2);
  EXPECT_FALSE(settings->cdromTarget);
}

TEST_F(OptionsDialogTest, RestoreIsOfferedOnlyWithPreScanForACdromDrive) {
  settings->showCdromOnly = false;
  settings->preScan = false;
  settings->drive = 2;
  ASSERT_TRUE(Run([&](COptionsDialog& o) {
    EXPECT_FALSE(Enabled(o, kResume));
    Choose(o, 1);  // D:, a CD-ROM drive
    EXPECT_FALSE(Enabled(o, kResume));
    Tick(o, kPreScan);
    EXPECT_TRUE(Enabled(o, kResume));
    Choose(o, 0);
    EXPECT_FALSE(Enabled(o, kResume));
    Choose(o, 1);
    EXPECT_TRUE(Enabled(o, kResume));
    Tick(o, kResume);
    Tick(o, kPreScan);
    EXPECT_FALSE(Enabled(o, kResume));
    Press(o, kOk);
  }));
  EXPECT_FALSE(settings->preScan);
  EXPECT_FALSE(settings->resumeEnabled);
}

TEST_F(OptionsDialogTest, TheRerunNoticeComesOncePerOpening) {
  for (int opening = 0; opening < 2; ++opening) {
    std::string notice;
    int notices = 0;
    Run([&](COptionsDialog& o) {
      // Even a click on the language already chosen.
      for (int id : {kEnglish, kRussian, kEnglish}) {
        NextMessage next;
        Tick(o, id);
        QTest::qWait(30);
        if (next.watcher.Handled()) {
          notice = next.seen;
          ++notices;
        }
      }
      Press(o, kCancel);
    });
    EXPECT_EQ(notices, 1);
    EXPECT_EQ(notice, "Torvex info: Please, rerun program to change interface language. (8)");
  }
  EXPECT_EQ(settings->language, 1);  // Cancel
  ui_test::BoxWatcher answer([](ui::CMessageDialog& box) { box.done(1); });
  ASSERT_TRUE(Run([&](COptionsDialog& o) {
    Tick(o, kRussian);
    Press(o, kOk);
  }));
  EXPECT_EQ(settings->language, 0);
  EXPECT_EQ(res::InterfaceLanguage, 1);  // the running program keeps its language
}

TEST_F(OptionsDialogTest, OkFollowsTheFolderCheckWhichNeverMovesTheCurrentDirectory) {
  const std::string cwd = platform::CurrentDirectory();
  Run([&](COptionsDialog& o) {
    const struct {
      const char* text;
      bool valid;
    } cases[] = {
        {"", true},           {"D:\\", true},         {"d:\\", true},          {"D:\\DATA", true},
        {"d:\\DATA\\SUB\\", true}, {"D:", false},     {"D", false},            {"Y:\\", false},
        {"D:\\data", false},  {"D:\\DATA\\NONE", false}, {"DATA", false},      {"D:\\DATA\\..\\..", false},
    };
    for (const auto& c : cases) {
      Type(o, kFolder, QString::fromUtf8(c.text));
      EXPECT_EQ(Enabled(o, kOk), c.valid) << c.text;
      EXPECT_EQ(platform::CurrentDirectory(), cwd);
    }
    // Neither the button nor Enter gets past a folder that is not there.
    Type(o, kFolder, "D:\\NONE");
    Press(o, kOk);
    QTest::keyClick(ui::DlgItem(o, kFolder), Qt::Key_Return);
    EXPECT_TRUE(o.isVisible());
    // The clear button empties the box, and the box shows the drive's root.
    Press(o, kClear);
    EXPECT_TRUE(Enabled(o, kOk));
    EXPECT_EQ(Folder(o), "D:\\");
    QTest::keyClick(ui::DlgItem(o, kFolder), Qt::Key_Return);
  });
  EXPECT_EQ(startFolder, "D:\\");
}

TEST_F(OptionsDialogTest, OkHandsBackEveryControl) {
  settings->showCdromOnly = false;
  settings->drive = 2;  // C:, selected
  ASSERT_TRUE(Run([&](COptionsDialog& o) {
    Type(o, kFolder, "D:\\DATA\\");
    Type(o, kDelay, "");
    Tick(o, kFastCheck);
    Tick(o, kAppend);
    Tick(o, kSpeaker);
    QTest::keyClick(ui::DlgItem(o, kPriority), Qt::Key_End);
    Press(o, kOk);
  }));
  EXPECT_EQ(startFolder, "D:\\DATA");  // without its last backslash
  EXPECT_EQ(settings->drive, 2);
  EXPECT_TRUE(settings->cdromTarget);  // the start folder lies on a CD-ROM drive
  EXPECT_EQ(settings->driveListIndex, 0);
  EXPECT_EQ(settings->delaySeconds, 3);  // empty
  EXPECT_TRUE(settings->fastCheck);
  EXPECT_EQ(settings->logMode, records::kLogAppend);
  EXPECT_TRUE(settings->internalSpeaker);
  EXPECT_EQ(settings->priority, 6);

  // The start folder's drive decides, not the entry; a delay below 3 is 3.
  ASSERT_TRUE(Run([&](COptionsDialog& o) {
    EXPECT_EQ(Folder(o), "D:\\DATA");
    EXPECT_TRUE(Checked(o, kAppend));
    EXPECT_EQ(ui::DlgItemText(o, kDelay), "3");
    Choose(o, 1);  // D:
    Type(o, kFolder, "C:\\TEMP");
    Type(o, kDelay, "1");
    Tick(o, kSounds);
    EXPECT_FALSE(Enabled(o, kSpeaker));
    Tick(o, kCreateLog);
    EXPECT_FALSE(Enabled(o, kAppend));
    EXPECT_FALSE(Enabled(o, kOverwrite));
    Tick(o, kPreScan);
    Tick(o, kCdromOnly);
    Press(o, kOk);
  }));
  EXPECT_EQ(startFolder, "D:\\");  // CD-ROM drives only: the box followed the first one
  EXPECT_EQ(settings->drive, 3);
  EXPECT_TRUE(settings->cdromTarget);
  EXPECT_EQ(settings->delaySeconds, 3);
  EXPECT_FALSE(settings->sounds);
  EXPECT_TRUE(settings->internalSpeaker);
  EXPECT_FALSE(settings->createLog);
  EXPECT_FALSE(settings->preScan);
  EXPECT_TRUE(settings->showCdromOnly);

  ASSERT_TRUE(Run([&](COptionsDialog& o) {
    Type(o, kFolder, "C:\\TEMP");
    Type(o, kDelay, "45");
    Press(o, kOk);
  }));
  EXPECT_EQ(startFolder, "C:\\TEMP");
  EXPECT_EQ(settings->drive, 3);
  EXPECT_FALSE(settings->cdromTarget);
  EXPECT_EQ(settings->delaySeconds, 45);
}

TEST_F(OptionsDialogTest, CancelEscapeAndTheCloseBoxChangeNothing) {
  settings->showCdromOnly = false;
  startFolder = "D:\\DATA";
  const records::OptionBytes before = records::EncodeOptions(*settings);
  const std::function<void(COptionsDialog&)> close[] = {
      [](COptionsDialog& o) { Press(o, kCancel); },
      [](COptionsDialog& o) { QTest::keyClick(&o, Qt::Key_Escape); },
      [](COptionsDialog& o) { o.close(); },
  };
  for (const auto& closeIt : close) {
    EXPECT_FALSE(Run([&](COptionsDialog& o) {
      Choose(o, 2);
      Press(o, kClear);
      Tick(o, kCdromOnly);
      Tick(o, kFastCheck);
      Type(o, kDelay, "20");
      closeIt(o);
    }));
    EXPECT_EQ(records::EncodeOptions(*settings), before);
    EXPECT_EQ(startFolder, "D:\\DATA");
  }
}

TEST_F(OptionsDialogTest, NoCdromDriveInCdromOnlyModeSaysSoAndSelectsNothing) {
  const platform::DriveTable noCdrom =
      platform::DriveTable::Build(platform::DriveProbe{}, {{'C', platform::kDriveFixed, drives.c.Root()}});
  const std::string text =
      "Torvex error: No CD-ROM device found.\nUncheck 'Show CD-ROM devices only' option\nand choose device manually. (8)";
  NextMessage atStart;
  const auto handled = OnNextModal<COptionsDialog>([&](COptionsDialog& o) {
    EXPECT_EQ(atStart.seen, text);
    EXPECT_EQ(List(o)->count(), 0);
    EXPECT_EQ(Folder(o), "");
    EXPECT_TRUE(Enabled(o, kOk));
    EXPECT_FALSE(Enabled(o, kResume));
    Tick(o, kCdromOnly);
    EXPECT_EQ(Entries(o), QStringList{"C:   ( Fixed )"});
    EXPECT_EQ(Folder(o), "C:\\");
    NextMessage again;
    Tick(o, kCdromOnly);
    EXPECT_EQ(again.seen, text);
    EXPECT_EQ(Folder(o), "");
    Press(o, kOk);
  });
  settings->drive = 2;
  startFolder = "C:\\TEMP";
  startFolder.clear();
  ASSERT_TRUE(dialogs::RunOptionsDialog(nullptr, *settings, startFolder, checkRunning, noCdrom));
  EXPECT_TRUE(*handled);
  EXPECT_EQ(settings->drive, -1);
  EXPECT_FALSE(settings->cdromTarget);
  EXPECT_EQ(settings->driveListIndex, -1);
  EXPECT_EQ(startFolder, "");
}

using HelpRecordingOptions = dialogs_test::HelpRecording<COptionsDialog>;

TEST_F(OptionsDialogTest, HelpShowsThePopupOfTheControlAskedAbout) {
  HelpRecordingOptions options(*settings, startFolder, false, drives.table);
  OnNextModal<HelpRecordingOptions>([&](HelpRecordingOptions& o) {
    // F1 on the control that has the focus.
    for (int id : {kList, kDelay, kPriority, kOk}) {
      ui::DlgItem(o, id)->setFocus();
      QTest::keyClick(ui::DlgItem(o, id), Qt::Key_F1);
    }
    // The caption's help button, then a click on a control, on a frame
    // around controls, and on the frame that carries no help.
    QWhatsThis::enterWhatsThisMode();
    Tick(o, kCdromOnly);
    EXPECT_FALSE(QWhatsThis::inWhatsThisMode());
    EXPECT_EQ(Checked(o, kCdromOnly), settings->showCdromOnly.load());  // the click only asked for help
    const QRect device = ui::DlgItem(o, kDeviceGroup)->geometry();
    const QRect list = List(o)->geometry();
    const QPoint inFrame(device.left() + 2, list.bottom() + 2);
    ASSERT_TRUE(device.contains(inFrame) && !list.contains(inFrame));
    QHelpEvent onFrame(QEvent::WhatsThis, inFrame, o.mapToGlobal(inFrame));
    QApplication::sendEvent(&o, &onFrame);
    const QPoint inPlainFrame = ui::DlgItem(o, kFastCheck)->geometry().topRight() + QPoint(20, 2);
    QHelpEvent onPlainFrame(QEvent::WhatsThis, inPlainFrame, o.mapToGlobal(inPlainFrame));
    QApplication::sendEvent(&o, &onPlainFrame);
    Press(o, kCancel);
  });
  options.DoModal();
  EXPECT_EQ(options.popups, (std::vector<uint32_t>{ui::HelpContextId(130, kList), ui::HelpContextId(130, kDelay),
                                                   ui::HelpContextId(130, kPriority), 0x808203F8u,
                                                   ui::HelpContextId(130, kDeviceGroup)}));
}

// A real check of drive D: (a CD-ROM drive), held at the start of its
// second file until released.
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
    deps.text = testing_support::EnglishText;
    deps.toNativePath = [this](const std::string& root) { return drives.table.ToNativePath(root); };
    deps.setReaderPriority = [this](int position) {
      std::lock_guard lock(m_);
      priorities.push_back(position);
      return 0;
    };
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
    const auto end = std::chrono::steady_clock::now() + 30s;
    while (blocks < 7 && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(1ms);
    ASSERT_EQ(blocks, 7);
  }

  std::vector<int> Priorities() {
    std::lock_guard lock(m_);
    return priorities;
  }
  std::set<std::string> CheckedFiles() const {
    std::set<std::string> names;
    for (const auto& n : window->FieldHistory(engine::kIdCurrentFile)) {
      if (!n.empty()) names.insert(n);
    }
    return names;
  }

  std::shared_ptr<testing_support::RecordingWindow> window = std::make_shared<testing_support::RecordingWindow>();
  std::unique_ptr<engine::ScanEngine> engine;
  std::atomic<int> blocks{0};
  std::atomic<bool> release{false};
  std::mutex m_;
  std::vector<int> priorities;
};

TEST_F(OptionsDuringACheckTest, OnlyTheLiveOptionsChangeAndTheNextFileReadsByThem) {
  StartHeldInSecondFile();
  ASSERT_TRUE(checkRunning());
  ASSERT_TRUE(Run([&](COptionsDialog& o) {
    EXPECT_EQ(o.windowTitle(), "Options (cheking in progress)");
    for (int id : {kCdromOnly, kPreScan, kResume, kCreateLog, kList, kDeviceGroup, kRussian, kEnglish,
                   kLanguageGroup, kFolderGroup, kFolder, kBrowse, kClear, kAppend, kOverwrite}) {
      EXPECT_FALSE(Enabled(o, id)) << id;
    }
    for (int id : {kFastCheck, kSounds, kSpeaker, kDelay, kPriority, kOk, kCancel}) EXPECT_TRUE(Enabled(o, id)) << id;
    EXPECT_EQ(Folder(o), "D:\\");
    Tick(o, kFastCheck);
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
  // The rest stays as the check found it.
  EXPECT_EQ(settings->driveListIndex, -1);
  EXPECT_EQ(startFolder, "");

  release = true;
  ASSERT_TRUE(engine->WaitForCheckThread(30s));
  // The second file's reader had begun at the old priority; the files after
  // it took the new one. Fast checking skipped 64 KiB after every block of
  // the rest: 32,768 + 1,696 bytes of each 100,000.
  EXPECT_EQ(Priorities(), (std::vector<int>{3, 3, 5, 5}));
  EXPECT_EQ(engine->State().bytesRead, 100'000 + 3 * 34'464);
  EXPECT_EQ(engine->State().disk.filesChecked, 4);
}

TEST_F(OptionsDuringACheckTest, ACheckThatEndsWhileTheDialogIsOpenLetsOkTakeEverything) {
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
    OnNextModal<CFolderBrowserDialog>([](CFolderBrowserDialog& b) {
      // The browser opens on the folder of the box: D:\.
      QTreeWidgetItem* d = b.m_tree->FindChildByName(b.m_tree->m_hRootItem, "D:");
      ASSERT_TRUE(d->isSelected());
      QTreeWidgetItem* data = dialogs_test::Child(d, "DATA");
      QTest::mouseClick(b.m_tree->viewport(), Qt::LeftButton, Qt::NoModifier,
                        b.m_tree->visualItemRect(data).center());
      QTest::mouseClick(b.m_btnOk, Qt::LeftButton);
    });
    Press(o, kBrowse);
    EXPECT_EQ(Folder(o), "D:\\DATA\\");
    Press(o, kOk);
  }));
  EXPECT_EQ(startFolder, "D:\\DATA");
  EXPECT_TRUE(settings->cdromTarget);

  engine->SetStartFolder(startFolder);
  ASSERT_TRUE(engine->Start());
  ASSERT_TRUE(engine->WaitForCheckThread(30s));
  EXPECT_EQ(CheckedFiles(), (std::set<std::string>{"IN.TXT", "DEEP.TXT"}));
  EXPECT_EQ(engine->State().disk.filesChecked, 2);
}

}  // namespace
