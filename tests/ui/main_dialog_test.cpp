// The main window end to end, offscreen: whole checks from START to the report
// on real files and on a FUSE file system that fails like a damaged disc, the
// readiness messages, Exit and the resume question, Clear statistics, the
// first-run language, and closing while the engine still works.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <atomic>
#include <chrono>
#include <mutex>
#include <regex>
#include <thread>

#include "dialogs/about_dialog.h"
#include "dialogs/folder_browser_dialog.h"
#include "dialogs/folder_tree_ctrl.h"
#include "dialogs/language_dialog.h"
#include "dialogs/options_dialog.h"
#include "platform/registry.h"
#include "records/disk_info_store.h"
#include "records/settings_store.h"
#include "res/text_table.h"
#include "tests/dialogs/folder_dialogs_support.h"
#include "tests/support/engine_fakes.h"
#include "tests/support/error_list_rows.h"
#include "tests/support/fault_fs.h"
#include "tests/support/file_bytes.h"
#include "tests/support/temp_tree.h"
#include "tests/ui/modal_answers.h"
#include "tests/ui/ui_test_helpers.h"
#include "ui/bitmap_button.h"
#include "ui/help_viewer.h"
#include "app/main_dialog.h"
#include "ui/message_dialog.h"

namespace {

using namespace std::chrono_literals;
using testing_support::FaultFile;
using testing_support::FaultFs;
using testing_support::ReadBytes;
using testing_support::TempTree;
using Row = std::array<std::string, 4>;

using ui_test::ModalAnswers;
using ui_test::WaitFor;

// An error list that runs out of memory once it holds `rows` rows.
class ShortOfMemoryList : public ui::CErrorListModel {
 public:
  explicit ShortOfMemoryList(int rows) : rows_(rows) {}

 protected:
  void MakeRoom() override {
    if (rowCount() >= rows_) throw std::bad_alloc();
    CErrorListModel::MakeRoom();
  }

 private:
  int rows_;
};

// Holds the first reader at its start, once it has read a file's bytes.
class DiskInfoAtTheFirstReader : public testing_support::HeldReaders {
 public:
  explicit DiskInfoAtTheFirstReader(std::string path) : HeldReaders(1), path_(std::move(path)) {}
  // Once Reached.
  std::string Bytes() const { return bytes_; }

 protected:
  int AtReaderStart(int n, int position) override {
    if (n == 1) bytes_ = ReadBytes(path_);
    return HeldReaders::AtReaderStart(n, position);
  }

 private:
  const std::string path_;
  std::string bytes_;
};

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(chdir(program.Root().c_str()), 0);
    res::InterfaceLanguage = 1;
  }
  void TearDown() override {
    window.reset();
    if (fs) fs->ForceUnmount();
  }

  // Options stored as if by an earlier run: drive D:, a CD-ROM, and the delay.
  void StoreOptions(const std::function<void(engine::Settings&)>& change = {}) {
    records::SettingsStore store(*registry);
    store.TakeProgramFolder();
    store.LoadSettings();
    engine::Settings& s = *store.settings;
    s.drive = 3;
    s.cdromTarget = true;
    s.sounds = true;
    if (change) change(s);
    store.SaveSettings();
  }
  void Pin(char letter, int kind, const std::string& path) {
    platform::RegistryKey key;
    ASSERT_EQ(registry->CreateKey(std::string(records::kProgramKey) + "\\Drives", &key, nullptr), platform::kRegOk);
    key.SetString(std::string(1, letter), std::to_string(kind) + "," + path);
  }
  bool Serve(std::vector<FaultFile> files) {
    fs = std::make_unique<FaultFs>(std::move(files));
    std::string why;
    if (!fs->Mount(&why)) {
      skipWhy = "FUSE fault injection unavailable: " + why;
      return false;
    }
    Pin('D', 5, fs->MountPoint());
    return true;
  }

  // A new window, started in the program folder as the program would be
  // (a check leaves the current directory on the checked disk).
  ui::CMainDialog& Open() {
    EXPECT_EQ(chdir(program.Root().c_str()), 0);
    ui::MainDialogServices services;
    services.registry = registry;
    services.volumes = volumes;
    services.sounds = sounds;
    services.threads = threads;
    if (errorList) services.errorList = std::move(errorList);
    window = std::make_unique<ui::CMainDialog>(std::move(services));
    EXPECT_TRUE(window->Create());
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    return *window;
  }
  void Click(int id) {
    QWidget* button = ui::DlgItem(*window, id);
    ASSERT_NE(button, nullptr);
    ASSERT_TRUE(button->isVisible() && button->isEnabled()) << "button " << id;
    QTest::mouseClick(button, Qt::LeftButton);
  }
  std::vector<Row> Rows() const { return testing_support::ErrorListRows(window->ErrorList()); }
  std::string Text(int id) const { return ui::DlgItemText(*window, id).toStdString(); }
  // Waits for the end of the run and its report.
  bool WaitForReport() {
    const auto reports = [&] {
      int n = 0;
      for (const auto& b : modal.Boxes()) n += b.caption == "Torvex check finished";
      return n;
    };
    if (!WaitFor([&] { return reports() > reportsSeen; })) return false;
    reportsSeen = reports();
    return true;
  }
  // The last report.
  std::string Report() const {
    std::string text = "(no report)";
    for (const auto& b : modal.Boxes())
      if (b.caption == "Torvex check finished") text = b.text;
    return text;
  }
  int reportsSeen = 0;
  // Holds the reader of the n-th file (1-based) at its start until
  // hold->Release().
  void HoldReader(int n, testing_support::FakeThreads::Options options = {}) {
    hold = std::make_shared<testing_support::HeldReaders>(n, std::move(options));
    threads = hold;
  }
  std::string LogBytes() const { return ReadBytes(program.Path("Torvex.log")); }
  std::string DiskInfoBytes() const { return ReadBytes(program.Path("Torvex.tvd")); }
  std::string Section(const engine::ResumeRecord& r, const std::string& label) const {
    char head[64];
    std::snprintf(head, sizeof head, "\r\n\r\n[%08x, %s]\r\n", r.serial, label.c_str());
    unsigned char bytes[records::kResumeRecordSize];
    records::EncodeResumeRecord(r, bytes);
    return head + std::string(reinterpret_cast<char*>(bytes), sizeof bytes);
  }

  TempTree program;
  TempTree disk;
  testing_support::CwdGuard cwd;
  std::shared_ptr<platform::Registry> registry = std::make_shared<platform::Registry>(program.Path("registry.reg"));
  std::shared_ptr<testing_support::FakeVolumes> volumes =
      std::make_shared<testing_support::FakeVolumes>("FAULTDISC", 0x00C0FFEE);
  std::shared_ptr<testing_support::RecordingSounds> sounds = std::make_shared<testing_support::RecordingSounds>();
  // The next window's threads.
  std::shared_ptr<testing_support::FakeThreads> threads = std::make_shared<testing_support::FakeThreads>();
  std::shared_ptr<testing_support::HeldReaders> hold;
  std::unique_ptr<ui::CErrorListModel> errorList;  // the next window's, when set
  std::unique_ptr<FaultFs> fs;
  std::string skipWhy;
  ModalAnswers modal;
  std::unique_ptr<ui::CMainDialog> window;
};

