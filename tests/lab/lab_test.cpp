// Checks of real discs in the emulated CD-ROM drives of the virtual drive lab
// (tests/lab/run-lab boots the guest and mounts them). Each check goes
// through the system's drive table, volume query and root check, the real
// log file and disk info file, and the engine with its own threads; only the
// window is a recorder. Outside the lab every test skips.
#include <fcntl.h>
#include <linux/capability.h>
#include <linux/cdrom.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/check_run.h"
#include "engine/rescue.h"
#include "engine/system_services.h"
#include "platform/disc_mount.h"
#include "platform/drive_table.h"
#include "platform/registry.h"
#include "platform/volume_info.h"
#include "records/disk_info_store.h"
#include "records/drive_list.h"
#include "records/log_file.h"
#include "tests/support/engine_fakes.h"
#include "tests/support/file_bytes.h"
#include "tests/lab/lab_support.h"
#include "tests/support/recording_window.h"

namespace {

using namespace std::chrono_literals;
using namespace lab;
using Row = std::array<std::string, 4>;
using testing_support::ReadBytes;

// Mounts a disc read-only as UDisks2 would (the guest has no system bus).
class MountAsUdisksWould : public platform::DiscMounter {
 public:
  int MountReadOnly(const std::string& device, std::string* mountPoint, std::string* why) override {
    asked.push_back(device);
    const std::string where = "/mnt/auto" + std::to_string(asked.size());
    mkdir(where.c_str(), 0755);
    for (const char* type : {"iso9660", "udf"}) {
      if (mount(device.c_str(), where.c_str(), type, MS_RDONLY, nullptr) == 0) {
        *mountPoint = where;
        return platform::kMounted;
      }
    }
    *why = std::strerror(errno);
    return platform::kMountFailed;
  }
  std::vector<std::string> asked;
};

class LabCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!InLab()) GTEST_SKIP() << "runs only in the virtual drive lab (tests/lab/run-lab)";
    char tmpl[] = "/tmp/program.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    program = tmpl;
    ASSERT_EQ(chdir(program.c_str()), 0);
    registry = std::make_shared<platform::Registry>(program + "/registry.reg");
    log = std::make_shared<records::LogFile>();
    log->SetFolder(program);
    log->OpenLog("Torvex.log", engine::kLogOverwrite);
    store = std::make_shared<records::DiskInfoStore>();
    store->SetFolder(program);
    store->OpenStore("Torvex.tvd");
    logBefore = ReadBytes(program + "/Torvex.log");
    tvdBefore = ReadBytes(program + "/Torvex.tvd");
  }

  // The letter the drive table gives the drive whose disc is mounted there,
  // which must be a CD-ROM drive of /dev/sr*.
  char LetterOf(const std::string& mountPoint) {
    const platform::DriveTable table = platform::DriveTable::System(*registry);
    for (char c = 'A'; c <= 'Z'; ++c) {
      const platform::Drive* d = table.Find(c);
      if (d != nullptr && d->path == mountPoint) {
        EXPECT_TRUE(d->optical);
        EXPECT_EQ(d->kind, platform::kDriveCdrom);
        EXPECT_EQ(d->device.rfind("/dev/sr", 0), 0u) << d->device;
        return c;
      }
    }
    ADD_FAILURE() << "no drive for " << mountPoint;
    return 'Z';
  }

  // A whole check of a drive (or of a start folder on it), to its report.
  void Check(char letter, const std::string& startFolder = {}) {
    Make(letter);
    if (!startFolder.empty()) engine->SetStartFolder(startFolder);
    ASSERT_TRUE(engine->Start()) << (window->Messages().empty() ? "" : window->Messages().back().text);
    // The window's timer: once a second, as the watchdog counts it.
    while (!engine->WaitForCheckThread(1s)) engine->OnTimerTick();
    engine->OnTimerTick();
  }
  // The window's timer runs until `done` (polled every 50 ms); false after
  // the limit.
  template <typename Done>
  bool Tick(Done done, std::chrono::seconds limit) {
    const auto start = std::chrono::steady_clock::now();
    auto next = start + 1s;
    while (!done()) {
      const auto now = std::chrono::steady_clock::now();
      if (now > start + limit) return false;
      if (now >= next) {
        engine->OnTimerTick();
        next += 1s;
      }
      std::this_thread::sleep_for(50ms);
    }
    return true;
  }
  bool Ended() { return engine->WaitForCheckThread(0ms); }
  void Make(char letter) {
    settings->drive = letter - 'A';
    settings->cdromTarget = true;
    settings->delaySeconds = delay;
    engine::EngineDeps deps;
    deps.window = window;
    deps.settings = settings;
    deps.panels = std::make_shared<engine::PanelFlags>();
    deps.text = std::make_shared<testing_support::EnglishTexts>();
    deps.log = log;
    deps.resume = store;
    deps.rootPaths = std::make_shared<records::SystemRootPaths>(registry);
    deps.volumes = std::make_shared<records::SystemVolumeQuery>(registry);
    deps.roots = roots ? roots : std::make_shared<records::SystemRootCheck>(registry);
    engine = std::make_unique<engine::ScanEngine>(deps);
  }
  std::string Report() const {
    std::string text = "(no report)";
    for (const auto& m : window->Messages())
      if (m.caption == "Torvex check finished") text = m.text;
    return text;
  }
  std::string NewLog() const { return ReadBytes(program + "/Torvex.log").substr(logBefore.size()); }
  std::string NewTvd() const { return ReadBytes(program + "/Torvex.tvd").substr(tvdBefore.size()); }
  // The log's section of a disk: its header and these lines.
  void ExpectLog(const std::string& label, const std::vector<std::string>& lines) const {
    std::string pattern = "\r\n\r\n\\[" + label + ", \\d\\d/\\d\\d/\\d{4}, [ 12]\\d:\\d\\d\\]";
    for (const std::string& l : lines) pattern += "\r\n " + std::regex_replace(l, std::regex(R"([\\.\[\]()*+?^$|{}])"), R"(\$&)");
    EXPECT_TRUE(std::regex_match(NewLog(), std::regex(pattern))) << NewLog();
  }

  std::string program;
  std::shared_ptr<platform::Registry> registry;
  std::shared_ptr<records::LogFile> log;
  std::shared_ptr<records::DiskInfoStore> store;
  std::string logBefore, tvdBefore;
  std::shared_ptr<testing_support::RecordingWindow> window = std::make_shared<testing_support::RecordingWindow>();
  std::shared_ptr<engine::Settings> settings = std::make_shared<engine::Settings>();
  int delay = 3;                              // seconds
  std::shared_ptr<engine::RootCheck> roots;  // null: the system's, through UDisks2
  std::unique_ptr<engine::ScanEngine> engine;
};

