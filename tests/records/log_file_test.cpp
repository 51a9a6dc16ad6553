#include "records/log_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "engine/settings.h"
#include "tests/support/fixed_clock.h"
#include "tests/support/file_bytes.h"
#include "tests/support/temp_tree.h"

namespace records {
namespace {

using testing_support::FileExists;
using testing_support::ReadBytes;
using testing_support::FixedClock;
using testing_support::TempTree;
using testing_support::WriteBytes;

std::tm At(int day, int month, int year, int hour, int minute) {
  std::tm tm{};
  tm.tm_mday = day;
  tm.tm_mon = month - 1;
  tm.tm_year = year - 1900;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  return tm;
}

// Every line feed of the file comes with its carriage return, and no other
// carriage return stands alone.
bool AllCrLf(const std::string& bytes) {
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) return false;
    if (bytes[i] == '\r' && (i + 1 == bytes.size() || bytes[i + 1] != '\n')) return false;
  }
  return true;
}

const std::string kHeaderStart = ";\r\n; Torvex v2.xx LogFile. ";

TEST(LogFileTest, OverwriteModeWritesTheFourLineHeaderAlone) {
  TempTree t;
  WriteBytes(t.Path("Torvex.log"), "old contents");
  LogFile log;
  log.SetFolder(t.Root());
  ASSERT_EQ(log.OpenLog("Torvex.log", engine::kLogOverwrite), 0);
  const std::string bytes = ReadBytes(t.Path("Torvex.log"));
  EXPECT_EQ(bytes.rfind(kHeaderStart, 0), 0u);
  EXPECT_EQ(bytes.substr(bytes.size() - 3), "\r\n;");  // the last line has no line end
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 3);
  EXPECT_NE(bytes.find("\r\n; "), std::string::npos);
  EXPECT_TRUE(AllCrLf(bytes));
  EXPECT_EQ(log.Path(), t.Path("Torvex.log"));
}

TEST(LogFileTest, AppendModeKeepsALogAndCreatesAnEmptyOne) {
  TempTree t;
  LogFile log(std::make_shared<FixedClock>(At(7, 12, 1999, 9, 5)));
  log.SetFolder(t.Root() + "/");  // a folder that already ends in its separator
  ASSERT_EQ(log.OpenLog("Torvex.log", engine::kLogAppend), 0);
  EXPECT_TRUE(FileExists(t.Path("Torvex.log")));
  EXPECT_EQ(ReadBytes(t.Path("Torvex.log")), "");

  ASSERT_EQ(log.WriteDiskHeader("MYDISK"), 0);
  EXPECT_EQ(ReadBytes(t.Path("Torvex.log")), "\r\n\r\n[MYDISK, 07/12/1999,  9:05]");

  // The next start in append mode keeps everything.
  LogFile next(std::make_shared<FixedClock>(At(31, 1, 2024, 23, 59)));
  next.SetFolder(t.Root());
  ASSERT_EQ(next.OpenLog("Torvex.log", engine::kLogAppend), 0);
  ASSERT_EQ(next.WriteDiskHeader(""), 0);
  EXPECT_EQ(ReadBytes(t.Path("Torvex.log")),
            "\r\n\r\n[MYDISK, 07/12/1999,  9:05]\r\n\r\n[, 31/01/2024, 23:59]");
}

TEST(LogFileTest, ErrorRecordsInTheirExactFormat) {
  TempTree t;
  LogFile log(std::make_shared<FixedClock>(At(1, 2, 2003, 0, 0)));
  log.SetFolder(t.Root());
  ASSERT_EQ(log.OpenLog("Torvex.log", engine::kLogAppend), 0);
  log.WriteDiskHeader("100% DISK");
  log.WriteErrorLine("SETUP.EXE", "Read", "1234", "E:\\INSTALL");
  log.WriteErrorLine("README.TXT", "Open", "", "E:\\");
  log.WriteErrorLine("%s%n.DAT", "Skipped", "0", "E:\\50%");
  log.WriteErrorLine("", "NoMemory", "", "");
  const std::string bytes = ReadBytes(t.Path("Torvex.log"));
  EXPECT_EQ(bytes,
            "\r\n\r\n[100% DISK, 01/02/2003,  0:00]"
            "\r\n SETUP.EXE, Read, 1234, E:\\INSTALL"
            "\r\n README.TXT, Open, , E:\\"
            "\r\n %s%n.DAT, Skipped, 0, E:\\50%"
            "\r\n , NoMemory, , ");
  EXPECT_TRUE(AllCrLf(bytes));
}

