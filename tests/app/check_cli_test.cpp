// torvex-check end to end: the real program on the fault file system, as a
// child process. Where the kernel refuses the FUSE mount, these tests skip
// and say why.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/rescue.h"
#include "platform/rescue_files.h"
#include "records/disk_info_store.h"
#include "tests/app/cli_child.h"
#include "tests/support/fault_fs.h"
#include "tests/support/file_bytes.h"
#include "tests/support/temp_tree.h"

namespace cli_test {
namespace {

using namespace std::chrono_literals;
using testing_support::FaultFile;
using testing_support::FaultFs;
using Clock = std::chrono::steady_clock;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The error rows of the output: every line with four tab-separated cells
// but the new-disk row.
std::vector<std::string> ErrorRows(const std::string& out) {
  std::vector<std::string> rows;
  for (const auto& line : Lines(out)) {
    if (std::count(line.begin(), line.end(), '\t') == 3 && !line.starts_with("***")) rows.push_back(line);
  }
  std::sort(rows.begin(), rows.end());
  return rows;
}

class CheckCliTest : public ::testing::Test {
 protected:
  // Serves the files as a CD-ROM drive D: of the drive table.
  void Serve(std::vector<FaultFile> files) {
    fs = std::make_unique<FaultFs>(std::move(files));
    std::string why;
    if (!fs->Mount(&why)) GTEST_SKIP() << "FUSE fault injection unavailable: " << why;
    options.cwd = home.Root();
    options.registryFile = home.Path("registry.reg");
    testing_support::WriteBytes(options.registryFile,
                                "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillon\\Torvex\\203\\Drives]\r\n"
                                "\"D\"=\"5," + fs->MountPoint() + "\"\r\n");
  }
  void TearDown() override { fs.reset(); }

  // Waits until the file system holds a read, pumping the child's output.
  bool WaitForStall(Child& child) {
    return child.ReadUntil([&](const std::string&, const std::string&) { return fs->StalledReads() > 0; }, 30s);
  }