TEST_F(MainWindowTest, ACheckOfADamagedDiscFromStartToTheReport) {
  if (!Serve({{"BADBLOCK.BIN", 200'000, FaultFile::kEio, 70'000},
              {"LOCKED.BIN", 5'000, FaultFile::kNoOpen},
              {"STALL.BIN", 4 * 32768, FaultFile::kStall, 32768},
              {"SUB/GOOD.BIN", 50'000}})) {
    GTEST_SKIP() << skipWhy;
  }
  StoreOptions([](engine::Settings& s) { s.delaySeconds = 2; });
  ui::CMainDialog& w = Open();
  EXPECT_EQ(w.windowTitle(), "Torvex - [D:\\]");
  const std::string logBefore = LogBytes();
  const std::string diskInfoBefore = DiskInfoBytes();

  Click(engine::kIdStart);
  // Once the disc has been examined, STOP stands where START was.
  ASSERT_TRUE(WaitFor([&] { return ui::DlgItem(w, engine::kIdStop)->isVisible(); }));
  EXPECT_FALSE(ui::DlgItem(w, engine::kIdStart)->isVisible());
  // The stalled read is given up after the delay, and the walk goes on.
  ASSERT_TRUE(WaitFor([&] { return fs->StalledReads() == 1; }));
  ASSERT_TRUE(WaitForReport());
  EXPECT_EQ(fs->Reads("SUB/GOOD.BIN").size(), 2u);
  QDir().mkpath(TORVEX_SCREENSHOT_DIR);
  w.grab().save(TORVEX_SCREENSHOT_DIR "/main_window_after_check.png");

  EXPECT_EQ(Report(), "The checking is complete\nFiles checked: 4\nFiles with errors (read/open): 2 / 1");
  std::vector<Row> rows = Rows();
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0], (Row{"*** New Disk ***", "", "", "FAULTDISC,  "}));
  std::sort(rows.begin() + 1, rows.end());
  EXPECT_EQ(rows[1], (Row{"BADBLOCK.BIN", "Read", "64", "D:\\"}));
  EXPECT_EQ(rows[2], (Row{"LOCKED.BIN", "Open", "", "D:\\"}));
  EXPECT_EQ(rows[3], (Row{"STALL.BIN", "Read", "32", "D:\\"}));
  EXPECT_EQ(w.NextRow(), 4);
  // The display is reset and START is back.
  EXPECT_TRUE(ui::DlgItem(w, engine::kIdStart)->isVisible());
  EXPECT_TRUE(ui::DlgItem(w, engine::kIdStart)->isEnabled());
  EXPECT_FALSE(ui::DlgItem(w, engine::kIdSkip)->isEnabled());
  EXPECT_EQ(Text(engine::kIdCurrentFile), "");
  EXPECT_EQ(Text(engine::kIdDiskPercent), "");
  EXPECT_EQ(Text(engine::kIdVolumeLabel), "");
  EXPECT_NE(Text(engine::kIdElapsed), "");

  const auto events = sounds->Events();
  EXPECT_EQ(std::count(events.begin(), events.end(), 1), 2);
  EXPECT_EQ(std::count(events.begin(), events.end(), 2), 1);
  EXPECT_EQ(events.back(), 7);

  // The log: the disk header and one line per error, in the walk's order.
  const std::string log = LogBytes().substr(logBefore.size());
  std::regex expected(
      "\r\n\r\n\\[FAULTDISC, \\d\\d/\\d\\d/\\d{4}, [ 12]\\d:\\d\\d\\]"
      "(\r\n (BADBLOCK\\.BIN, Read, 64|LOCKED\\.BIN, Open, |STALL\\.BIN, Read, 32), D:\\\\){3}");
  EXPECT_TRUE(std::regex_match(log, expected)) << log;
  // The disk is remembered with every file checked.
  const int64_t total = 200'000 + 5'000 + 4 * 32768 + 50'000;
  EXPECT_EQ(DiskInfoBytes(),
            diskInfoBefore + Section({0x00C0FFEE, 4, 4, static_cast<uint32_t>(total), static_cast<uint32_t>(total), 100},
                                     "FAULTDISC"));
}

// A disc whose first sectors keep the drive busy: START returns at once and
// the window answers while the drive is still busy with the disc, showing
// what it showed before START. Once the drive gives the disc, the run goes
// on as ever: its disk row, its rows, the log and the report.
TEST_F(MainWindowTest, TheWindowAnswersWhileTheDriveIsSlowToGiveItsDiscAndTheRunGoesOnOnceItDoes) {
  disk.File("A.DAT", 40'000);
  disk.Symlink("GONE.LNK", "nowhere");
  Pin('D', 5, disk.Root());
  StoreOptions();
  // Busy for three seconds at most: a window that waited for it would be late, not stuck.
  auto slow = std::make_shared<testing_support::SlowVolumes>("SLOWDISC", 0x5107, 3s);
  volumes = slow;
  ui::CMainDialog& w = Open();
  const std::string logBefore = LogBytes();

  Click(engine::kIdStart);
  ASSERT_TRUE(WaitFor([&] { return slow->Reached() == 1; }));
  ASSERT_EQ(slow->Inside(), 1) << "START waited for the drive";
  EXPECT_TRUE(ui::DlgItem(w, engine::kIdStart)->isVisible());
  EXPECT_TRUE(ui::DlgItem(w, engine::kIdStart)->isEnabled());
  EXPECT_FALSE(ui::DlgItem(w, engine::kIdStop)->isVisible());
  EXPECT_EQ(Text(engine::kIdVolumeLabel), "");
  EXPECT_TRUE(Rows().empty());

  // A call queued on the UI thread runs at once, and a click on a panel's
  // button is handled, twice over, while the drive is still busy.
  bool answered = false;
  QTimer::singleShot(0, &w, [&] { answered = true; });
  EXPECT_TRUE(WaitFor([&] { return answered; }, 100ms));
  Click(ui::CMainDialog::kIdToggleTime);
  EXPECT_FALSE(w.Panels().showTime);
  Click(ui::CMainDialog::kIdToggleTime);
  EXPECT_TRUE(w.Panels().showTime);
  EXPECT_EQ(slow->Inside(), 1);
  EXPECT_TRUE(modal.Boxes().empty());

  slow->Release();
  ASSERT_TRUE(WaitForReport());
  EXPECT_EQ(Report(), "The checking is complete\nFiles checked: 2\nFiles with errors (read/open): 0 / 1");
  EXPECT_EQ(modal.Boxes().size(), 1u);
  EXPECT_EQ(Rows(), (std::vector<Row>{{"*** New Disk ***", "", "", "SLOWDISC,  "}, {"GONE.LNK", "Open", "", "D:\\"}}));
  EXPECT_TRUE(ui::DlgItem(w, engine::kIdStart)->isVisible());
  EXPECT_FALSE(ui::DlgItem(w, engine::kIdStop)->isVisible());
  const std::string log = LogBytes().substr(logBefore.size());
  EXPECT_TRUE(std::regex_match(log, std::regex("\r\n\r\n\\[SLOWDISC, [^\\]]*\\]\r\n GONE\\.LNK, Open, , D:\\\\")))
      << log;
}

// START pressed again while the drive is busy with the disc is STOP: it
// greys out until the drive answers, and then the start is given up without
// a word, a row or a record, and START can start again. EXIT meanwhile ends
// the window at once, and nothing is asked or recorded once the drive answers.
TEST_F(MainWindowTest, StartPressedAgainOrExitWhileTheDriveIsSlowGivesTheStartUp) {
  disk.File("A.DAT", 1'000);
  Pin('D', 5, disk.Root());
  StoreOptions();
  auto slow = std::make_shared<testing_support::SlowVolumes>("SLOWDISC", 0x5107, 60s);
  volumes = slow;
  ui::CMainDialog& w = Open();
  const std::string log = LogBytes();
  const std::string diskInfo = DiskInfoBytes();
  Click(engine::kIdStart);
  ASSERT_TRUE(WaitFor([&] { return slow->Inside() == 1; }));
  Click(engine::kIdStart);
  EXPECT_TRUE(w.Engine().State().stopRequest);
  EXPECT_FALSE(ui::DlgItem(w, engine::kIdStart)->isEnabled());
  EXPECT_TRUE(ui::DlgItem(w, engine::kIdStart)->isVisible());
  slow->Release();
  ASSERT_TRUE(WaitFor([&] { return ui::DlgItem(w, engine::kIdStart)->isEnabled(); }));
  EXPECT_TRUE(w.Engine().State().idle);
  ASSERT_TRUE(w.Engine().WaitForCheckThread(10s));
  QTest::qWait(50);
  EXPECT_TRUE(modal.Boxes().empty());
  EXPECT_TRUE(Rows().empty());
  EXPECT_EQ(Text(engine::kIdVolumeLabel), "");
  EXPECT_FALSE(ui::DlgItem(w, engine::kIdStop)->isVisible());
  EXPECT_EQ(LogBytes(), log);
  EXPECT_EQ(DiskInfoBytes(), diskInfo);
  // The drive answers at once now: the run goes.
  Click(engine::kIdStart);
  ASSERT_TRUE(WaitForReport());
  EXPECT_EQ(Report(), "The checking is complete\nFiles checked: 1\nNo error were detected");
  ASSERT_EQ(Rows().size(), 1u);
  EXPECT_EQ(Rows()[0], (Row{"*** New Disk ***", "", "", "SLOWDISC,  "}));

  // EXIT while the drive is busy.
  auto slower = std::make_shared<testing_support::SlowVolumes>("SLOWDISC", 0x5107, 60s);
  volumes = slower;
  ui::CMainDialog& second = Open();
  const std::size_t boxes = modal.Boxes().size();
  const std::string log2 = LogBytes();
  const std::string diskInfo2 = DiskInfoBytes();
  Click(engine::kIdStart);
  ASSERT_TRUE(WaitFor([&] { return slower->Inside() == 1; }));
  const auto exitAt = std::chrono::steady_clock::now();
  Click(ui::CMainDialog::kIdExit);
  EXPECT_FALSE(second.isVisible());
  EXPECT_LT(std::chrono::steady_clock::now() - exitAt, 1s);
  slower->Release();
  ASSERT_TRUE(second.Engine().WaitForCheckThread(10s));
  QTest::qWait(50);
  EXPECT_EQ(modal.Boxes().size(), boxes);  // not even the resume question
  EXPECT_TRUE(Rows().empty());
  EXPECT_EQ(LogBytes(), log2);
  EXPECT_EQ(DiskInfoBytes(), diskInfo2);
}

TEST_F(MainWindowTest, ExitMidRunSavesTheProgressAndTheNextWindowContinuesOrChecksAgain) {
  for (int i = 1; i <= 5; ++i) disk.File("F" + std::to_string(i) + ".DAT", 40'000);
  Pin('D', 5, disk.Root());
  StoreOptions();
  // EXIT, and Escape or the close box pressed by habit, all save the
  // progress of a running check.
  const std::pair<const char*, std::function<void(ui::CMainDialog&)>> ways[] = {
      {"Escape", [](ui::CMainDialog& w) { QTest::keyClick(&w, Qt::Key_Escape); }},
      {"the close box", [](ui::CMainDialog& w) { w.close(); }},
      {"EXIT", [this](ui::CMainDialog&) { Click(ui::CMainDialog::kIdExit); }},
  };
  std::string saved;
  for (const auto& [way, leave] : ways) {
    std::remove(program.Path("Torvex.tvd").c_str());
    HoldReader(3);
    ui::CMainDialog& first = Open();
    Click(engine::kIdStart);
    ASSERT_TRUE(WaitFor([&] { return hold->Reached(); })) << way;
    const auto exitAt = std::chrono::steady_clock::now();
    leave(first);
    EXPECT_FALSE(first.isVisible()) << way;
    EXPECT_LT(std::chrono::steady_clock::now() - exitAt, 1s) << way;
    EXPECT_EQ(first.result(), 2) << way;
    // Two files were checked and saved; nothing is recorded after the window went.
    saved = DiskInfoBytes();
    const std::string log = LogBytes();
    hold->Release();
    ASSERT_TRUE(first.Engine().WaitForCheckThread(30s)) << way;
    EXPECT_EQ(DiskInfoBytes(), saved) << way;
    EXPECT_EQ(LogBytes(), log) << way;
    EXPECT_EQ(Rows().size(), 1u) << way;
    window.reset();
    EXPECT_NE(saved.find(Section({0x00C0FFEE, 5, 2, 200'000, 80'000, 40}, "FAULTDISC")), std::string::npos) << way;
  }

  // A new window on the same program folder asks, and Continue checking reads
  // only the files not checked yet.
  threads = std::make_shared<testing_support::FakeThreads>();
  modal.answer = [](const ModalAnswers::Box& b) {
    return b.caption == "Torvex disk restore" ? engine::kIdContinue : engine::kIdOk;
  };
  Open();
  Click(engine::kIdStart);
  ASSERT_TRUE(WaitForReport());
  EXPECT_EQ(modal.Boxes().at(0).text, "This disk has been checked (40%)\nDo you want to start or continue checking?");
  EXPECT_EQ(modal.Boxes().at(0).type, engine::kMsgResume);
  EXPECT_EQ(threads->ReaderStarts().size(), 3u);
  // The two files passed over are told apart from the three read.
  EXPECT_EQ(Report(),
            "The checking is complete\nFiles checked: 5\nFiles passed over, checked by an earlier run: 2\n"
            "No error were detected in the files read by this run");
  window.reset();

  // Check again: the record holds zero progress before the first file is read.
  disk.Symlink("Z.LNK", "nowhere");  // an Open row after Clear statistics
  modal.answer = [](const ModalAnswers::Box& b) {
    return b.caption == "Torvex disk restore" ? engine::kIdCheckAgain : engine::kIdOk;
  };
  auto atFirstReader = std::make_shared<DiskInfoAtTheFirstReader>(program.Path("Torvex.tvd"));
  hold = atFirstReader;
  threads = atFirstReader;
  ui::CMainDialog& third = Open();
  Click(engine::kIdStart);
  ASSERT_TRUE(WaitFor([&] { return hold->Reached(); }));
  const std::string atFirstFile = atFirstReader->Bytes();
  EXPECT_EQ(atFirstFile.size(), saved.size());  // rewritten in place
  EXPECT_NE(atFirstFile.find(Section({0x00C0FFEE, 5, 0, 200'000, 0, 0}, "FAULTDISC")), std::string::npos);
  // Clear statistics during the run: the next row goes to the top.
  ASSERT_EQ(Rows().size(), 1u);
  Click(ui::CMainDialog::kIdClear);
  EXPECT_TRUE(Rows().empty());
  EXPECT_EQ(third.NextRow(), 0);
  hold->Release();
  ASSERT_TRUE(WaitForReport());
  ASSERT_EQ(Rows().size(), 1u);
  EXPECT_EQ(Rows()[0], (Row{"Z.LNK", "Open", "", "D:\\"}));
  // The report still counts the errors that were cleared away with the rest.
  EXPECT_EQ(Report(), "The checking is complete\nFiles checked: 6\nFiles with errors (read/open): 0 / 1");
}

TEST_F(MainWindowTest, StartRefusesWithoutADeviceOnAnEmptyDriveAndForAnAudioDisc) {
  StoreOptions([](engine::Settings& s) { s.drive = -1; });
  ui::CMainDialog& w = Open();
  EXPECT_EQ(w.windowTitle(), "Torvex");
  Click(engine::kIdStart);
  // (The options may say next that this machine has no CD-ROM drive.)
  ASSERT_TRUE(WaitFor([&] { return modal.Boxes().size() >= 1; }));
  EXPECT_EQ(modal.Boxes()[0].text, "No device selected for checking.\nPlease, configure options.");
  EXPECT_EQ(modal.Boxes()[0].caption, "Torvex error");
  // Then the options, to choose one.
  ASSERT_TRUE(WaitFor([&] { return modal.optionsOpened == 1; }));
  EXPECT_TRUE(w.Engine().State().idle);

  // Stored bytes that name no drive either (26, 127 and 254), with a
  // language byte of 255 (English) and a log mode of 0 (append: the log
  // is never emptied).
  testing_support::WriteBytes(program.Path("Torvex.log"), "an earlier log\r\n");
  for (const int drive : {26, 127, -2}) {
    SCOPED_TRACE(drive);
    window.reset();
    StoreOptions([drive](engine::Settings& s) {
      s.drive = drive;
      s.language = 255;
      s.createLog = true;
      s.logMode = 0;
    });
    const std::size_t boxesBefore = modal.Boxes().size();
    const int optionsBefore = modal.optionsOpened;
    res::InterfaceLanguage = 0;
    ui::CMainDialog& other = Open();
    EXPECT_EQ(other.windowTitle(), "Torvex");
    EXPECT_EQ(Text(1109), "Statictics") << "English captions";
    Click(engine::kIdStart);
    ASSERT_TRUE(WaitFor([&] { return modal.Boxes().size() > boxesBefore; }));
    EXPECT_EQ(modal.Boxes()[boxesBefore].text, "No device selected for checking.\nPlease, configure options.");
    ASSERT_TRUE(WaitFor([&] { return modal.optionsOpened == optionsBefore + 1; }));
    EXPECT_TRUE(other.Engine().State().idle);
  }
  EXPECT_EQ(LogBytes().rfind("an earlier log\r\n", 0), 0u) << LogBytes();

  // A drive with no disk in it: asked again on Retry, nothing on Cancel.
  window.reset();
  StoreOptions([](engine::Settings& s) { s.drive = 4; });
  Pin('E', 5, disk.Path("no-disc-here"));
  volumes = nullptr;  // the real query of the drives
  int asked = 0;
  modal.answer = [&](const ModalAnswers::Box&) { return ++asked < 3 ? engine::kIdRetry : engine::kIdCancel; };
  Open();
  Click(engine::kIdStart);
  ASSERT_TRUE(WaitFor([&] { return asked == 3; }));
  const auto boxes = modal.Boxes();
  EXPECT_EQ(boxes.back().text, "There is no disk in selected device");
  EXPECT_EQ(boxes.back().caption, "Torvex Warning");
  EXPECT_EQ(boxes.back().type, engine::kMsgRetry);
  ASSERT_TRUE(WaitFor([&] { return window->Engine().State().idle.load(); }));
  QTest::qWait(50);
  EXPECT_TRUE(Rows().empty());

  // An audio disc.
  window.reset();
  volumes = std::make_shared<testing_support::FakeVolumes>("Audio CD", 0);
  modal.answer = [](const ModalAnswers::Box&) { return engine::kIdOk; };
  Open();
  Click(engine::kIdStart);
  ASSERT_TRUE(WaitFor([&] { return modal.Boxes().size() == boxes.size() + 1; }));
  EXPECT_EQ(modal.Boxes().back().text,
            "There is an audio compact disk in your device.\nChecking of AudioCD isn't available in this version of Torvex");
  // The label shown with the box is taken off again.
  EXPECT_TRUE(WaitFor([&] { return Text(engine::kIdVolumeLabel).empty(); }));
  ASSERT_TRUE(WaitFor([&] { return window->Engine().State().idle.load(); }));
  EXPECT_TRUE(Rows().empty());

  // A panel hidden and shown twice: greyed out and back, and its tooltip
  // says "Hide info window" again.
  QWidget* toggle = ui::DlgItem(*window, ui::CMainDialog::kIdToggleTime);
  auto tip = [&] { return window->Tooltips().GetText(toggle).toStdString(); };
  EXPECT_EQ(tip(), "Hide info window");
  for (int i = 0; i < 2; ++i) {
    Click(ui::CMainDialog::kIdToggleTime);
    EXPECT_EQ(tip(), "Show info window");
    EXPECT_FALSE(ui::DlgItem(*window, engine::kIdElapsed)->isEnabled());
    EXPECT_FALSE(window->Panels().showTime);
    Click(ui::CMainDialog::kIdToggleTime);
    EXPECT_EQ(tip(), "Hide info window");
    EXPECT_TRUE(ui::DlgItem(*window, engine::kIdElapsed)->isEnabled());
  }

  ui::SetHelpFile(TORVEX_HELP_FILE);  // the test program has no help file of its own name
  // F1 opens the help at the main window's topic, HELP at the list of topics;
  // the viewer goes when the window goes.
  QTest::keyClick(window.get(), Qt::Key_F1);
  ASSERT_NE(ui::HelpViewerWindow(), nullptr);
  EXPECT_TRUE(ui::HelpViewerWindow()->isVisible());
  EXPECT_EQ(ui::HelpViewerTopic(), 0x20066u);
  ui::HelpViewerWindow()->hide();
  Click(ui::CMainDialog::kIdHelp);
  EXPECT_TRUE(ui::HelpViewerWindow()->isVisible());

  // Enter does nothing; Escape closes the window.
  QTest::keyClick(window.get(), Qt::Key_Return);
  EXPECT_TRUE(window->isVisible());
  QTest::keyClick(window.get(), Qt::Key_Escape);
  EXPECT_FALSE(window->isVisible());
  window.reset();
  EXPECT_EQ(ui::HelpViewerWindow(), nullptr);
}

TEST_F(MainWindowTest, OptionsDuringACheckReachTheNextFileAndAStartFolderFromTheBrowserIsCheckedNext) {
  for (int i = 0; i < 4; ++i) disk.File("F" + std::to_string(i), 50'000);
  disk.File("DATA/IN.TXT", 2'000);
  disk.File("DATA/SUB/DEEP.TXT", 40'000);
  Pin('D', 5, disk.Root());
  StoreOptions();
  // Each reader's priority, as asked, the second one held at its start.
  HoldReader(2, testing_support::FakeThreads::Answering(0));
  ui::CMainDialog& w = Open();
  Click(engine::kIdStart);
  ASSERT_TRUE(WaitFor([&] { return hold->Reached(); }));

  modal.options = [](dialogs::COptionsDialog& o) {
    EXPECT_EQ(o.windowTitle(), "Options (cheking in progress)");
    EXPECT_FALSE(ui::DlgItem(o, 1126)->isEnabled());
    QTest::keyClick(ui::DlgItem(o, 1096), Qt::Key_End);  // the highest priority
    QTest::mouseClick(ui::DlgItem(o, 1), Qt::LeftButton);
  };
  Click(ui::CMainDialog::kIdOption);
  EXPECT_EQ(w.Store().settings->priority, 6);
  EXPECT_EQ(w.windowTitle(), "Torvex - [D:\\]");
  hold->Release();
  ASSERT_TRUE(WaitForReport());
  EXPECT_EQ(threads->Positions(), (std::vector<int>{3, 3, 6, 6, 6, 6}));  // from the file after the one in hand

  // The browser picks D:\DATA; the title names it and Start checks it alone.
  modal.options = [](dialogs::COptionsDialog& o) {
    dialogs_test::OnNextModal<dialogs::CFolderBrowserDialog>([](dialogs::CFolderBrowserDialog& b) {
      QTreeWidgetItem* data = b.m_tree->FindChildByName(b.m_tree->currentItem(), "DATA");
      ASSERT_NE(data, nullptr);
      QTest::mouseClick(b.m_tree->viewport(), Qt::LeftButton, {}, b.m_tree->visualItemRect(data).center());
      QTest::mouseClick(ui::DlgItem(b, 1), Qt::LeftButton);
    });
    QTest::mouseClick(ui::DlgItem(o, 1126), Qt::LeftButton);
    EXPECT_EQ(ui::DlgItemText(o, 1125), "D:\\DATA\\");
    QTest::mouseClick(ui::DlgItem(o, 1), Qt::LeftButton);
  };
  Click(ui::CMainDialog::kIdOption);
  EXPECT_EQ(w.windowTitle(), "Torvex - [D:\\DATA]");
  EXPECT_EQ(w.Engine().StartFolder(), "D:\\DATA");
  Click(engine::kIdStart);
  ASSERT_TRUE(WaitForReport());
  EXPECT_EQ(Report(), "The checking is complete\nFiles checked: 2\nNo error were detected");
  EXPECT_EQ(Rows().back(), (Row{"*** New Disk ***", "", "", "FAULTDISC,  D:\\DATA"}));
}

TEST_F(MainWindowTest, TheFirstStartAsksTheLanguageAndRussianGivesRussianCaptions) {
  modal.language = 1118;
  Open();
  ASSERT_TRUE(window->isVisible());
  EXPECT_EQ(res::InterfaceLanguage.load(), 0);
  EXPECT_EQ(Text(1091), res::TextResource(117));  // "Time", in Russian
  EXPECT_EQ(Text(1109), res::TextResource(131));
  EXPECT_EQ(window->ErrorList().headerData(2, Qt::Horizontal).toString().toStdString(), res::TextResource(39));
  EXPECT_EQ(window->Tooltips().GetText(ui::DlgItem(*window, engine::kIdStart)).toStdString(),
            "Начать проверку диска");
  QDir().mkpath(TORVEX_SCREENSHOT_DIR);
  window->grab().save(TORVEX_SCREENSHOT_DIR "/main_window_russian.png");
  window.reset();
  // The choice is kept: the next start asks nothing and is Russian again.
  records::SettingsStore store(*registry);
  store.LoadSettings();
  EXPECT_FALSE(store.firstRun);
  EXPECT_EQ(store.settings->language, 0);
  res::InterfaceLanguage = 1;
  modal.language = 0;
  Open();
  EXPECT_EQ(res::InterfaceLanguage.load(), 0);
  EXPECT_EQ(Text(1088), res::TextResource(137));
}

TEST_F(MainWindowTest, ADamagedSettingsFileAndALogPlantedAsALinkAreEachToldOnce) {
  StoreOptions();
  disk.File("A.TXT", 100);
  Pin('D', 5, disk.Root());
  // A save cut off inside its last line, and a log that points elsewhere.
  std::string settings = ReadBytes(registry->FilePath());
  settings.resize(settings.size() - 5);
  testing_support::WriteBytes(registry->FilePath(), settings);
  TempTree elsewhere;
  testing_support::WriteBytes(elsewhere.Path("victim"), "not the log\n");
  ASSERT_EQ(symlink(elsewhere.Path("victim").c_str(), program.Path("Torvex.log").c_str()), 0);
  modal.answer = [](const ModalAnswers::Box& b) {
    return b.caption == "Torvex disk restore" ? engine::kIdCheckAgain : engine::kIdOk;
  };
  Open();
  const auto warnings = [&] {
    std::vector<std::string> texts;
    for (const auto& b : modal.Boxes())
      if (b.caption == "Torvex Warning") texts.push_back(b.text);
    return texts;
  };
  ASSERT_TRUE(WaitFor([&] { return warnings().size() == 1; }));
  EXPECT_EQ(warnings()[0], "The settings file \"" + registry->FilePath() +
                               "\" is damaged: the options that could not be read were reset.\nThe damaged file is kept as \"" +
                               registry->FilePath() + ".bak\"");
  EXPECT_EQ(ReadBytes(registry->FilePath() + ".bak"), settings);

  Click(engine::kIdStart);
  ASSERT_TRUE(WaitForReport());
  ASSERT_EQ(warnings().size(), 2u);
  EXPECT_EQ(warnings()[1].rfind("The log file \"" + program.Path("Torvex.log") + "\" cannot be written: it is a symbolic link", 0),
            0u);
  EXPECT_EQ(ReadBytes(elsewhere.Path("victim")), "not the log\n");
  // The next check tells it again, once; the settings are not told again.
  Click(engine::kIdStart);
  ASSERT_TRUE(WaitForReport());
  EXPECT_EQ(warnings().size(), 3u);
}

TEST_F(MainWindowTest, TheAboutButtonShowsTheVersionWithTheStoredServicePack) {
  StoreOptions([](engine::Settings& s) { s.servicePack = 2; });
  Open();
  std::string version = "(no About dialog)";
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    auto* about = qobject_cast<dialogs::CAboutDialog*>(QApplication::activeModalWidget());
    if (about == nullptr || !about->isVisible()) return;
    watch.stop();
    version = ui::DlgItemText(*about, 1120).toStdString();
    QTest::mouseClick(ui::DlgItem(*about, 1), Qt::LeftButton);
  });
  watch.start(5);
  // A dialog that does not close must not hang the test.
  QTimer::singleShot(20000, window.get(), [] {
    if (auto* about = qobject_cast<dialogs::CAboutDialog*>(QApplication::activeModalWidget())) about->done(-99);
  });
  Click(ui::CMainDialog::kIdAbout);
  EXPECT_EQ(version, "Version 2.03 (Service Pack 2)");
  EXPECT_TRUE(window->isVisible());
}

TEST_F(MainWindowTest, ClosingWhileAReadStallsOrABoxOfTheCheckIsOpenEndsAtOnceAndRecordsNothing) {
  if (!Serve({{"A.BIN", 40'000}, {"STALL.BIN", 4 * 32768, FaultFile::kStall, 0}, {"Z.BIN", 1'000}})) {
    GTEST_SKIP() << skipWhy;
  }
  StoreOptions([](engine::Settings& s) { s.delaySeconds = 60; });
  ui::CMainDialog& w = Open();
  Click(engine::kIdStart);
  ASSERT_TRUE(WaitFor([&] { return fs->StalledReads() == 1; }));
  const std::string log = LogBytes();
  const auto closeAt = std::chrono::steady_clock::now();
  w.close();
  // The close box saves the progress as EXIT does; nothing is recorded after.
  const std::string diskInfo = DiskInfoBytes();
  EXPECT_FALSE(w.isVisible());
  EXPECT_LT(std::chrono::steady_clock::now() - closeAt, 1s);
  window.reset();  // the window is gone while its reader is still in the kernel
  fs->ForceUnmount();  // the stalled read returns
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(LogBytes(), log);
  EXPECT_EQ(DiskInfoBytes(), diskInfo);

  // A box the check thread asked for (a reader that cannot get its priority)
  // is open when the window closes.
  for (int i = 0; i < 3; ++i) disk.File("F" + std::to_string(i), 1'000);
  Pin('D', 5, disk.Root());
  volumes->Set("OTHERDISC", 2);  // not the remembered disc: no resume question
  threads = std::make_shared<testing_support::FakeThreads>(testing_support::FakeThreads::Answering(-1));
  // The box stays open; the window is closed behind it.
  modal.answer = [this](const ModalAnswers::Box&) {
    QTimer::singleShot(20, window.get(), [this] { window->close(); });
    return 0;
  };
  ui::CMainDialog& second = Open();
  const std::string log2 = LogBytes();
  Click(engine::kIdStart);
  ASSERT_TRUE(WaitFor([&] { return !second.isVisible(); }));
  ASSERT_EQ(modal.Boxes().size(), 1u);
  EXPECT_EQ(modal.Boxes()[0].caption, "Torvex Internal Error (002)");
  EXPECT_TRUE(modal.open == nullptr || !modal.open->isVisible());
  ASSERT_TRUE(second.Engine().WaitForCheckThread(10s));
  QTest::qWait(50);
  EXPECT_EQ(modal.Boxes().size(), 1u);  // no further box, no report
  EXPECT_EQ(Rows().size(), 1u);
  const std::string header = LogBytes().substr(log2.size());
  EXPECT_TRUE(std::regex_match(header, std::regex("\r\n\r\n\\[OTHERDISC, [^\\]]*\\]"))) << header;
}

TEST_F(MainWindowTest, AnErrorListOutOfMemoryStopsTheRunAndSaysSo) {
  for (int i = 0; i < 6; ++i) disk.Symlink("GONE" + std::to_string(i), "nowhere");
  Pin('D', 5, disk.Root());
  StoreOptions([](engine::Settings& s) { s.cdromTarget = false; });
  errorList = std::make_unique<ShortOfMemoryList>(2);  // the disk row and one error row
  Open();
  Click(engine::kIdStart);
  ASSERT_TRUE(WaitForReport());
  const auto boxes = modal.Boxes();
  ASSERT_GE(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, "Not enough memory");
  EXPECT_EQ(boxes[0].caption, "Torvex error");
  EXPECT_EQ(boxes[0].type, engine::kMsgError);
  // The rows already there stay; the run stopped at the file whose row found no room.
  EXPECT_EQ(Rows().size(), 2u);
  EXPECT_EQ(window->NextRow(), 2);
  EXPECT_LT(window->Engine().State().disk.filesChecked, 6);
}

}  // namespace
