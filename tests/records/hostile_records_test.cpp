// The program's own records against a hostile or unlucky folder: names
// planted as links, a disk that fills up, files torn by a kill or left empty,
// a damaged settings file.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <regex>
#include <string>

#include "platform/registry.h"
#include "platform/whole_file.h"
#include "records/disk_info_store.h"
#include "records/log_file.h"
#include "engine/settings.h"
#include "records/settings_store.h"
#include "tests/support/file_bytes.h"
#include "tests/support/temp_tree.h"

namespace records {
namespace {

using platform::WriteProblem;
using testing_support::ReadBytes;
using testing_support::TempTree;
using testing_support::WriteBytes;

std::string Section(uint32_t serial, const std::string& label) {
  engine::DiskState d;
  d.serial = serial;
  ResumeRecord r;
  r.serial = serial;
  unsigned char bytes[kResumeRecordSize];
  EncodeResumeRecord(r, bytes);
  char key[16];
  std::snprintf(key, sizeof key, "%08x", serial);
  return std::string("\r\n\r\n[") + key + ", " + label + "]\r\n" +
         std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

engine::DiskState Disk(uint32_t serial, const std::string& label) {
  engine::DiskState d;
  d.serial = serial;
  d.label = label;
  d.filesTotal = 3;
  d.bytesTotal = 300;
  return d;
}

// Someone else's file that a link in the program folder points at.
struct Victim {
  TempTree place;
  std::string path = place.Path("victim");
  std::string bytes = "root's own data, 1221 bytes in real life\n";
  Victim() { WriteBytes(path, bytes); }
  bool Untouched() const { return ReadBytes(path) == bytes; }
};

TEST(HostileRecordsTest, NoRecordIsWrittenThroughAPlantedLink) {
  Victim victim;
  TempTree program;
  std::filesystem::create_symlink(victim.path, program.Path("Torvex.log"));
  std::filesystem::create_symlink(victim.path, program.Path("Torvex.tvd"));

  LogFile log;
  log.SetFolder(program.Root());
  EXPECT_NE(log.OpenLog("Torvex.log", engine::kLogAppend), 0);
  EXPECT_NE(log.OpenLog("Torvex.log", engine::kLogOverwrite), 0);
  EXPECT_NE(log.WriteDiskHeader("DISK"), 0);
  EXPECT_NE(log.WriteErrorLine("A", "Read", "0", "D:\\"), 0);
  EXPECT_EQ(log.LastProblem(), WriteProblem::kLink);
  EXPECT_EQ(log.Path(), program.Path("Torvex.log"));

  DiskInfoStore store;
  store.SetFolder(program.Root());
  EXPECT_NE(store.OpenStore("Torvex.tvd"), 0);
  EXPECT_NE(store.AddDisk(Disk(0x1234, "DISK")), 0);
  EXPECT_NE(store.UpdateDisk(Disk(0x1234, "DISK")), 0);
  EXPECT_EQ(store.LastProblem(), WriteProblem::kLink);
  EXPECT_TRUE(victim.Untouched());
  EXPECT_TRUE(std::filesystem::is_symlink(program.Path("Torvex.log")));

  // A link to a device is not written either.
  if (access("/dev/null", W_OK) == 0) {
    std::filesystem::remove(program.Path("Torvex.log"));
    std::filesystem::create_symlink("/dev/null", program.Path("Torvex.log"));
    EXPECT_NE(log.OpenLog("Torvex.log", engine::kLogOverwrite), 0);
  }

  // Once the link is gone, the next record makes the log and goes in.
  std::filesystem::remove(program.Path("Torvex.log"));
  EXPECT_EQ(log.WriteErrorLine("B", "Read", "32", "D:\\"), 0);
  EXPECT_EQ(ReadBytes(program.Path("Torvex.log")), "\r\n B, Read, 32, D:\\");
  std::filesystem::remove(program.Path("Torvex.tvd"));
  EXPECT_EQ(store.AddDisk(Disk(0x1234, "DISK")), 0);
  EXPECT_NE(store.FindDisk(0x1234), 0);
}

TEST(HostileRecordsTest, TheSettingsAreNeverWrittenThroughAPlantedTemporaryFile) {
  Victim victim;
  TempTree config;
  platform::Registry registry(config.Path("registry.reg"));
  std::filesystem::create_symlink(victim.path, config.Path("registry.reg.tmp"));
  SettingsStore store(registry);
  store.programFolder = "/p";
  store.LoadSettings();
  store.SaveSettings();
  EXPECT_TRUE(victim.Untouched());
  EXPECT_NE(ReadBytes(config.Path("registry.reg")).find("\"Options\"=hex:"), std::string::npos);
  EXPECT_FALSE(std::filesystem::is_symlink(config.Path("registry.reg")));

  // The settings file itself planted as a link: read where it points, but the
  // save replaces the link, and the damaged copy is no file beside the victim.
  std::filesystem::remove(config.Path("registry.reg"));
  std::filesystem::create_symlink(victim.path, config.Path("registry.reg"));
  SettingsStore linked(registry);
  linked.programFolder = "/p";
  linked.LoadSettings();
  EXPECT_TRUE(linked.settingsReset);
  linked.SaveSettings();
  EXPECT_TRUE(victim.Untouched());
  EXPECT_FALSE(std::filesystem::exists(victim.path + ".bak"));
  EXPECT_FALSE(std::filesystem::is_symlink(config.Path("registry.reg")));
  EXPECT_NE(ReadBytes(config.Path("registry.reg")).find("\"Options\"=hex:"), std::string::npos);

  // A lock planted as a link, even one that leads nowhere yet, is neither
  // created nor written: the save is refused instead.
  const std::string missing = victim.place.Path("made-by-the-lock");
  for (const std::string& target : {victim.path, missing}) {
    std::filesystem::remove(config.Path("registry.reg.lock"));
    std::filesystem::create_symlink(target, config.Path("registry.reg.lock"));
    const std::string before = ReadBytes(config.Path("registry.reg"));
    linked.settings->logMode = linked.settings->logMode == engine::kLogAppend ? engine::kLogOverwrite : engine::kLogAppend;
    linked.SaveSettings();
    EXPECT_EQ(ReadBytes(config.Path("registry.reg")), before);
  }
  EXPECT_TRUE(victim.Untouched());
  EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST(HostileRecordsTest, FoldersAndPipesInARecordsPlaceAreNamedAsSuch) {
  TempTree program;
  program.Folder("Torvex.log");
  program.Fifo("Torvex.tvd");
  LogFile log;
  log.SetFolder(program.Root());
  EXPECT_NE(log.OpenLog("Torvex.log", engine::kLogAppend), 0);
  EXPECT_EQ(log.LastProblem(), WriteProblem::kNotAFile);
  DiskInfoStore store;
  store.SetFolder(program.Root());
  EXPECT_NE(store.OpenStore("Torvex.tvd"), 0);
  EXPECT_NE(store.AddDisk(Disk(1, "X")), 0);
  EXPECT_EQ(store.LastProblem(), WriteProblem::kNotAFile);
}

TEST(HostileRecordsTest, TornAndEmptyDiskInfoFilesAreMendedOnOpen) {
  TempTree program;
  DiskInfoStore first;
  first.SetFolder(program.Root());
  ASSERT_EQ(first.OpenStore("Torvex.tvd"), 0);
  const std::string header = ReadBytes(program.Path("Torvex.tvd"));
  const std::string whole = header + Section(0xAA, "WHOLE");

  // A kill or a full disk during the record of a new disc: the section
  // header and only the serial.
  const std::string torn = Section(0xBB, "TORN").substr(0, 24);
  WriteBytes(program.Path("Torvex.tvd"), whole + torn);
  EXPECT_EQ(FindDiskInText(whole + torn, 0xBB), 0);
  EXPECT_EQ(WholeSectionsEnd(whole + torn), whole.size());
  for (std::size_t cut = 1; cut < Section(0xBB, "TORN").size(); ++cut) {
    EXPECT_EQ(WholeSectionsEnd(whole + Section(0xBB, "TORN").substr(0, cut)), whole.size()) << cut;
  }
  EXPECT_EQ(WholeSectionsEnd(whole + Section(0xBB, "TORN")), whole.size() + Section(0xBB, "TORN").size());
  DiskInfoStore store;
  store.SetFolder(program.Root());
  ASSERT_EQ(store.OpenStore("Torvex.tvd"), 0);
  EXPECT_EQ(ReadBytes(program.Path("Torvex.tvd")), whole);
  EXPECT_EQ(store.FindDisk(0xBB), 0);  // never asked about as "checked (0%)"
  EXPECT_NE(store.FindDisk(0xAA), 0);

  // Bytes that are no section of this program's are left alone.
  WriteBytes(program.Path("Torvex.tvd"), whole + "\r\nnot a section");
  ASSERT_EQ(store.OpenStore("Torvex.tvd"), 0);
  EXPECT_EQ(ReadBytes(program.Path("Torvex.tvd")), whole + "\r\nnot a section");

  // A disk that was full at the first start left empty files: the next start
  // that can writes the header.
  WriteBytes(program.Path("Torvex.tvd"), "");
  DiskInfoStore again;
  again.SetFolder(program.Root());
  ASSERT_EQ(again.OpenStore("Torvex.tvd"), 0);
  EXPECT_EQ(ReadBytes(program.Path("Torvex.tvd")), header);
}

TEST(HostileRecordsTest, ADamagedSettingsFileIsKeptAndTold) {
  TempTree config;
  platform::Registry registry(config.Path("registry.reg"));
  // A save cut off in the middle of its last value.
  const std::string cut = "REGEDIT4\r\n\r\n[" + std::string(kProgramKey) + "]\r\n\"Options\"=hex:01,0";
  WriteBytes(registry.FilePath(), cut);
  SettingsStore store(registry);
  store.programFolder = "/p";
  store.LoadSettings();
  EXPECT_TRUE(store.settingsReset);
  EXPECT_EQ(store.DamagedCopy(), config.Path("registry.reg.bak"));
  EXPECT_EQ(ReadBytes(config.Path("registry.reg.bak")), cut);
  store.SaveSettings();
  // The rewritten file is sound: nothing to tell at the next start.
  SettingsStore next(registry);
  next.LoadSettings();
  EXPECT_FALSE(next.settingsReset);
  EXPECT_EQ(ReadBytes(config.Path("registry.reg.bak")), cut);
}

// A tmpfs of a few pages in the program folder's place, filled to the last
// byte, so that the next record crosses into a page that is not there.
class FullDisk {
 public:
  bool Mount(std::string* why) {
    if (geteuid() != 0) {
      *why = "mounting a small tmpfs needs root";
      return false;
    }
    if (mount("torvex-full", dir_.Root().c_str(), "tmpfs", 0, "size=64k") != 0) {
      *why = std::string("mount tmpfs: ") + std::strerror(errno);
      return false;
    }
    mounted_ = true;
    return true;
  }
  ~FullDisk() {
    if (mounted_) umount2(dir_.Root().c_str(), MNT_DETACH);
  }
  std::string Path(const std::string& rel) const { return dir_.Path(rel); }
  const std::string& Root() const { return dir_.Root(); }
  // Fills every free page with a file of its own.
  void Fill() const {
    const int fd = open(Path("filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, 0644);
    ASSERT_GE(fd, 0);
    char page[4096] = {};
    while (write(fd, page, sizeof page) > 0) {
    }
    close(fd);
  }

 private:
  TempTree dir_;
  bool mounted_ = false;
};

TEST(HostileRecordsTest, AFullDiskTakesWholeRecordsOrNone) {
  FullDisk disk;
  std::string why;
  if (!disk.Mount(&why)) GTEST_SKIP() << why;

  // The log's one page has 20 bytes free: a record of 40 does not fit.
  std::string logBytes = "\r\n\r\n[OLD, 01/01/2000,  0:00]";
  while (logBytes.size() < 4096) logBytes += "\r\n X, Read, 0, D:\\";
  logBytes.resize(4096 - 20);
  WriteBytes(disk.Path("Torvex.log"), logBytes);
  LogFile log;
  log.SetFolder(disk.Root());
  ASSERT_EQ(log.OpenLog("Torvex.log", engine::kLogAppend), 0);

  // The disk info file's last page has room for less than a section.
  DiskInfoStore store;
  store.SetFolder(disk.Root());
  ASSERT_EQ(store.OpenStore("Torvex.tvd"), 0);
  std::string tvd = ReadBytes(disk.Path("Torvex.tvd"));
  uint32_t serial = 1;
  while (4096 - tvd.size() >= 200) tvd += Section(serial++, "PAD");
  // The last one leaves exactly 20 bytes of its page.
  const std::size_t bare = Section(serial, "").size();
  tvd += Section(serial, std::string(4096 - tvd.size() - 20 - bare, 'P'));
  ASSERT_EQ(tvd.size(), 4096u - 20);
  WriteBytes(disk.Path("Torvex.tvd"), tvd);
  disk.Fill();

  EXPECT_EQ(log.WriteErrorLine("A LONG NAME.DAT", "Read", "65536", "D:\\SUB"), LogFile::kCannotWrite);
  EXPECT_EQ(log.LastProblem(), WriteProblem::kFull);
  EXPECT_EQ(ReadBytes(disk.Path("Torvex.log")), logBytes);
  EXPECT_EQ(log.WriteErrorLine("B", "Open", "", "D:\\"), LogFile::kOk);  // 17 bytes still fit
  EXPECT_EQ(ReadBytes(disk.Path("Torvex.log")), logBytes + "\r\n B, Open, , D:\\");

  EXPECT_NE(store.AddDisk(Disk(0xFEED, "NEW DISC LABEL")), 0);
  EXPECT_EQ(store.LastProblem(), WriteProblem::kFull);
  EXPECT_EQ(ReadBytes(disk.Path("Torvex.tvd")), tvd);
  EXPECT_EQ(store.FindDisk(0xFEED), 0);

  // Room again: the next records go in whole.
  std::filesystem::remove(disk.Path("filler"));
  EXPECT_EQ(store.AddDisk(Disk(0xFEED, "NEW DISC LABEL")), 0);
  EXPECT_NE(store.FindDisk(0xFEED), 0);
}

TEST(HostileRecordsTest, ADiskFullAtTheFirstStartLeavesNoHalfFile) {
  FullDisk disk;
  std::string why;
  if (!disk.Mount(&why)) GTEST_SKIP() << why;
  disk.Fill();
  DiskInfoStore store;
  store.SetFolder(disk.Root());
  EXPECT_NE(store.OpenStore("Torvex.tvd"), 0);
  EXPECT_EQ(store.LastProblem(), WriteProblem::kFull);
  EXPECT_FALSE(std::filesystem::exists(disk.Path("Torvex.tvd")));
  std::filesystem::remove(disk.Path("filler"));
  // Tried again with the first new disk.
  EXPECT_EQ(store.AddDisk(Disk(0x42, "LATER")), 0);
  EXPECT_EQ(ReadBytes(disk.Path("Torvex.tvd")).rfind(";\r\n; Torvex v2.xx DiskInfoFile.", 0), 0u);
}

// A disk that fills in the middle of a header: a file size limit makes the
// write stop part way, as a full disk does between two blocks. The log's
// header and the header of an empty disk info file are then cut off again.
TEST(HostileRecordsTest, AHeaderCutShortByAFullDiskIsTakenBackWhole) {
  TempTree t;
  WriteBytes(t.Path("Torvex.tvd"), "");
  WriteBytes(t.Path("Torvex.log"), "old log");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails with EFBIG instead
    const rlimit limit{40, 40};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(2);
    LogFile log;
    log.SetFolder(t.Root());
    DiskInfoStore store;
    store.SetFolder(t.Root());
    const bool logRefused = log.OpenLog("Torvex.log", engine::kLogOverwrite) != 0;
    const bool storeRefused = store.OpenStore("Torvex.tvd") != 0;
    _exit(logRefused && storeRefused && store.LastProblem() == WriteProblem::kFull ? 0 : 3);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadBytes(t.Path("Torvex.log")), "");
  EXPECT_EQ(ReadBytes(t.Path("Torvex.tvd")), "");
}

}  // namespace
}  // namespace records
