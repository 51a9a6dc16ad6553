// Whole check runs of the real engine writing the real "Torvex.log" and
// "Torvex.tvd" in a program folder, on a temporary tree that the drive table
// pins as CD-ROM drive D:.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "engine/check_run.h"
#include "platform/drive_table.h"
#include "platform/file_io.h"
#include "records/disk_info_store.h"
#include "records/log_file.h"
#include "engine/settings.h"
#include "tests/support/file_bytes.h"
#include "tests/support/engine_fakes.h"
#include "tests/support/recording_window.h"
#include "tests/support/temp_tree.h"

namespace records {
namespace {

using namespace std::chrono_literals;
using testing_support::ReadBytes;
using testing_support::TempTree;

constexpr uint32_t kSerial = 0xABCDEF;

// A file or folder made read-only where it lies, by binding it onto itself:
// even root cannot write it then.
class ReadOnlyMount {
 public:
  bool Mount(const std::string& path, std::string* why) {
    if (geteuid() != 0) {
      *why = "a read-only bind mount needs root";
      return false;
    }
    if (mount(path.c_str(), path.c_str(), nullptr, MS_BIND, nullptr) != 0) {
      *why = std::string("bind mount: ") + std::strerror(errno);
      return false;
    }
    path_ = path;
    if (mount(nullptr, path.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
      *why = std::string("read-only remount: ") + std::strerror(errno);
      return false;
    }
    return true;
  }
  ~ReadOnlyMount() {
    if (!path_.empty()) umount2(path_.c_str(), MNT_DETACH);
  }

 private:
  std::string path_;
};

class EngineRecordsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    disk.File("A.TXT", 1000);
    disk.File("B.BIN", 100'000);
    disk.File("SUB/C.DAT", 40'000);
    disk.File("SUB/D.DAT", 70'000);
    disk.Symlink("SUB/GONE.DAT", "nowhere");  // cannot be opened
    disk.File("Z.TXT", 5);

    settings->drive = 3;
    settings->cdromTarget = true;
    log->SetFolder(program.Root());
    ASSERT_EQ(log->OpenLog("Torvex.log", engine::kLogOverwrite), 0);
    store->SetFolder(program.Root());
    ASSERT_EQ(store->OpenStore("Torvex.tvd"), 0);
    logHeader = ReadBytes(LogPath());
    storeHeader = ReadBytes(StorePath());
  }
  void TearDown() override {
    if (engine) {
      EXPECT_TRUE(engine->WaitForCheckThread(30s));
    }
  }

  std::string LogPath() const { return program.Path("Torvex.log"); }
  std::string StorePath() const { return program.Path("Torvex.tvd"); }

  // The percents the resume question named.
  std::vector<int> AskedPercents() const {
    std::vector<int> percents;
    for (const auto& m : window->Messages()) {
      if (m.caption != "Torvex disk restore") continue;
      const auto open = m.text.find('(');
      percents.push_back(std::stoi(m.text.substr(open + 1)));
    }
    return percents;
  }

  engine::ScanEngine& Make() {
    engine::EngineDeps deps;
    deps.window = window;
    deps.settings = settings;
    deps.panels = std::make_shared<engine::PanelFlags>();
    deps.text = std::make_shared<testing_support::EnglishTexts>();
    deps.log = log;
    deps.resume = store;
    deps.rootPaths =
        std::make_shared<testing_support::FnRootPaths>([this](const std::string& root) { return drives.ToNativePath(root); });
    deps.volumes = std::make_shared<testing_support::FakeVolumes>("TESTDISK", kSerial);
    engine = std::make_unique<engine::ScanEngine>(deps);
    return *engine;
  }

  // Start, wait for the check thread to end, and one tick for the report.
  // No tick comes during the run: on a loaded machine a reader may take
  // longer than a few quick ticks, and the watchdog would give it up.
  void Run() {
    if (!engine) Make();
    ASSERT_TRUE(engine->Start());
    ASSERT_TRUE(engine->WaitForCheckThread(60s));
    engine->OnTimerTick();
  }

  // The record says that an earlier run got this far.
  void RememberProgress(int32_t filesChecked, int64_t bytesDone, int32_t percent) {
    engine::DiskState earlier;
    earlier.serial = kSerial;
    ASSERT_EQ(store->LoadDisk(earlier), 0);
    earlier.filesChecked = filesChecked;
    earlier.bytesDone = bytesDone;
    earlier.percentShown = percent;
    ASSERT_EQ(store->UpdateDisk(earlier), 0);
  }

  ResumeRecord Record() {
    ResumeRecord r;
    EXPECT_EQ(store->ReadRecord(0, &r, kSerial), 0);
    return r;
  }

  std::vector<std::string> CheckedFiles() const {
    std::vector<std::string> names;
    for (const auto& n : window->FieldHistory(engine::kIdCurrentFile)) {
      if (!n.empty()) names.push_back(n);
    }
    return names;
  }

  TempTree disk;
  TempTree program;
  testing_support::CwdGuard cwd;
  platform::DriveTable drives =
      platform::DriveTable::Build(platform::DriveProbe::System(), {{'D', platform::kDriveCdrom, disk.Root()}});
  std::shared_ptr<testing_support::RecordingWindow> window = std::make_shared<testing_support::RecordingWindow>();
  std::shared_ptr<engine::Settings> settings = std::make_shared<engine::Settings>();
  std::shared_ptr<LogFile> log = std::make_shared<LogFile>();
  std::shared_ptr<DiskInfoStore> store = std::make_shared<DiskInfoStore>();
  std::unique_ptr<engine::ScanEngine> engine;
  std::string logHeader, storeHeader;
};

constexpr int kFiles = 6;
constexpr int64_t kBytes = 1000 + 100'000 + 40'000 + 70'000 + 5;

std::string Section(const ResumeRecord& r) {
  unsigned char bytes[kResumeRecordSize];
  EncodeResumeRecord(r, bytes);
  return "\r\n\r\n[00abcdef, TESTDISK]\r\n" + std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

TEST_F(EngineRecordsTest, FullCheckWithPreScanAndResumeLeavesOneCompleteSection) {
  Run();
  EXPECT_EQ(ReadBytes(StorePath()), storeHeader + Section({kSerial, kFiles, kFiles, kBytes, kBytes, 100}));
  EXPECT_TRUE(store->resumeActive);
  EXPECT_TRUE(AskedPercents().empty());

  const std::string bytes = ReadBytes(LogPath());
  ASSERT_EQ(bytes.substr(0, logHeader.size()), logHeader);
  const std::string records = bytes.substr(logHeader.size());
  EXPECT_TRUE(std::regex_match(records, std::regex("\r\n\r\n\\[TESTDISK, \\d\\d/\\d\\d/\\d{4}, [ 12]\\d:\\d\\d\\]"
                                                   "\r\n GONE\\.DAT, Open, , D:\\\\SUB")))
      << records;

  // The next Start on that disk asks, with 100 percent; Cancel starts nothing.
  window->answer = [](const auto&) { return engine::kIdCancel; };
  EXPECT_FALSE(engine->Start() && engine->RunGoes(std::chrono::seconds(60)));
  EXPECT_EQ(AskedPercents(), std::vector<int>{100});
}

TEST_F(EngineRecordsTest, CheckAgainRewritesTheRecordWithZeroProgress) {
  Run();
  const std::vector<std::string> firstOrder = CheckedFiles();
  window->answer = [](const auto&) { return engine::kIdCheckAgain; };
  // The record as it is when the first file of the new run is read.
  std::string afterCheckAgain;
  window->onProgress = [&](int, int) {
    if (afterCheckAgain.empty()) afterCheckAgain = ReadBytes(StorePath());
  };
  Run();
  // Before the check began, the record held the totals and no progress.
  EXPECT_EQ(afterCheckAgain, storeHeader + Section({kSerial, kFiles, 0, kBytes, 0, 0}));
  // Without a pre-scan every file was read again, and the record is whole again.
  EXPECT_EQ(CheckedFiles().size(), 2 * firstOrder.size());
  EXPECT_EQ(ReadBytes(StorePath()), storeHeader + Section({kSerial, kFiles, kFiles, kBytes, kBytes, 100}));
  // Two disk headers in the log, one per Start.
  const std::string bytes = ReadBytes(LogPath());
  std::size_t headers = 0;
  for (std::size_t at = bytes.find("\r\n\r\n[TESTDISK, "); at != std::string::npos;
       at = bytes.find("\r\n\r\n[TESTDISK, ", at + 1)) {
    ++headers;
  }
  EXPECT_EQ(headers, 2u);
}

TEST_F(EngineRecordsTest, ContinuingPassesOverTheFilesAlreadyChecked) {
  Run();
  const std::vector<std::string> order = CheckedFiles();
  ASSERT_EQ(order.size(), static_cast<std::size_t>(kFiles));

  RememberProgress(3, 50'000, 23);

  window->answer = [](const auto&) { return engine::kIdContinue; };
  const std::size_t percentBefore = window->FieldHistory(engine::kIdDiskPercent).size();
  Run();
  EXPECT_EQ(AskedPercents(), std::vector<int>{23});
  // Where the continued check began was shown before the walk.
  EXPECT_EQ(window->FieldHistory(engine::kIdDiskPercent).at(percentBefore), "23 %");
  const std::vector<std::string> all = CheckedFiles();
  const std::vector<std::string> resumed(all.begin() + kFiles, all.end());
  EXPECT_EQ(resumed, std::vector<std::string>(order.begin() + 3, order.end()));
  EXPECT_EQ(engine->State().filesSeen, static_cast<uint32_t>(kFiles));
  EXPECT_EQ(engine->State().disk.filesChecked, kFiles);
  EXPECT_EQ(engine->State().disk.bytesDone, kBytes);
  const ResumeRecord r = Record();
  EXPECT_EQ(r.filesChecked, kFiles);
  EXPECT_EQ(r.filesTotal, kFiles);
  EXPECT_EQ(r.bytesTotal, static_cast<uint32_t>(kBytes));
  EXPECT_EQ(r.percent, 100);
  // The report counts every file of the disc, the files passed over, and the
  // errors of this run only: the link that cannot be opened, if it was not
  // passed over.
  const bool goneReadAgain = std::find(resumed.begin(), resumed.end(), "GONE.DAT") != resumed.end();
  EXPECT_EQ(engine->State().disk.filesPassedOver, 3);
  EXPECT_EQ(window->Messages().back().caption, "Torvex check finished");
  EXPECT_EQ(window->Messages().back().text,
            std::string("The checking is complete\nFiles checked: 6\nFiles passed over, checked by an earlier run: 3\n") +
                (goneReadAgain ? "Files with errors (read/open): 0 / 1" : "No error were detected in the files read by this run"));
}

// A disc written to since: the continued run passes over as many files as the
// earlier one checked, in the walk's order, and checks the rest, whichever
// they are now (the README says so).
TEST_F(EngineRecordsTest, ContinuingADiscWrittenToSincePassesOverByCount) {
  Run();
  RememberProgress(3, kBytes, 100);
  disk.File("SUB/NEW.DAT", 10);
  disk.File("ADDED.TXT", 10);

  window->answer = [](const auto&) { return engine::kIdContinue; };
  const std::size_t before = CheckedFiles().size();
  Run();
  const std::vector<std::string> all = CheckedFiles();
  EXPECT_EQ(all.size() - before, static_cast<std::size_t>(kFiles + 2 - 3));
  EXPECT_EQ(engine->State().filesSeen, static_cast<uint32_t>(kFiles + 2));
  EXPECT_EQ(Record().filesChecked, kFiles + 2);
}

TEST_F(EngineRecordsTest, NoRecordWithoutPreScanOrBelowTheRootOrForOtherDrivesOrWithoutTheResumeOption) {
  settings->preScan = false;
  Run();
  EXPECT_EQ(ReadBytes(StorePath()), storeHeader);

  settings->preScan = true;
  settings->cdromTarget = false;
  Run();
  EXPECT_EQ(ReadBytes(StorePath()), storeHeader);

  settings->cdromTarget = true;
  settings->resumeEnabled = false;
  Run();
  EXPECT_EQ(ReadBytes(StorePath()), storeHeader);

  settings->resumeEnabled = true;
  engine->SetStartFolder("D:\\SUB");
  Run();
  EXPECT_EQ(ReadBytes(StorePath()), storeHeader);
  EXPECT_NE(ReadBytes(LogPath()).find("\r\n GONE.DAT, Open, , D:\\SUB"), std::string::npos);
}

TEST_F(EngineRecordsTest, LogThatCannotBeWrittenDoesNotDisturbTheCheckAndIsToldOnce) {
  // Something that cannot be opened for writing where the log was.
  std::remove(LogPath().c_str());
  ASSERT_EQ(mkdir(LogPath().c_str(), 0755), 0);
  disk.Symlink("SUB/GONE2.DAT", "nowhere");  // a second failed record
  Run();
  EXPECT_EQ(engine->State().disk.filesChecked, kFiles + 1);
  EXPECT_EQ(engine->State().disk.openErrors, 2);
  const auto messages = window->Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].caption, "Torvex Warning");
  EXPECT_EQ(messages[0].type, engine::kMsgWarning);
  EXPECT_EQ(messages[0].text, "The log file \"" + LogPath() +
                                  "\" cannot be written: it is not a regular file (a folder, a pipe or a device)."
                                  "\nThe checking goes on; the program keeps trying to write it");
  EXPECT_NE(messages[1].text.find("Files checked: 7"), std::string::npos);
  EXPECT_EQ(ReadBytes(StorePath()), storeHeader + Section({kSerial, kFiles + 1, kFiles + 1, kBytes, kBytes, 100}));

  // Writable again: the next run logs its records and has nothing to tell.
  rmdir(LogPath().c_str());
  window->answer = [](const auto&) { return engine::kIdCheckAgain; };
  Run();
  int warnings = 0;
  for (const auto& m : window->Messages()) warnings += m.caption == "Torvex Warning" ? 1 : 0;
  EXPECT_EQ(warnings, 1);
  EXPECT_NE(ReadBytes(LogPath()).find("\r\n GONE2.DAT, Open, , D:\\SUB"), std::string::npos);
}

TEST_F(EngineRecordsTest, RecordsPlantedAsLinksAreNotWrittenAndEachIsToldOnce) {
  TempTree elsewhere;
  const std::string victim = elsewhere.Path("victim");
  testing_support::WriteBytes(victim, "someone's file\n");
  for (const std::string& path : {LogPath(), StorePath()}) {
    std::remove(path.c_str());
    std::filesystem::create_symlink(victim, path);
  }
  log->OpenLog("Torvex.log", engine::kLogOverwrite);
  store->OpenStore("Torvex.tvd");
  Run();
  EXPECT_EQ(ReadBytes(victim), "someone's file\n");
  std::vector<std::string> warnings;
  for (const auto& m : window->Messages()) {
    if (m.caption == "Torvex Warning") warnings.push_back(m.text);
  }
  ASSERT_EQ(warnings.size(), 2u);
  EXPECT_EQ(warnings[0].rfind("The log file \"" + LogPath() + "\" cannot be written: it is a symbolic link", 0), 0u);
  EXPECT_EQ(warnings[1].rfind("The disk info file \"" + StorePath() + "\" cannot be written: it is a symbolic link", 0),
            0u);
  // The report still comes, last.
  EXPECT_NE(window->Messages().back().text.find("Files checked: 6"), std::string::npos);
}

// The record can be read but not written: "Check again" cannot rewrite it,
// and the run starts from zero all the same instead of from the old progress.
TEST_F(EngineRecordsTest, CheckAgainThatCannotRewriteTheRecordChecksEveryFileAndTellsOnce) {
  Run();
  RememberProgress(3, 50'000, 23);
  const std::string onFile = ReadBytes(StorePath());
  ReadOnlyMount readOnly;
  std::string why;
  if (!readOnly.Mount(StorePath(), &why)) GTEST_SKIP() << why;

  window->answer = [](const auto&) { return engine::kIdCheckAgain; };
  const std::size_t before = CheckedFiles().size();
  const std::size_t messagesBefore = window->Messages().size();
  Run();
  EXPECT_EQ(AskedPercents(), std::vector<int>{23});
  EXPECT_EQ(CheckedFiles().size() - before, static_cast<std::size_t>(kFiles));
  EXPECT_EQ(engine->State().disk.filesChecked, kFiles);
  const auto messages = window->Messages();
  ASSERT_EQ(messages.size() - messagesBefore, 3u);  // the question, the warning, the report
  EXPECT_EQ(messages[messagesBefore + 1].caption, "Torvex Warning");
  EXPECT_EQ(messages[messagesBefore + 1].text,
            "The disk info file \"" + StorePath() +
                "\" cannot be written: access is denied (a read-only disk or a protected file)."
                "\nThe checking goes on, but how far it gets may not be remembered");
  EXPECT_NE(messages.back().text.find("Files checked: 6"), std::string::npos);
  EXPECT_EQ(ReadBytes(StorePath()), onFile);
}

// However many writes fail in a run, each record is told once, with its reason.
TEST_F(EngineRecordsTest, AReadOnlyProgramFolderAndAPipeForTheLogAreEachToldOnceWithTheirReason) {
  disk.Symlink("SUB/GONE2.DAT", "nowhere");  // a second record for the log
  const auto warningsFrom = [this](std::size_t first) {
    std::vector<std::string> texts;
    const auto messages = window->Messages();
    for (std::size_t i = first; i < messages.size(); ++i) {
      if (messages[i].caption == "Torvex Warning") texts.push_back(messages[i].text);
    }
    return texts;
  };
  const std::string denied = "access is denied (a read-only disk or a protected file)";
  {
    ReadOnlyMount readOnly;
    std::string why;
    if (!readOnly.Mount(program.Root(), &why)) GTEST_SKIP() << why;
    Run();
    EXPECT_EQ(engine->State().disk.filesChecked, kFiles + 1);
    EXPECT_EQ(warningsFrom(0),
              (std::vector<std::string>{
                  "The log file \"" + LogPath() + "\" cannot be written: " + denied +
                      ".\nThe checking goes on; the program keeps trying to write it",
                  "The disk info file \"" + StorePath() + "\" cannot be written: " + denied +
                      ".\nThe checking goes on, but how far it gets may not be remembered"}));
    EXPECT_EQ(ReadBytes(LogPath()), logHeader);
    EXPECT_EQ(ReadBytes(StorePath()), storeHeader);
  }

  // A pipe where the log was: nothing blocks on it, and it is named as such.
  std::remove(LogPath().c_str());
  program.Fifo("Torvex.log");
  const std::size_t before = window->Messages().size();
  Run();
  EXPECT_EQ(engine->State().disk.filesChecked, kFiles + 1);
  EXPECT_EQ(warningsFrom(before),
            std::vector<std::string>{"The log file \"" + LogPath() +
                                     "\" cannot be written: it is not a regular file (a folder, a pipe or a device)."
                                     "\nThe checking goes on; the program keeps trying to write it"});
  EXPECT_EQ(ReadBytes(StorePath()), storeHeader + Section({kSerial, kFiles + 1, kFiles + 1, kBytes, kBytes, 100}));
  EXPECT_NE(window->Messages().back().text.find("Files checked: 7"), std::string::npos);
}

TEST_F(EngineRecordsTest, NamesFromTheDiscCannotForgeLogLines) {
  // A name that would end the record, start a fake disk header and a fake
  // error line, and one that drives a terminal.
  const std::string forged = "inj\n[FAKE, 01-01-2000,  0:00]\n evil.exe, Read, 1234, E:\\FAKE";
  disk.Symlink("SUB/" + forged, "nowhere");
  disk.Symlink("SUB/\x1b[31mred\x7f", "nowhere");
  Run();
  const std::string bytes = ReadBytes(LogPath());
  const std::string records = bytes.substr(logHeader.size());
  // One disk header and three error lines, each a line of its own.
  EXPECT_EQ(std::count(records.begin(), records.end(), '\n'), 2 + 3) << records;
  EXPECT_EQ(std::count(records.begin(), records.end(), '['), 1 + 1 + 1) << records;
  EXPECT_NE(records.find("\r\n /1B[31mred/7F, Open, , D:\\SUB"), std::string::npos) << records;
  EXPECT_NE(records.find("\r\n inj/0A[FAKE, 01-01-2000,  0:00]/0A evil.exe, Read, 1234, E:\\FAKE, Open, , D:\\SUB"),
            std::string::npos)
      << records;
  // The window's rows show the same visible form.
  bool shown = false;
  for (const auto& row : window->Rows()) shown |= row[0] == "inj/0A[FAKE, 01-01-2000,  0:00]/0A evil.exe, Read, 1234, E:\\FAKE";
  EXPECT_TRUE(shown);
  // Ordinary names are written as they always were.
  EXPECT_NE(records.find("\r\n GONE.DAT, Open, , D:\\SUB"), std::string::npos);
}

TEST_F(EngineRecordsTest, StoppedWhilePassingOverTheCheckedFilesTheRecordKeepsItsBytesDone) {
  Run();
  RememberProgress(4, 150'000, 70);
  // Stopped as the check walk begins, before it has passed over anything.
  window->answer = [](const auto&) { return engine::kIdContinue; };
  window->onEnable = [this](int id, bool enable) {
    if (id == engine::kIdSkip && enable) engine->State().stopRequest = true;
  };
  Run();
  const ResumeRecord r = Record();
  EXPECT_EQ(r.filesChecked, 4);
  EXPECT_EQ(r.bytesDone, 150'000u);
  EXPECT_EQ(r.percent, 70);
}

TEST_F(EngineRecordsTest, ExitDuringACheckSavesTheProgressOnce) {
  for (int i = 0; i < 4; ++i) disk.File("BIG/F" + std::to_string(i), 200'000);
  std::atomic<int> blocks{0};
  std::atomic<bool> release{false};
  // Hold the reader inside the third file until Exit has been pressed.
  window->onProgress = [&](int id, int) {
    if (id == engine::kIdFileBar && ++blocks == 12) {
      while (!release) std::this_thread::sleep_for(1ms);
    }
  };
  Make();
  ASSERT_TRUE(engine->Start());
  const auto until = std::chrono::steady_clock::now() + 30s;
  while (blocks.load() < 12 && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(1ms);
  ASSERT_TRUE(engine->State().running);
  engine->Exit();
  const ResumeRecord saved = Record();
  EXPECT_EQ(saved.filesChecked, engine->State().disk.filesChecked.load());
  EXPECT_GT(saved.filesChecked, 0);
  EXPECT_LT(saved.filesChecked, kFiles + 4);
  release = true;
  ASSERT_TRUE(engine->WaitForCheckThread(30s));
  // The check thread saved the same state again at the end of the walk.
  const ResumeRecord last = Record();
  EXPECT_EQ(last.filesChecked, engine->State().disk.filesChecked.load());
  EXPECT_EQ(last.bytesDone, static_cast<uint32_t>(engine->State().disk.bytesDone.load()));
  EXPECT_EQ(ReadBytes(StorePath()).size(), storeHeader.size() + 26 + 24);
}

// Sizes of the files of the test disk by name.
int64_t SizeOf(const std::string& name) {
  static const std::map<std::string, int64_t> sizes = {{"A.TXT", 1000},   {"B.BIN", 100'000}, {"C.DAT", 40'000},
                                                       {"D.DAT", 70'000}, {"GONE.DAT", 0},    {"Z.TXT", 5}};
  const auto it = sizes.find(name);
  return it == sizes.end() ? -1 : it->second;
}

TEST_F(EngineRecordsTest, ContinuingAccountsThePassedFilesSoTheInterruptedOneCountsOnce) {
  Run();
  const std::vector<std::string> order = CheckedFiles();
  ASSERT_EQ(order.size(), static_cast<std::size_t>(kFiles));
  // An earlier run checked two files and was stopped in the third, which
  // it counted whole as done (a Skipped row).
  const int64_t done = SizeOf(order[0]) + SizeOf(order[1]) + SizeOf(order[2]);
  RememberProgress(2, done, static_cast<int>(done * 100 / kBytes));

  window->answer = [](const auto&) { return engine::kIdContinue; };
  Run();
  // Every byte of the disk counted once: the third file is read again, and
  // the disk reaches 100 % with the last file, not before it.
  EXPECT_EQ(engine->State().disk.bytesDone, kBytes);
  const ResumeRecord r = Record();
  EXPECT_EQ(r.bytesDone, static_cast<uint32_t>(kBytes));
  EXPECT_EQ(r.percent, 100);
}

TEST_F(EngineRecordsTest, ContinuingADiskOfMoreThanFourGigabytesCountsItsTotalsAfresh) {
  // The same names in the same places for both runs, so the listing order stays.
  disk.File("HUGE.BIN", 1);
  if (platform::FileSystemBytes(disk.Root()) < (uint64_t{1} << 32)) {
    GTEST_SKIP() << "the temporary folder lies on a file system of less than 4 GiB";
  }
  Run();
  const std::vector<std::string> order = CheckedFiles();
  ASSERT_EQ(order.size(), static_cast<std::size_t>(kFiles + 1));

  // Now the disk holds a file of 5 GiB (sparse: it takes no room), and an
  // earlier check of it got as far as that file, writing the low 32 bits of
  // its byte counts, as the record keeps them.
  const int64_t huge = (int64_t{5} << 30) + 1234;
  ASSERT_EQ(truncate(disk.Path("HUGE.BIN").c_str(), huge), 0);
  const int64_t total = kBytes + huge;
  const auto at = static_cast<std::size_t>(std::find(order.begin(), order.end(), "HUGE.BIN") - order.begin());
  int64_t done = 0;
  for (std::size_t i = 0; i <= at; ++i) done += order[i] == "HUGE.BIN" ? huge : SizeOf(order[i]);
  engine::DiskState earlier;
  earlier.serial = kSerial;
  earlier.filesTotal = kFiles + 1;
  earlier.bytesTotal = total;
  earlier.filesChecked = static_cast<int32_t>(at + 1);
  earlier.bytesDone = done;
  earlier.percentShown = static_cast<int>(done * 100 / total);
  ASSERT_EQ(store->UpdateDisk(earlier), 0);
  ASSERT_NE(Record().bytesTotal, total);  // wrapped on file

  window->answer = [](const auto&) { return engine::kIdContinue; };
  Run();
  const engine::DiskState& d = engine->State().disk;
  EXPECT_EQ(d.bytesTotal, total);
  EXPECT_EQ(d.filesTotal, kFiles + 1);
  EXPECT_EQ(d.bytesDone, total);
  EXPECT_EQ(d.percentShown, 100);
  EXPECT_EQ(Record().bytesTotal, static_cast<uint32_t>(total));
}

}  // namespace
}  // namespace records