// An intact ISO 9660 disc with Joliet and Rock Ridge names: every file read,
// no row but the disk's, the label and serial of its Joliet descriptor.
TEST_F(LabCheck, ACleanIsoDiscIsReadWhole) {
  const char d = LetterOf("/mnt/cd0");
  const std::string joliet = JolietDescriptor(Image("clean.iso"));
  ASSERT_FALSE(joliet.empty());
  const uint32_t serial = DescriptorSerial(joliet);
  Check(d);
  EXPECT_EQ(Report(), "The checking is complete\nFiles checked: 4\nNo error were detected");
  EXPECT_EQ(window->Rows(), (std::vector<Row>{{"*** New Disk ***", "", "", "Torvex Lab disc,  "}}));
  EXPECT_EQ(engine->State().bytesRead, 1'000 + 100'000 + 70'000 + 0);
  ExpectLog("Torvex Lab disc", {});
  const int64_t total = 1'000 + 100'000 + 70'000;
  EXPECT_EQ(NewTvd(), TvdSection({serial, 4, 4, total, total, 100}, "Torvex Lab disc"));
}

// Read errors of the device: a sector inside a file fails (the good part of
// the block comes back, the next read fails), and a folder's own first
// sector, so that the folder cannot even be looked at: it is handed to the
// file check and is an Open row. The disc is plain ISO 9660, whose names
// the system gives in lower case.
TEST_F(LabCheck, ReadErrorsOfTheDeviceAreReadAndOpenRows) {
  const char d = LetterOf("/mnt/cd2");
  const std::string root = std::string(1, d) + ":\\";
  Check(d);
  EXPECT_EQ(Report(), "The checking is complete\nFiles checked: 4\nFiles with errors (read/open): 1 / 1");
  EXPECT_EQ(window->Rows(), (std::vector<Row>{{"*** New Disk ***", "", "", "DAMAGED,  "},
                                              {"bad.bin", "Read", "64", root},
                                              {"broken", "Open", "", root}}));
  ExpectLog("DAMAGED", {"bad.bin, Read, 64, " + root, "broken, Open, , " + root});
  // The file after the bad one and the folder after the broken one are read.
  EXPECT_EQ(engine->State().bytesRead, 64 * 1024 + 50'000 + 4'000);
  const uint32_t serial = DescriptorSerial(Sector(Image("damaged.iso"), 16));
  const int64_t total = 200'000 + 50'000 + 4'000;
  EXPECT_EQ(NewTvd(), TvdSection({serial, 4, 4, total, total, 100}, "DAMAGED"));

  // Continued, the finished disc reads nothing, and its report never says
  // that the files it passed over were found without error.
  window = std::make_shared<testing_support::RecordingWindow>();
  window->answer = [](const auto& m) { return m.type == engine::kMsgResume ? engine::kIdContinue : engine::kIdOk; };
  Check(d);
  EXPECT_EQ(engine->State().bytesRead, 0);
  EXPECT_EQ(Report(),
            "The checking is complete\nFiles checked: 4\nFiles passed over, checked by an earlier run: 4\n"
            "No error were detected in the files read by this run");
}

// A user who may not open the drive's device (no "cdrom" group, no ACL, a
// login over ssh) reads the mounted disc through its folder: it is checked,
// with its rows as ever, and told once that its serial cannot be read, so
// that it gets no record. The test thread gives up root's right to pass by
// the node's mode (the check's threads, started from it, are born without
// it), and the node belongs to another user with mode 0600.
TEST_F(LabCheck, ADiscWhoseDeviceTheUserMayNotOpenIsCheckedWithoutItsRecord) {
  const char d = LetterOf("/mnt/cd2");
  const std::string root = std::string(1, d) + ":\\";
  const std::string device = platform::DriveTable::System(*registry).Find(d)->device;
  struct stat node {};
  ASSERT_EQ(stat(device.c_str(), &node), 0);
  ASSERT_EQ(chown(device.c_str(), 65534, 65534), 0) << std::strerror(errno);
  ASSERT_EQ(chmod(device.c_str(), 0600), 0);
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct caps[2]{};
  ASSERT_EQ(syscall(SYS_capget, &header, caps), 0);
  const auto kept = caps[0].effective;
  caps[0].effective &= ~(1u << CAP_DAC_OVERRIDE | 1u << CAP_DAC_READ_SEARCH);
  ASSERT_EQ(syscall(SYS_capset, &header, caps), 0);
  const int probe = open(device.c_str(), O_RDONLY | O_NONBLOCK);
  const int denied = probe < 0 ? errno : 0;
  if (probe >= 0) close(probe);

  std::string label = "?";
  uint32_t serial = 1;
  const int found = records::SystemVolumeQuery(registry).Query(root, label, serial);
  Check(d);
  const auto messages = window->Messages();
  const auto rows = window->Rows();
  window = std::make_shared<testing_support::RecordingWindow>();
  Check(d, root + "zlast");
  const auto folderMessages = window->Messages();

  caps[0].effective = kept;
  EXPECT_EQ(syscall(SYS_capset, &header, caps), 0);
  EXPECT_EQ(chown(device.c_str(), node.st_uid, node.st_gid), 0);
  EXPECT_EQ(chmod(device.c_str(), node.st_mode & 07777), 0);

  ASSERT_EQ(denied, EACCES) << "the device could still be opened";
  EXPECT_EQ(found, engine::VolumeQuery::kSerialUnknown);
  EXPECT_EQ(serial, 0u);
  EXPECT_EQ(label, platform::DeviceLabel(device));
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].text,
            "The serial number of the disk cannot be read without access to its device.\n"
            "The disk is checked, but how far the check gets is not remembered");
  EXPECT_EQ(messages[1].text, "The checking is complete\nFiles checked: 4\nFiles with errors (read/open): 1 / 1");
  EXPECT_EQ(rows, (std::vector<Row>{{"*** New Disk ***", "", "", label + ",  "},
                                    {"bad.bin", "Read", "64", root},
                                    {"broken", "Open", "", root}}));
  // A start folder inside the disc is checked too; it keeps no record
  // anyway, so nothing more is said.
  ASSERT_EQ(folderMessages.size(), 1u);
  EXPECT_EQ(folderMessages[0].text, "The checking is complete\nFiles checked: 1\nNo error were detected");
  EXPECT_EQ(NewTvd(), "");
}