TEST(LogFileTest, ResultCodes) {
  TempTree t;
  LogFile log;
  EXPECT_EQ(log.WriteDiskHeader("X"), 3);  // not ready
  EXPECT_EQ(log.WriteErrorLine("a", "Read", "1", "b"), 3);
  EXPECT_EQ(log.OpenLog("Torvex.log", engine::kLogAppend), 1);  // no folder yet

  log.SetFolder(t.Path("missing"));
  EXPECT_EQ(log.OpenLog("Torvex.log", engine::kLogAppend), 1);
  EXPECT_EQ(log.OpenLog("Torvex.log", engine::kLogOverwrite), 1);
  EXPECT_FALSE(log.Ready());
  EXPECT_EQ(log.WriteDiskHeader("X"), 3);

  log.SetFolder(t.Root());
  EXPECT_EQ(log.OpenLog("Torvex.log", 3), 1);
  EXPECT_FALSE(FileExists(t.Path("Torvex.log")));
  ASSERT_EQ(log.OpenLog("Torvex.log", engine::kLogOverwrite), 0);
  // A later failing open leaves the log ready and where it was.
  log.SetFolder(t.Path("missing"));
  EXPECT_EQ(log.OpenLog("Torvex.log", engine::kLogOverwrite), 1);
  EXPECT_TRUE(log.Ready());
  EXPECT_EQ(log.WriteErrorLine("a", "Read", "1", "b"), 0);
  EXPECT_NE(ReadBytes(t.Path("Torvex.log")).find("\r\n a, Read, 1, b"), std::string::npos);
}

TEST(LogFileTest, LogThatCannotBeWrittenLosesTheRecordAndTriesAgain) {
  TempTree t;
  LogFile log;
  log.SetFolder(t.Root());
  ASSERT_EQ(log.OpenLog("Torvex.log", engine::kLogOverwrite), 0);
  const std::string header = ReadBytes(t.Path("Torvex.log"));

  // Taken away and put back as something that cannot be opened for writing.
  std::filesystem::rename(t.Path("Torvex.log"), t.Path("saved.log"));
  t.Folder("Torvex.log");
  EXPECT_EQ(log.WriteErrorLine("A.DAT", "Read", "0", "D:\\"), 2);
  std::filesystem::remove(t.Path("Torvex.log"));

  // A device that refuses every write.
  if (access("/dev/full", W_OK) == 0) {
    std::filesystem::create_symlink("/dev/full", t.Path("Torvex.log"));
    EXPECT_EQ(log.WriteErrorLine("B.DAT", "Read", "0", "D:\\"), 2);
    std::filesystem::remove(t.Path("Torvex.log"));
  }

  // A FIFO nobody reads: the write fails at once instead of waiting.
  ASSERT_EQ(mkfifo(t.Path("Torvex.log").c_str(), 0644), 0);
  EXPECT_EQ(log.WriteErrorLine("F.DAT", "Read", "0", "D:\\"), 2);
  std::filesystem::remove(t.Path("Torvex.log"));

  std::filesystem::rename(t.Path("saved.log"), t.Path("Torvex.log"));
  EXPECT_EQ(log.WriteErrorLine("C.DAT", "Read", "64", "D:\\"), 0);
  EXPECT_EQ(ReadBytes(t.Path("Torvex.log")), header + "\r\n C.DAT, Read, 64, D:\\");
}

}  // namespace
}  // namespace records