  testing_support::TempTree home;  // the current folder of the program
  ChildOptions options;
  std::unique_ptr<FaultFs> fs;
};

const std::vector<FaultFile> kDamagedTree = {
    {"FIRST.BIN", 100'000, FaultFile::kEio, 0},
    {"THIRD.BIN", 200'000, FaultFile::kEio, 70'000},
    {"LOCKED.BIN", 5'000, FaultFile::kNoOpen},
    {"SUB/FINE.BIN", 50'000},
    {"SHORT.BIN", 100'000, FaultFile::kShort, 40'000},
};

TEST_F(CheckCliTest, ADamagedTreeGivesItsRowsTheReportTheLogAndStatusOne) {
  Serve(kDamagedTree);
  if (IsSkipped()) return;
  const Result en = RunCheck({"--log", "checks.log", "D:"}, options);
  EXPECT_EQ(en.status, 1) << en.err;
  // Standard error is no terminal: no status line, and nothing went wrong.
  EXPECT_EQ(en.err, "");
  const auto lines = Lines(en.out);
  ASSERT_GE(lines.size(), 4u) << en.out;
  EXPECT_TRUE(lines[0].starts_with("*** New Disk ***\t\t\t")) << lines[0];
  EXPECT_EQ(ErrorRows(en.out), (std::vector<std::string>{"FIRST.BIN\tRead\t0\tD:\\", "LOCKED.BIN\tOpen\t\tD:\\",
                                                         "THIRD.BIN\tRead\t64\tD:\\"}));
  EXPECT_TRUE(en.out.ends_with(
      "The checking is complete\nFiles checked: 5\nFiles with errors (read/open): 2 / 1\n"))
      << en.out;
  // The log in its own format, CR LF and all; a new log begins with its header.
  const std::string log = testing_support::ReadBytes(home.Path("checks.log"));
  EXPECT_TRUE(log.starts_with(";\r\n; Torvex v2.xx LogFile.")) << log;
  EXPECT_NE(log.find("\r\n FIRST.BIN, Read, 0, D:\\"), std::string::npos) << log;
  EXPECT_NE(log.find("\r\n LOCKED.BIN, Open, , D:\\"), std::string::npos) << log;
  EXPECT_NE(log.find("\r\n THIRD.BIN, Read, 64, D:\\"), std::string::npos) << log;
  // Nothing is remembered without --resume or --check-again.
  EXPECT_FALSE(testing_support::FileExists(home.Path("Torvex.tvd")));

  const Result ru = RunCheck({"--language", "ru", "--no-prescan", "D:"}, options);
  EXPECT_EQ(ru.status, 1) << ru.err;
  EXPECT_EQ(ErrorRows(ru.out), (std::vector<std::string>{"FIRST.BIN\tЧтения\t0\tD:\\",
                                                         "LOCKED.BIN\tОткрытия\t\tD:\\",
                                                         "THIRD.BIN\tЧтения\t64\tD:\\"}));
  EXPECT_TRUE(ru.out.ends_with("Проверка диска завершена на ? %\nПроверено файлов:  5\n"
                               "Файлов с ошибками (чтение/открытие): 2 / 1\n"))
      << ru.out;
}

TEST_F(CheckCliTest, TheJsonDocumentHoldsTheRowsAndTotalsOfTheTextRun) {
  Serve(kDamagedTree);
  if (IsSkipped()) return;
  const Result text = RunCheck({"D:"}, options);
  const Result json = RunCheck({"--json", "--delay", "7", "--priority", "2", "D:"}, options);
  ASSERT_EQ(json.status, 1) << json.err;
  testing_support::WriteBytes(home.Path("report.json"), json.out);
  // Parsed back by a JSON parser of its own: rows as the text run prints them.
  const std::string script =
      "import json,sys\n"
      "d=json.load(open(sys.argv[1]))\n"
      "assert d['format']=='torvex-check' and d['version']==1\n"
      "for r in d['rows']:\n"
      "  p='' if r['position'] is None else str(r['position'])\n"
      "  print('ROW', r['name'], r['kind_text'], p, r['folder'], r['kind'], sep='\\t')\n"
      "t=d['totals']; s=d['settings']; v=d['volume']\n"
      "print('TOTALS', t['files_checked'], t['files_total'], t['read_errors'], t['open_errors'], t['percent'],"
      " t['bytes_done']==t['bytes_total'])\n"
      "print('SETTINGS', s['delay'], s['fast'], s['prescan'], s['priority'], s['resume'], s['log'], s['language'])\n"
      "print('VOLUME', v['letter'], v['path'], v['whole_disk'], v['cdrom'], v['folder']==sys.argv[2])\n"
      "print('END', d['exit_status'], d['stopped_by'], repr(d['report']))\n";
  testing_support::WriteBytes(home.Path("read.py"), script);
  const std::string command = std::string(PYTHON3_PROGRAM) + " " + home.Path("read.py") + " " +
                              home.Path("report.json") + " " + fs->MountPoint();
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string parsed;
  char buf[4096];
  for (std::size_t n; (n = fread(buf, 1, sizeof buf, pipe)) > 0;) parsed.append(buf, n);
  ASSERT_EQ(pclose(pipe), 0) << json.out;

  std::vector<std::string> rows;
  for (const auto& line : Lines(parsed)) {
    if (!line.starts_with("ROW\t")) continue;
    // The kind word is the last cell; the rest is the row as printed.
    const std::size_t kind = line.rfind('\t');
    rows.push_back(line.substr(4, kind - 4));
    const std::string word = line.substr(kind + 1);
    EXPECT_EQ(word, line.find("\tRead\t") != std::string::npos ? "read" : "open") << line;
  }
  std::sort(rows.begin(), rows.end());
  EXPECT_EQ(rows, ErrorRows(text.out));
  EXPECT_EQ(rows.size(), 3u);
  EXPECT_NE(parsed.find("TOTALS 5 5 2 1 100 True\n"), std::string::npos) << parsed;
  EXPECT_NE(parsed.find("SETTINGS 7 False True 2 none None en\n"), std::string::npos) << parsed;
  EXPECT_NE(parsed.find("VOLUME D D:\\ True True True\n"), std::string::npos) << parsed;
  EXPECT_NE(parsed.find("END 1 None 'The checking is complete\\nFiles checked: 5\\nFiles with errors (read/open): 2 / 1'"),
            std::string::npos)
      << parsed;
}

TEST_F(CheckCliTest, EveryFileReadIsStatusZeroAndAChecksThatCannotBeMadeAreStatusTwo) {
  Serve({{"TOP.BIN", 40'000}, {"SUB/ONE.BIN", 70'000}, {"SUB/TWO.BIN", 0}});
  if (IsSkipped()) return;
  // A folder of the drive, by its Linux path.
  const Result clean = RunCheck({fs->MountPoint() + "/SUB"}, options);
  EXPECT_EQ(clean.status, 0) << clean.err;
  EXPECT_EQ(ErrorRows(clean.out), std::vector<std::string>{});
  EXPECT_NE(clean.out.find("\\SUB\n"), std::string::npos) << clean.out;
  EXPECT_TRUE(clean.out.ends_with("Files checked: 2\nNo error were detected\n")) << clean.out;
  EXPECT_EQ(fs->Reads("TOP.BIN").size(), 0u) << "only the folder asked for is read";
  // A log that cannot be written is told once on standard error; the check
  // goes on and its result stands.
  const Result unlogged = RunCheck({"--log", home.Path("no-such-folder/checks.log"), fs->MountPoint()}, options);
  EXPECT_EQ(unlogged.status, 0);
  EXPECT_NE(unlogged.err.find("The log file \"" + home.Path("no-such-folder/checks.log") + "\" cannot be written"),
            std::string::npos)
      << unlogged.err;
  EXPECT_EQ(unlogged.err.find("cannot be written", unlogged.err.find("cannot be written") + 1), std::string::npos)
      << "told once: " << unlogged.err;
  EXPECT_TRUE(unlogged.out.ends_with("No error were detected\n")) << unlogged.out;

  // The drive table: the pinned CD-ROM with its folder, in both forms.
  const Result drives = RunCheck({"--list-drives"}, options);
  EXPECT_EQ(drives.status, 0) << drives.err;
  EXPECT_NE(drives.out.find("\nD:\tCD-ROM\t\t"), std::string::npos) << drives.out;
  EXPECT_NE(drives.out.find("\t" + fs->MountPoint() + "\t"), std::string::npos) << drives.out;
  EXPECT_TRUE(drives.out.starts_with("C:\tFixed\t")) << drives.out;
  const Result drivesJson = RunCheck({"--list-drives", "--json"}, options);
  EXPECT_NE(drivesJson.out.find("{\"letter\": \"D\", \"kind\": \"CD-ROM\", \"label\": \"\", \"serial\": \""),
            std::string::npos)
      << drivesJson.out;

  struct Case {
    std::vector<std::string> args;
    std::string error;
  };
  const std::vector<Case> cases = {
      {{"--delay", "2", "D:"}, "--delay takes a number of seconds from 3 to 99"},
      {{"--priority", "7", "D:"}, "--priority takes a number from 0 to 6"},
      {{"--resume", "--check-again", "D:"}, "exclude each other"},
      {{"--colour", "D:"}, "unknown option --colour"},
      {{}, "no PATH or drive letter given"},
      {{"D:", "E:"}, "only one PATH"},
      {{home.Path("no-such-folder")}, "The root folder of the disk cannot be opened or listed."},
      {{"Z:"}, "There is no disk in selected device"},
  };
  for (const Case& c : cases) {
    const Result r = RunCheck(c.args, options);
    EXPECT_EQ(r.status, 2) << c.error;
    EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "") << c.error;
  }
  // With --json a check that could not be made is still one document.
  const Result json = RunCheck({"--json", "Z:"}, options);
  EXPECT_EQ(json.status, 2);
  EXPECT_NE(json.out.find("\"messages\": [\"There is no disk in selected device\"]"), std::string::npos) << json.out;
  EXPECT_NE(json.out.find("\"exit_status\": 2\n}"), std::string::npos) << json.out;

  // A folder that is there but cannot be listed: the check starts and
  // cannot be made.
  Serve({{"LOCKED", 0, FaultFile::kNoList}, {"OTHER.BIN", 10}});
  if (IsSkipped()) return;
  const Result unlisted = RunCheck({fs->MountPoint() + "/LOCKED"}, options);
  EXPECT_EQ(unlisted.status, 2) << unlisted.out;
  EXPECT_EQ(unlisted.err,
            "torvex-check: The root folder of the disk cannot be opened or listed.\n"
            "The disk is damaged, or access is denied\n");
  EXPECT_EQ(unlisted.out, "");
}

TEST_F(CheckCliTest, TheFirstStopSignalDuringAStalledReadEndsTheCheckWithinASecondAndSavesItsProgress) {
  for (const auto& [sig, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
    SCOPED_TRACE(sig);
    Serve({{"A.BIN", 100'000}, {"B.BIN", 50'000}, {"STALL.BIN", 5 * 32768, FaultFile::kStall, 32768},
           {"Z.BIN", 1000}});
    if (IsSkipped()) return;
    std::remove(home.Path("Torvex.tvd").c_str());
    Child child({"--check-again", "--delay", "60", "D:"}, options);
    ASSERT_TRUE(WaitForStall(child)) << child.Err();
    std::this_thread::sleep_for(200ms);
    const auto sent = Clock::now();
    child.Signal(sig);
    const bool reported = child.ReadUntil(
        [](const std::string& out, const std::string&) { return out.find("No error were detected\n") != std::string::npos; },
        5s);
    const auto took = Clock::now() - sent;
    EXPECT_TRUE(reported) << child.Out();
    EXPECT_LT(took, 1s);
    EXPECT_NE(child.Out().find("Files checked: 2\n"), std::string::npos) << child.Out();
    // The read is still held in the kernel: the process ends once it returns.
    fs->ForceUnmount();
    EXPECT_EQ(child.Wait(), status) << child.Err();
    EXPECT_EQ(child.KilledBy(), sig) << "ends by the signal itself, so that a shell loop around it stops";

    const std::string tvd = testing_support::ReadBytes(home.Path("Torvex.tvd"));
    ASSERT_GE(tvd.size(), records::kResumeRecordSize);
    const auto record = records::DecodeResumeRecord(
        reinterpret_cast<const unsigned char*>(tvd.data() + tvd.size() - records::kResumeRecordSize));
    EXPECT_EQ(record.filesTotal, 4);
    EXPECT_EQ(record.filesChecked, 2);
    EXPECT_EQ(record.bytesTotal, 100'000u + 50'000u + 5u * 32768u + 1000u);
    EXPECT_GE(record.bytesDone, 150'000u);
    EXPECT_LT(record.bytesDone, record.bytesTotal);
    fs.reset();
  }
}

TEST_F(CheckCliTest, ARememberedDiscIsContinuedWithResumeAndCheckedAgainWithCheckAgain) {
  Serve({{"ONE.BIN", 70'000}, {"SUB/TWO.BIN", 40'000}});
  if (IsSkipped()) return;
  const auto readsOfOne = [&] { return fs->Reads("ONE.BIN").size(); };
  const Result first = RunCheck({"--check-again", "--json", "D:"}, options);
  EXPECT_EQ(first.status, 0) << first.err;
  EXPECT_NE(first.out.find("\"resumed\": false"), std::string::npos) << first.out;
  ASSERT_TRUE(testing_support::FileExists(home.Path("Torvex.tvd")));
  EXPECT_EQ(readsOfOne(), 3u);
  // The disc is remembered as checked to its end: nothing is left to read.
  const Result resumed = RunCheck({"--resume", "--json", "D:"}, options);
  EXPECT_EQ(resumed.status, 3) << resumed.err;
  EXPECT_NE(resumed.out.find("\"resumed\": true"), std::string::npos) << resumed.out;
  EXPECT_NE(resumed.out.find("\"resume\": \"resume\""), std::string::npos) << resumed.out;
  EXPECT_EQ(readsOfOne(), 3u) << "a file the last check read is passed over";
  const Result again = RunCheck({"--check-again", "D:"}, options);
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(readsOfOne(), 6u);
  EXPECT_TRUE(again.out.ends_with("Files checked: 2\nNo error were detected\n")) << again.out;
}

// The number a JSON field of the document holds ("null" as it is written).
std::string JsonField(const std::string& json, const std::string& name) {
  const std::string key = "\"" + name + "\": ";
  const std::size_t at = json.find(key);
  if (at == std::string::npos) return "(no " + name + ")";
  const std::size_t from = at + key.size();
  return json.substr(from, json.find_first_of(",}\n", from) - from);
}

// A continued run never passes the files it passed over off as read: the
// report says how many there were, the JSON counts them, and the status is
// 3 where 0 would claim every file was read. Where the part it reads has
// errors, 1 still tells them.
TEST_F(CheckCliTest, AContinuedRunSaysWhatItPassedOverAndIsNeverStatusZero) {
  Serve(kDamagedTree);
  if (IsSkipped()) return;
  const Result first = RunCheck({"--check-again", "--json", "D:"}, options);
  ASSERT_EQ(first.status, 1) << first.err;
  EXPECT_EQ(JsonField(first.out, "files_passed_over"), "0");
  const auto reads = [&] {
    std::size_t n = 0;
    for (const auto& f : kDamagedTree) n += fs->Reads(f.path).size();
    return n;
  };
  const std::size_t readBefore = reads();

  struct Case {
    std::vector<std::string> args;
    int status;
    std::string report;
  };
  const std::vector<Case> cases = {
      {{"--resume", "D:"}, 3,
       "The checking is complete\nFiles checked: 5\nFiles passed over, checked by an earlier run: 5\n"
       "No error were detected in the files read by this run\n"},
      {{"--resume", "--language", "ru", "D:"}, 3,
       "Проверка диска завершена полностью\nПроверено файлов: 5\nПропущено файлов, проверенных прошлой проверкой: 5\n"
       "В файлах, прочитанных этой проверкой, ошибок не обнаружено\n"},
  };
  for (const Case& c : cases) {
    const Result r = RunCheck(c.args, options);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_TRUE(r.out.ends_with(c.report)) << r.out;
    EXPECT_EQ(ErrorRows(r.out), std::vector<std::string>{}) << r.out;
  }
  EXPECT_EQ(reads(), readBefore) << "nothing is read again";
  const Result json = RunCheck({"--resume", "--json", "D:"}, options);
  EXPECT_EQ(json.status, 3);
  EXPECT_EQ(JsonField(json.out, "files_passed_over"), "5");
  EXPECT_EQ(JsonField(json.out, "files_checked"), "5");
  EXPECT_EQ(JsonField(json.out, "exit_status"), "3");

  // Continued from the third file: the two before it are passed over, the
  // rest is read, and its errors make the status.
  const std::string serial = JsonField(first.out, "serial");
  ASSERT_EQ(serial.size(), 10u) << first.out;
  records::DiskInfoStore store;
  store.SetFolder(home.Root());
  ASSERT_EQ(store.OpenStore("Torvex.tvd"), 0);
  engine::DiskState d;
  d.serial = static_cast<uint32_t>(std::stoul(serial.substr(1, 8), nullptr, 16));
  ASSERT_EQ(store.LoadDisk(d), 0);
  d.filesChecked = 2;
  d.bytesDone = 100'000;
  d.percentShown = 20;
  ASSERT_EQ(store.UpdateDisk(d), 0);
  const Result part = RunCheck({"--resume", "--json", "D:"}, options);
  EXPECT_EQ(part.status, 1) << part.err;
  EXPECT_EQ(JsonField(part.out, "files_passed_over"), "2");
  EXPECT_EQ(JsonField(part.out, "files_checked"), "5");
  EXPECT_GT(reads(), readBefore);
  EXPECT_NE(part.out.find("Files passed over, checked by an earlier run: 2\\nFiles with errors (read/open): 0 / 1"),
            std::string::npos)
      << part.out;
}

// The record keeps the byte counts by their low 32 bits. A continued run of
// a disc over 4 GiB counts its totals afresh (the fault file system tells no
// size, so nothing says the disc is smaller), takes the bytes done back to
// the whole count its percent points at, and shows and stores the right
// percent.
TEST_F(CheckCliTest, AContinuedDiscOverFourGibShowsAndStoresItsWholeCounts) {
  constexpr int64_t kBig1 = int64_t{3} << 30, kBig2 = (int64_t{1} << 30) + 789'000'000, kTail = 40'000;
  constexpr int64_t kTotal = kBig1 + kBig2 + kTail;
  static_assert(kTotal > int64_t{1} << 32);
  Serve({{"BIG1.BIN", kBig1}, {"BIG2.BIN", kBig2}, {"TAIL.BIN", kTail}});
  if (IsSkipped()) return;
  const Result drives = RunCheck({"--list-drives", "--json"}, options);
  const std::size_t at = drives.out.find("{\"letter\": \"D\"");
  ASSERT_NE(at, std::string::npos) << drives.out;
  const std::string serial = JsonField(drives.out.substr(at), "serial");
  ASSERT_EQ(serial.size(), 10u) << drives.out;

  // An earlier run checked the two big files, and stored what it could.
  records::DiskInfoStore store;
  store.SetFolder(home.Root());
  ASSERT_EQ(store.OpenStore("Torvex.tvd"), 0);
  engine::DiskState d;
  d.serial = static_cast<uint32_t>(std::stoul(serial.substr(1, 8), nullptr, 16));
  d.filesTotal = 3;
  d.bytesTotal = kTotal;
  ASSERT_EQ(store.AddDisk(d), 0);
  d.filesChecked = 2;
  d.bytesDone = kBig1 + kBig2;
  d.percentShown = 99;
  ASSERT_EQ(store.UpdateDisk(d), 0);
  engine::ResumeRecord cut;
  ASSERT_EQ(store.ReadRecord(0, &cut, d.serial), 0);
  EXPECT_EQ(cut.bytesTotal, static_cast<uint32_t>(kTotal));

  const Result r = RunCheck({"--resume", "--json", "D:"}, options);
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_EQ(JsonField(r.out, "bytes_total"), std::to_string(kTotal)) << r.out;
  EXPECT_EQ(JsonField(r.out, "bytes_done"), std::to_string(kTotal));
  EXPECT_EQ(JsonField(r.out, "percent"), "100");
  EXPECT_EQ(JsonField(r.out, "files_passed_over"), "2");
  EXPECT_EQ(fs->Reads("BIG1.BIN").size() + fs->Reads("BIG2.BIN").size(), 0u);
  EXPECT_FALSE(fs->Reads("TAIL.BIN").empty());

  engine::ResumeRecord after;
  ASSERT_EQ(store.ReadRecord(0, &after, d.serial), 0);
  EXPECT_EQ(after.percent, 100);
  EXPECT_EQ(after.filesChecked, 3);
  EXPECT_EQ(after.bytesTotal, static_cast<uint32_t>(kTotal));
  EXPECT_EQ(after.bytesDone, static_cast<uint32_t>(kTotal));
}

// A disc with no files: the counting ran and found nothing, so the totals
// are 0 and the percent is the window's (which shows 0 for no bytes);
// without the counting they stay unknown.
TEST_F(CheckCliTest, ACountedDiscWithNoFilesHasZeroTotals) {
  Serve({});
  if (IsSkipped()) return;
  const Result counted = RunCheck({"--json", fs->MountPoint()}, options);
  EXPECT_EQ(counted.status, 0) << counted.err;
  EXPECT_EQ(JsonField(counted.out, "files_total"), "0") << counted.out;
  EXPECT_EQ(JsonField(counted.out, "bytes_total"), "0");
  EXPECT_EQ(JsonField(counted.out, "percent"), "0");
  EXPECT_NE(counted.out.find("\"report\": \"The checking is complete (0%)\\n"), std::string::npos) << counted.out;
  const Result unknown = RunCheck({"--json", "--no-prescan", fs->MountPoint()}, options);
  EXPECT_EQ(JsonField(unknown.out, "files_total"), "null") << unknown.out;
  EXPECT_EQ(JsonField(unknown.out, "bytes_total"), "null");
  EXPECT_EQ(JsonField(unknown.out, "percent"), "null");
}

// Without --language the user's locale chooses the language of the rows and
// the report; --language still wins over it.
TEST_F(CheckCliTest, TheLocaleChoosesTheLanguageUnlessItIsGiven) {
  Serve({{"DATA.BIN", 10'000}});
  if (IsSkipped()) return;
  options.variables = {{"LC_ALL", ""}, {"LC_MESSAGES", ""}, {"LANG", "ru_RU.UTF-8"}};
  const Result russian = RunCheck({"D:"}, options);
  EXPECT_EQ(russian.status, 0) << russian.err;
  EXPECT_NE(russian.out.find("Проверка диска завершена полностью\nПроверено файлов: 1\n"), std::string::npos) << russian.out;
  const Result given = RunCheck({"--language", "en", "D:"}, options);
  EXPECT_NE(given.out.find("The checking is complete\nFiles checked: 1\n"), std::string::npos) << given.out;
  options.variables = {{"LC_ALL", "C.UTF-8"}, {"LANG", "ru_RU.UTF-8"}};
  const Result english = RunCheck({"--json", "D:"}, options);
  EXPECT_EQ(JsonField(english.out, "language"), "\"en\"") << english.out;
}

// A folder of the tree where another volume is mounted is not walked (its
// files are that volume's), and the report and the document say so.
TEST_F(CheckCliTest, AFolderWhereAnotherVolumeIsMountedIsNotWalkedAndIsTold) {
  testing_support::TempTree tree;
  tree.File("OWN.BIN", 10'000);
  tree.Folder("MNT");
  fs = std::make_unique<FaultFs>(std::vector<FaultFile>{{"OTHER.BIN", 10'000}});
  std::string why;
  if (!fs->MountAt(tree.Path("MNT"), &why)) GTEST_SKIP() << "FUSE fault injection unavailable: " << why;
  options.cwd = home.Root();
  const Result text = RunCheck({tree.Root()}, options);
  EXPECT_EQ(text.status, 0) << text.err;
  EXPECT_NE(text.out.find("Folders where another volume is mounted (not checked): 1\n"), std::string::npos) << text.out;
  EXPECT_EQ(fs->Reads("OTHER.BIN").size(), 0u);
  const Result json = RunCheck({"--json", tree.Root()}, options);
  EXPECT_EQ(JsonField(json.out, "other_volumes"), "1") << json.out;
  EXPECT_EQ(JsonField(json.out, "files_checked"), "1");
}

TEST_F(CheckCliTest, TheStatusLineOnATerminalIsRedrawnAtMostTenTimesASecondAndFitsItsWidth) {
  std::vector<FaultFile> files;
  for (int i = 0; i < 10; ++i) {
    files.push_back({"SLOW" + std::to_string(i) + ".BIN", 3 * 32768, FaultFile::kSlow, 50'000});
  }
  files.push_back({"A_FILE_NAME_FAR_TOO_LONG_FOR_A_STATUS_LINE_OF_EIGHTY_COLUMNS_ON_A_TERMINAL_OF_ITS_OWN.BIN", 3 * 32768,
                   FaultFile::kSlow, 50'000});
  Serve(files);
  if (IsSkipped()) return;
  options.ptyColumns = 80;
  const auto began = Clock::now();
  Child child({"D:"}, options);
  ASSERT_EQ(child.Wait(), 0) << child.Err();
  const double seconds = std::chrono::duration<double>(Clock::now() - began).count();

  // Every redraw is "\r", the text and "erase to the end of the line"; the
  // line is taken off again ("\r" and the erase alone) before the report.
  // Each redraw is timed by the arrival of the chunk that holds its "\r".
  std::vector<std::string> redraws;
  std::vector<Clock::time_point> drawnAt;
  const std::string& err = child.Err();
  ASSERT_TRUE(err.starts_with("\r")) << err;
  const auto& chunks = child.ErrChunks();
  std::size_t chunk = 0, chunkEnd = chunks.empty() ? 0 : chunks[0].second.size();
  std::size_t at = 0;
  while ((at = err.find('\r', at)) != std::string::npos) {
    const std::size_t end = err.find("\033[K", at);
    ASSERT_NE(end, std::string::npos) << err.substr(at);
    while (chunk + 1 < chunks.size() && at >= chunkEnd) chunkEnd += chunks[++chunk].second.size();
    redraws.push_back(err.substr(at + 1, end - at - 1));
    drawnAt.push_back(chunks[chunk].first);
    at = end;
  }
  ASSERT_FALSE(redraws.empty());
  EXPECT_EQ(redraws.back(), "") << "the status line is cleared at the end";
  redraws.pop_back();
  drawnAt.pop_back();
  EXPECT_GE(redraws.size(), 5u);
  EXPECT_LE(static_cast<double>(redraws.size()), seconds * 10 + 1) << seconds << " s";
  // No two redraws closer than a tenth of a second, but for the time the
  // test itself takes to read them off the terminal.
  for (std::size_t i = 1; i < drawnAt.size(); ++i) {
    EXPECT_GE(drawnAt[i] - drawnAt[i - 1], 100ms - 25ms) << "redraws " << i - 1 << " and " << i << ": "
                                                          << redraws[i - 1] << " | " << redraws[i];
  }
  std::size_t widest = 0;
  bool showedLongName = false;
  for (const auto& r : redraws) {
    EXPECT_EQ(r.find('\n'), std::string::npos);
    // Columns on the terminal: one per character, whatever its UTF-8 length.
    const auto columns = static_cast<std::size_t>(
        std::count_if(r.begin(), r.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
    EXPECT_LT(columns, 80u) << r;
    widest = std::max(widest, columns);
    if (r.find("File: A_FILE_NAME") != std::string::npos) showedLongName = true;
  }
  EXPECT_EQ(widest, 79u) << "the last column stays free";
  EXPECT_TRUE(showedLongName);
  EXPECT_NE(redraws.back().find(" files"), std::string::npos) << redraws.back();
  // Standard output is no terminal: it holds the rows and the report only.
  EXPECT_TRUE(child.Out().ends_with("Files checked: 11\nNo error were detected\n")) << child.Out();
}

TEST_F(CheckCliTest, RescueCopiesTheFilesWithReadErrorsAndRefusesTheCheckedVolume) {
  Serve({{"PICS/PHOTO.JPG", 100'000, FaultFile::kEio, 70'000}, {"FINE.BIN", 50'000}});
  if (IsSkipped()) return;
  // A destination on the volume being read is refused before any check.
  const Result refused = RunCheck({"--rescue", fs->MountPoint() + "/PICS", "D:"}, options);
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.err.find("cannot be written to the disk being read"), std::string::npos) << refused.err;
  EXPECT_EQ(fs->Reads("FINE.BIN").size(), 0u);

  const Result text = RunCheck({"--rescue", "rescued", "--passes", "1", "D:"}, options);
  EXPECT_EQ(text.status, 1) << text.err;
  EXPECT_EQ(ErrorRows(text.out), (std::vector<std::string>{"PHOTO.JPG\tRead\t64\tD:\\PICS"}));
  const int64_t bad = 70'000 / 512 * 512;
  std::string expected = testing_support::FaultPattern(100'000);
  expected.replace(static_cast<std::size_t>(bad), 512, 512, '\0');
  EXPECT_TRUE(testing_support::ReadBytes(home.Path("rescued/PICS/PHOTO.JPG")) == expected);
  EXPECT_FALSE(testing_support::FileExists(home.Path("rescued/FINE.BIN")));
  EXPECT_NE(testing_support::ReadBytes(home.Path("rescued/PICS/PHOTO.JPG.rescue-map")).find("0x00011000  0x00000200  -"),
            std::string::npos);
  EXPECT_TRUE(text.out.ends_with("Files with errors (read/open): 1 / 0\n\nThe rescue is finished.\n\n"
                                 "Copied in part: 1 (the unreadable places are zeros and are listed in a .rescue-map "
                                 "file beside each copy)\n  PICS/PHOTO.JPG: 512 bytes missing (at 69,632, 512 bytes)\n"))
      << text.out;

  // Again, as JSON: only the missing sector is read again, once per pass.
  const std::size_t readsBefore = fs->Reads("PICS/PHOTO.JPG").size();
  const Result json = RunCheck({"--json", "--rescue", home.Path("rescued"), "--passes", "1", "D:"}, options);
  EXPECT_EQ(json.status, 1) << json.err;
  EXPECT_NE(json.out.find("\"rescue\": {\"destination\": \"" + home.Path("rescued") +
                          "\", \"cancelled\": false, \"files\": [\n      {\"path\": \"PICS/PHOTO.JPG\", "
                          "\"result\": \"part\", \"size\": 100000, \"missing\": [[69632, 512]]}\n    ]"),
            std::string::npos)
      << json.out;
  // The check's own three blocks and the sector, then the rescue's one sector.
  EXPECT_EQ(fs->Reads("PICS/PHOTO.JPG").size(), readsBefore + 3 + 1);
}

// The bytes of a file below root, reached name by name: its path may be
// longer than the system takes in one piece.
std::string ReadBelow(const std::string& root, const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const platform::OwnedFd top(open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  int error = 0;
  std::string blocked;
  const platform::OwnedFd folder = platform::OpenFolderBelow(
      top.Get(), slash == std::string::npos ? std::string() : path.substr(0, slash), false, &error, &blocked);
  if (!folder.Valid()) return "(no folder: " + std::to_string(error) + ")";
  const platform::OwnedFd file(openat(folder.Get(), path.substr(slash + 1).c_str(), O_RDONLY | O_CLOEXEC));
  if (!file.Valid()) return "(no file: " + std::to_string(errno) + ")";
  std::string bytes;
  char buffer[65536];
  for (ssize_t n; (n = read(file.Get(), buffer, sizeof buffer)) > 0;) bytes.append(buffer, static_cast<std::size_t>(n));
  return bytes;
}

// The rescue copies the file each row was made from, by the bytes of its
// name: a backslash is part of a name, never a folder; a name that reads like
// a way out of the destination is an ordinary name in it; the longest names
// and paths deeper than the system takes at once are copied too.
TEST_F(CheckCliTest, RescueCopiesTheFileEachRowWasMadeFromWhateverItsNameOrDepth) {
  const std::string longName = std::string(251, 'L') + ".BIN";  // 255 bytes
  std::string deep;
  for (int i = 0; i < 21; ++i) deep += std::string(200, static_cast<char>('a' + i)) + "/";  // 4,221 bytes
  struct Case {
    std::string path;  // on the disc, and below the destination
    int64_t bad;       // where the one unreadable sector lies
  };
  const std::vector<Case> cases = {
      {"x\\y", 70'000},
      {"..\\evil", 0},
      {"a\\..\\..\\x", 0},
      {longName, 70'000},
      {deep + "DEEP.BIN", 70'000},
  };
  std::vector<FaultFile> files = {{"x/y", 100'000}};  // healthy, beside the damaged "x\y"
  for (const Case& c : cases) files.push_back({c.path, 100'000, FaultFile::kEio, c.bad});
  Serve(files);
  if (IsSkipped()) return;

  const Result r = RunCheck({"--json", "--rescue", "rescued", "--passes", "1", "D:"}, options);
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(fs->Reads("x/y").size(), 4u);  // the check's own reads only
  for (const Case& c : cases) {
    std::string expected = testing_support::FaultPattern(100'000);
    expected.replace(static_cast<std::size_t>(c.bad / 512 * 512), 512, 512, '\0');
    EXPECT_TRUE(ReadBelow(home.Path("rescued"), c.path) == expected) << c.path.substr(0, 40);
    std::string jsonPath;
    for (const char ch : c.path) jsonPath += ch == '\\' ? std::string("\\\\") : std::string(1, ch);
    EXPECT_NE(r.out.find("{\"path\": \"" + jsonPath + "\", \"result\": \"part\""), std::string::npos)
        << c.path.substr(0, 40);
  }
  EXPECT_FALSE(testing_support::FileExists(home.Path("rescued/x/y")));
  EXPECT_FALSE(testing_support::FileExists(home.Path("x")));
  EXPECT_FALSE(testing_support::FileExists(home.Path("evil")));
  // The long name's map has a name that fits, made of the name and a sum.
  const std::string map = engine::MapName(longName);
  EXPECT_LE(map.size(), 255u - 13u);
  EXPECT_NE(testing_support::ReadBytes(home.Path("rescued/" + map)).find("0x00011000  0x00000200  -"),
            std::string::npos);
  EXPECT_NE(map, engine::MapName(std::string(251, 'L') + ".BIM"));
}

// Run as root into a folder anybody may write to, the rescue finds a link
// that another user planted where a folder of a copy goes: it writes nothing
// through it, claims nothing of what stands behind it, and names it.
TEST_F(CheckCliTest, ALinkAnotherUserPlantedInTheDestinationIsNeverWrittenThroughByRoot) {
  Serve({{"SUB/BIG.BIN", 100'000, FaultFile::kEio, 70'000}});
  if (IsSkipped()) return;
  if (geteuid() != 0) GTEST_SKIP() << "planting the link as another user needs root";
  ASSERT_EQ(chmod(home.Root().c_str(), 0755), 0);
  const std::string shared = home.Path("shared"), victim = home.Path("victim");
  ASSERT_EQ(mkdir(shared.c_str(), 0777), 0);
  ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
  ASSERT_EQ(mkdir(victim.c_str(), 0755), 0);
  const std::string standing(100'000, 'v');  // the same size as the damaged file
  testing_support::WriteBytes(victim + "/BIG.BIN", standing);
  const pid_t planter = fork();
  if (planter == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(1);
    _exit(symlink(victim.c_str(), (shared + "/SUB").c_str()) == 0 ? 0 : 2);
  }
  int planted = -1;
  ASSERT_EQ(waitpid(planter, &planted, 0), planter);
  ASSERT_TRUE(WIFEXITED(planted) && WEXITSTATUS(planted) == 0) << planted;
  struct stat link {};
  ASSERT_EQ(lstat((shared + "/SUB").c_str(), &link), 0);
  ASSERT_TRUE(S_ISLNK(link.st_mode) && link.st_uid == 65534);

  // First with a file of the copy's size behind the link, then with none.
  for (const bool json : {false, true}) {
    if (json) {
      ASSERT_EQ(unlink((victim + "/BIG.BIN").c_str()), 0);
    }
    std::vector<std::string> args = {"--rescue", shared, "--passes", "1", "D:"};
    if (json) args.insert(args.begin(), "--json");
    const Result r = RunCheck(args, options);
    EXPECT_EQ(r.status, 1) << r.err;
    // Behind the link all is as it was.
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(victim)) names.push_back(e.path().filename().string());
    EXPECT_EQ(names, json ? std::vector<std::string>{} : std::vector<std::string>{"BIG.BIN"});
    if (!json) {
      EXPECT_TRUE(testing_support::ReadBytes(victim + "/BIG.BIN") == standing);
    }
    if (json) {
      EXPECT_NE(r.out.find("{\"path\": \"SUB/BIG.BIN\", \"result\": \"not-written\""), std::string::npos) << r.out;
    } else {
      EXPECT_NE(r.out.find("Could not be written: 1\n  SUB/BIG.BIN: \"SUB\" in the destination is a symbolic link "
                           "where a folder should be, and the program never writes through one"),
                std::string::npos)
          << r.out;
      EXPECT_EQ(r.out.find("Copied whole"), std::string::npos) << r.out;
    }
  }
}

TEST_F(CheckCliTest, CtrlCDuringTheRescueOfAStalledFileCancelsItWithinASecondAndKeepsWhatWasRead) {
  Serve({{"ARCHIVE.ZIP", 200'000, FaultFile::kStall, 100'000}});
  if (IsSkipped()) return;
  Child child({"--delay", "3", "--rescue", "rescued", "D:"}, options);
  // The check gives the stalled read up after its delay (one stall); the
  // rescue's own read of that block stalls again.
  ASSERT_TRUE(child.ReadUntil([&](const std::string&, const std::string&) { return fs->StalledReads() >= 2; }, 30s))
      << child.Out() << child.Err();
  std::this_thread::sleep_for(200ms);
  const auto sent = Clock::now();
  child.Signal(SIGINT);
  const bool reported = child.ReadUntil(
      [](const std::string& out, const std::string&) { return out.find("start the rescue again to go on.") != std::string::npos; },
      5s);
  const auto took = Clock::now() - sent;
  EXPECT_TRUE(reported) << child.Out();
  EXPECT_LT(took, 1s);
  EXPECT_NE(child.Out().find("ARCHIVE.ZIP\tRead\t96\tD:\\"), std::string::npos) << child.Out();
  EXPECT_NE(child.Out().find("Not done: 1\n  ARCHIVE.ZIP"), std::string::npos) << child.Out();
  fs->ForceUnmount();
  EXPECT_EQ(child.Wait(), 130) << child.Err();
  // No file under the final name; what was read is kept under the temporary
  // one, with its map.
  EXPECT_FALSE(testing_support::FileExists(home.Path("rescued/ARCHIVE.ZIP")));
  EXPECT_EQ(testing_support::ReadBytes(home.Path("rescued/ARCHIVE.ZIP.torvex-part")).substr(0, 98304),
            testing_support::FaultPattern(98304));
  EXPECT_NE(testing_support::ReadBytes(home.Path("rescued/ARCHIVE.ZIP.rescue-map")).find("0x00000000  0x00018000  +\n"),
            std::string::npos);
}

}  // namespace
}  // namespace cli_test