// A drive without a medium: no disc, and nothing is checked.
TEST_F(LabCheck, AnEmptyDriveHasNoDisk) {
  const platform::DriveTable table = platform::DriveTable::System(*registry);
  char letter = 0;
  for (char c = 'A'; c <= 'Z'; ++c) {
    const platform::Drive* d = table.Find(c);
    if (d != nullptr && d->device == "/dev/sr4") letter = c;
  }
  ASSERT_NE(letter, 0);
  EXPECT_EQ(table.GetDriveType(std::string(1, letter) + ":\\"), platform::kDriveCdrom);
  std::string label;
  uint32_t serial = 0;
  EXPECT_FALSE(records::SystemVolumeQuery(registry).Query(std::string(1, letter) + ":\\", label, serial));
  window->answer = [](const testing_support::RecordingWindow::Message&) { return engine::kIdCancel; };
  Make(letter);
  EXPECT_FALSE(engine->Start() && engine->RunGoes(std::chrono::seconds(60)));
  ASSERT_EQ(window->Messages().size(), 1u);
  EXPECT_EQ(window->Messages()[0].text, "There is no disk in selected device");
  EXPECT_EQ(window->Messages()[0].caption, "Torvex Warning");
  EXPECT_TRUE(window->Rows().empty());
  // No run: nothing is logged or remembered.
  EXPECT_EQ(NewLog(), "");
  EXPECT_EQ(NewTvd(), "");
}

// Rock Ridge links: never followed off the disc, never an Open row. A link
// out of the disc (to /etc/passwd, to nowhere) is what the disc records for
// it, a file of no bytes that reads fine; one to a file of the disc is that
// file; one to a folder is not walked.
TEST_F(LabCheck, SymbolicLinksOfADiscNeverLeadOffIt) {
  const char d = LetterOf("/mnt/cd1");
  Check(d);
  // A.TXT, SUB/B.TXT, link (B.TXT again), outlink, dangling.
  EXPECT_EQ(Report(), "The checking is complete\nFiles checked: 5\nNo error were detected");
  EXPECT_EQ(window->Rows(), (std::vector<Row>{{"*** New Disk ***", "", "", "LINKS,  "}}));
  EXPECT_EQ(engine->State().bytesRead, 10 + 20 + 20);
  EXPECT_EQ(engine->State().disk.bytesTotal, 10 + 20 + 20);
  ExpectLog("LINKS", {});
  const uint32_t serial = DescriptorSerial(JolietDescriptor(Image("links.iso")));
  EXPECT_EQ(NewTvd(), TvdSection({serial, 5, 5, 50, 50, 100}, "LINKS"));
}

// A UDF-only disc (no ISO 9660 descriptor): named and numbered by its UDF
// descriptors, mounted or not. A damaged file entry: the listing cannot look
// at the file, and the file is an Open row, never left out.
TEST_F(LabCheck, AUdfOnlyDiscIsADiscAndAFailingFileEntryIsAnOpenRow) {
  const char d = LetterOf("/mnt/udf0");
  const std::string root = std::string(1, d) + ":\\";
  // The serial: the sums over the primary volume descriptor of the
  // sequence the anchor points at.
  const std::string image = Image("udf.iso");
  const std::string anchor = Sector(image, 256);
  uint32_t location = 0;
  std::memcpy(&location, anchor.data() + 20, 4);
  const std::string primary = Sector(image, location);
  ASSERT_EQ(primary[0], 1);
  const uint32_t serial = DescriptorSerial(primary);
  std::string label;
  uint32_t got = 0;
  ASSERT_TRUE(records::SystemVolumeQuery(registry).Query(root, label, got));
  EXPECT_EQ(label, "UDFONLY");
  EXPECT_EQ(got, serial);

  Check(d);
  EXPECT_EQ(Report(), "The checking is complete\nFiles checked: 3\nFiles with errors (read/open): 0 / 1");
  EXPECT_EQ(window->Rows(), (std::vector<Row>{{"*** New Disk ***", "", "", "UDFONLY,  "},
                                              {"LOST.BIN", "Open", "", root}}));
  ExpectLog("UDFONLY", {"LOST.BIN, Open, , " + root});
  EXPECT_EQ(engine->State().bytesRead, 3'000 + 5'000);
  // The file whose entry fails is counted with no bytes.
  EXPECT_EQ(NewTvd(), TvdSection({serial, 3, 3, 8'000, 8'000, 100}, "UDFONLY"));

  // Not mounted: still the same disc, mounted for the check.
  ASSERT_EQ(umount("/mnt/udf0"), 0) << std::strerror(errno);
  label.clear();
  got = 0;
  ASSERT_TRUE(records::SystemVolumeQuery(registry).Query(root, label, got));
  EXPECT_EQ(label, "UDFONLY");
  EXPECT_EQ(got, serial);
  const auto mounter = std::make_shared<MountAsUdisksWould>();
  roots = std::make_shared<records::SystemRootCheck>(registry, mounter, platform::DriveProbe::System());
  window = std::make_shared<testing_support::RecordingWindow>();
  // The disc is remembered as checked whole: it is checked again.
  window->answer = [](const testing_support::RecordingWindow::Message& m) {
    return m.caption == "Torvex disk restore" ? engine::kIdCheckAgain : engine::kIdOk;
  };
  Check(d);
  EXPECT_EQ(mounter->asked, std::vector<std::string>{"/dev/sr3"});
  EXPECT_EQ(window->Messages().at(0).text, "This disk has been checked (100%)\nDo you want to start or continue checking?");
  EXPECT_EQ(Report(), "The checking is complete\nFiles checked: 3\nFiles with errors (read/open): 0 / 1");
  EXPECT_EQ(window->Rows(), (std::vector<Row>{{"*** New Disk ***", "", "", "UDFONLY,  "},
                                              {"LOST.BIN", "Open", "", root}}));
}

// After a check of a start folder on the disc the program's current
// directory is where it was, and the disc can be unmounted and taken out of
// its drive while the program stays open.
TEST_F(LabCheck, AfterACheckOfAStartFolderTheDiscCanBeUnmountedAndEjected) {
  const char d = LetterOf("/mnt/cd0");
  Check(d, std::string(1, d) + ":\\DATA");
  EXPECT_EQ(Report(), "The checking is complete\nFiles checked: 3\nNo error were detected");
  EXPECT_EQ(window->Rows(),
            (std::vector<Row>{{"*** New Disk ***", "", "", "Torvex Lab disc,  " + std::string(1, d) + ":\\DATA"}}));
  ExpectLog("Torvex Lab disc", {});
  EXPECT_EQ(NewTvd(), "");  // a start folder keeps no record
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  EXPECT_EQ(std::string(cwd), program);
  // The check's own threads end a moment after its report.
  int unmounted = -1;
  for (int i = 0; i < 100 && unmounted != 0; ++i) {
    unmounted = umount("/mnt/cd0");
    if (unmounted != 0 && errno != EBUSY) break;
    if (unmounted != 0) std::this_thread::sleep_for(100ms);
  }
  ASSERT_EQ(unmounted, 0) << std::strerror(errno);
  const int fd = open("/dev/sr0", O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(fd, 0) << std::strerror(errno);
  EXPECT_EQ(ioctl(fd, CDROMEJECT, 0), 0) << std::strerror(errno);
  EXPECT_EQ(ioctl(fd, CDROM_DRIVE_STATUS, CDSL_CURRENT), CDS_TRAY_OPEN);
  close(fd);
  // The program goes on: the next check finds the drive empty.
  window = std::make_shared<testing_support::RecordingWindow>();
  window->answer = [](const testing_support::RecordingWindow::Message&) { return engine::kIdCancel; };
  Make(d);
  EXPECT_FALSE(engine->Start() && engine->RunGoes(std::chrono::seconds(60)));
  ASSERT_EQ(window->Messages().size(), 1u);
  EXPECT_EQ(window->Messages()[0].text, "There is no disk in selected device");
}

// A sector that stalls for six seconds the first time it is read, as a
// scratched disc does while the drive retries: the reader sits in the
// kernel, the file is a Read row at the block after the delay (four
// seconds), and the walk goes on once the drive answers again.
class LabStall : public LabCheck {};

TEST_F(LabStall, AStalledSectorIsAReadRowAfterTheDelayAndTheWalkGoesOn) {
  const char d = LetterOf("/mnt/stall");
  const std::string root = std::string(1, d) + ":\\";
  delay = 4;
  const auto start = std::chrono::steady_clock::now();
  Check(d);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 4s);
  EXPECT_EQ(Report(), "The checking is complete\nFiles checked: 2\nFiles with errors (read/open): 1 / 0");
  EXPECT_EQ(window->Rows(), (std::vector<Row>{{"*** New Disk ***", "", "", "STALL,  "},
                                              {"SLOW.BIN", "Read", "96", root}}));
  ExpectLog("STALL", {"SLOW.BIN, Read, 96, " + root});
  EXPECT_EQ(engine->State().bytesRead, 96 * 1024 + 50'000);
  const uint32_t serial = DescriptorSerial(JolietDescriptor(Image("STALL.iso")));
  EXPECT_EQ(NewTvd(), TvdSection({serial, 2, 2, 350'000, 350'000, 100}, "STALL"));
}

// Stop while the reader is stuck in the kernel on a sector that stalls for
// ten seconds: the run ends at the delay (three seconds) with its report,
// the file a Read row, while the read is still stuck.
TEST_F(LabStall, StopWhileTheReaderIsStuckInTheKernelEndsTheRunAtTheDelay) {
  const char d = LetterOf("/mnt/stop");
  const std::string root = std::string(1, d) + ":\\";
  Make(d);
  ASSERT_TRUE(engine->Start());
  StuckThread stuck;
  ASSERT_TRUE(Tick([&] { return stuck.Poll(); }, 30s));
  const auto stopAt = std::chrono::steady_clock::now();
  engine->Stop();
  ASSERT_TRUE(Tick([&] { return Ended(); }, 10s));
  engine->OnTimerTick();
  EXPECT_LT(std::chrono::steady_clock::now() - stopAt, 3500ms);
  EXPECT_EQ(engine->AbandonedReaders(), 1);
  // The file stopped in is not checked, but its bytes are done.
  EXPECT_EQ(Report(), "The checking is complete (85%)\nFiles checked: 0\nFiles with errors (read/open): 1 / 0");
  EXPECT_EQ(window->Rows(), (std::vector<Row>{{"*** New Disk ***", "", "", "STOP,  "},
                                              {"SLOW.BIN", "Read", "96", root}}));
  ExpectLog("STOP", {"SLOW.BIN, Read, 96, " + root});
  const uint32_t serial = DescriptorSerial(JolietDescriptor(Image("STOP.iso")));
  EXPECT_EQ(NewTvd(), TvdSection({serial, 2, 0, 350'000, 300'000, 85}, "STOP"));
}

// Exit while the reader is stuck in the kernel: it returns at once and has
// saved the progress of the disc (the three blocks read before the stalled
// one); the run then ends without a report.
TEST_F(LabStall, ExitWhileTheReaderIsStuckInTheKernelReturnsAtOnce) {
  const char d = LetterOf("/mnt/exit");
  Make(d);
  ASSERT_TRUE(engine->Start());
  StuckThread stuck;
  ASSERT_TRUE(Tick([&] { return stuck.Poll(); }, 30s));
  const std::string tvd = NewTvd();
  const auto exitAt = std::chrono::steady_clock::now();
  engine->Exit();
  EXPECT_LT(std::chrono::steady_clock::now() - exitAt, 100ms);
  const uint32_t serial = DescriptorSerial(JolietDescriptor(Image("EXIT.iso")));
  EXPECT_EQ(tvd, TvdSection({serial, 2, 0, 350'000, 0, 0}, "EXIT"));
  EXPECT_EQ(NewTvd(), TvdSection({serial, 2, 0, 350'000, 96 * 1024, 28}, "EXIT"));
  engine->Close();
  ASSERT_TRUE(Tick([&] { return Ended(); }, 10s));
  EXPECT_EQ(Report(), "(no report)");
  EXPECT_EQ(window->Rows(), (std::vector<Row>{{"*** New Disk ***", "", "", "EXIT,  "}}));
}

// The disc is taken out of its drive during a check, while the reader is
// stuck in the kernel on it (the host's drive lets go of it once that read
// returns): the file being read and the rest are rows, nothing hangs, and
// the report follows.
TEST_F(LabStall, ADiscTakenOutDuringACheckLeavesRowsAndTheReport) {
  const char d = LetterOf("/mnt/eject");
  const std::string root = std::string(1, d) + ":\\";
  delay = 99;
  Make(d);
  ASSERT_TRUE(engine->Start());
  StuckThread stuck;
  ASSERT_TRUE(Tick([&] { return stuck.Poll(); }, 30s));
  std::printf("lab: host eject cd4\n");
  std::fflush(stdout);
  ASSERT_TRUE(Tick([&] { return Ended(); }, 60s));
  engine->OnTimerTick();
  EXPECT_EQ(Report(), "The checking is complete\nFiles checked: 2\nFiles with errors (read/open): 2 / 0");
  EXPECT_EQ(window->Rows(), (std::vector<Row>{{"*** New Disk ***", "", "", "EJECT,  "},
                                              {"SLOW.BIN", "Read", "96", root},
                                              {"ZAFTER.BIN", "Read", "0", root}}));
  ExpectLog("EJECT", {"SLOW.BIN, Read, 96, " + root, "ZAFTER.BIN, Read, 0, " + root});
  const uint32_t serial = DescriptorSerial(JolietDescriptor(Image("EJECT.iso")));
  EXPECT_EQ(NewTvd(), TvdSection({serial, 2, 2, 350'000, 350'000, 100}, "EJECT"));
}

// A check of a disc with unreadable sectors in two files, then the rescue of
// the files of its Read rows, as the window's context menu starts it: each
// copy equals the file on the image but for exactly the sectors that fail,
// which are zeros and listed in its map; the undamaged file is not copied.
class LabRescue : public LabCheck {
 protected:
  using Area = engine::RescueMap::Area;
  // Checks the disc at mountPoint, rescues the files of its Read rows, and
  // expects each (by its path on the disc) to be copied but for exactly the
  // bad areas given, its map listing them.
  void RescueTheReadRows(const std::string& mountPoint, const std::string& imageFolder,
                         const std::vector<std::pair<std::string, std::vector<Area>>>& expected) {
    const std::size_t earlier = window->Rows().size();  // rows of an earlier check in this test
    Check(LetterOf(mountPoint));
    std::vector<engine::RescueFile> files;
    records::SystemRootPaths paths(registry);
    const auto rows = window->Rows();
    const auto named = window->Files();
    ASSERT_EQ(named.size(), rows.size());
    for (std::size_t r = earlier; r < rows.size(); ++r) {
      const auto& row = rows[r];
      if (row[1] != "Read") continue;
      const auto file = engine::RescueFileOfRow(named[r], paths.ToNativePath(row[3].substr(0, 2) + "\\"));
      ASSERT_TRUE(file.has_value()) << row[0];
      EXPECT_EQ(file->root, mountPoint);
      EXPECT_EQ(file->path, file->relative);
      files.push_back(*file);
    }
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.relative < b.relative; });
    ASSERT_EQ(files.size(), expected.size()) << rows.size() - earlier;
    for (std::size_t i = 0; i < files.size(); ++i) EXPECT_EQ(files[i].relative, expected[i].first);

    struct Listener : engine::RescueListener {
      void Progress(const engine::RescueProgress&) override {}
      void Finished(const engine::RescueReport& r) override {
        std::lock_guard lock(m);
        report = r;
      }
      std::mutex m;
      std::optional<engine::RescueReport> report;
    };
    auto listener = std::make_shared<Listener>();
    engine::RescueRun run(std::make_shared<engine::SystemThreads>(), listener, nullptr);
    const std::string dest = program + "/rescued-" + imageFolder;
    ASSERT_EQ(mkdir(dest.c_str(), 0755), 0);
    EXPECT_EQ(engine::CheckDestination(mountPoint, mountPoint), engine::DestinationProblem::kOnVolume);
    ASSERT_EQ(engine::CheckDestination(dest, mountPoint), engine::DestinationProblem::kNone);
    engine::RescueOptions options;
    options.destination = dest;
    options.delaySeconds = 5;
    options.extraPasses = 1;
    ASSERT_TRUE(run.Start(files, options));
    const auto until = std::chrono::steady_clock::now() + 120s;
    for (;;) {
      {
        std::lock_guard lock(listener->m);
        if (listener->report) break;
      }
      ASSERT_LT(std::chrono::steady_clock::now(), until);
      std::this_thread::sleep_for(50ms);
    }
    const engine::RescueReport report = *listener->report;
    ASSERT_EQ(report.files.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
      const auto& [name, bad] = expected[i];
      EXPECT_EQ(report.files[i].kind, engine::RescueOutcome::kPart) << name;
      EXPECT_EQ(report.files[i].missing, bad) << name;
      std::string want = ReadBytes(Image(imageFolder + "/" + name));
      for (const Area& a : bad) want.replace(static_cast<std::size_t>(a.pos), static_cast<std::size_t>(a.size), static_cast<std::size_t>(a.size), '\0');
      EXPECT_TRUE(ReadBytes(dest + "/" + name) == want) << name;
      const auto map = engine::RescueMap::Parse(ReadBytes(engine::MapName(dest + "/" + name)), static_cast<int64_t>(want.size()));
      ASSERT_TRUE(map.has_value()) << name;
      EXPECT_EQ(map->With('-'), bad) << name;
    }
  }
};

// The system's cache reads a disc's file in 4 KiB pages, two sectors each: a
// whole bad page is lost, but a good sector beside a bad one is read on its
// own, on iso9660 from the drive at the place the file system maps it to, on
// UDF through the file opened past the cache.
TEST_F(LabRescue, TheCopiesOfTheReadRowsMissExactlyTheBadSectors) {
  RescueTheReadRows("/mnt/rescue", "rescue",
                    {{"ARCHIVE.ZIP", {{4096, 4096, '-'}, {131072, 2048, '-'}}},
                     {"PICS/PHOTO.JPG", {{100352, 2048, '-'}}}});
  EXPECT_FALSE(testing_support::FileExists(program + "/rescued-rescue/README.TXT"));
  RescueTheReadRows("/mnt/rescue-udf", "rescue-udf", {{"MOVIE.VOB", {{18432, 2048, '-'}}}});
}

// Without the right to ask where a file's sectors lie (a user's rescue), an
// iso9660 file is read through the cache alone and a bad sector's page-mate
// is missing too; on UDF it is still kept. The test thread gives the right
// up, and the rescue's threads, started from it, are born without it.
TEST_F(LabRescue, WithoutTheRightToMapAFileOnlyUdfKeepsTheGoodSectorOfABadPage) {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct caps[2]{};
  ASSERT_EQ(syscall(SYS_capget, &header, caps), 0);
  const auto kept = caps[0].effective;
  caps[0].effective &= ~(1u << CAP_SYS_RAWIO);
  ASSERT_EQ(syscall(SYS_capset, &header, caps), 0);
  RescueTheReadRows("/mnt/rescue", "rescue",
                    {{"ARCHIVE.ZIP", {{4096, 4096, '-'}, {131072, 4096, '-'}}},
                     {"PICS/PHOTO.JPG", {{98304, 4096, '-'}}}});
  RescueTheReadRows("/mnt/rescue-udf", "rescue-udf", {{"MOVIE.VOB", {{18432, 2048, '-'}}}});
  caps[0].effective = kept;
  EXPECT_EQ(syscall(SYS_capset, &header, caps), 0);
}

}  // namespace
