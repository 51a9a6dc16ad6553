#include "records/disk_info_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/whole_file.h"
#include "tests/support/file_bytes.h"
#include "tests/support/temp_tree.h"

namespace records {
namespace {

using testing_support::ReadBytes;
using testing_support::TempTree;
using testing_support::WriteBytes;

std::string RecordBytes(const ResumeRecord& r) {
  unsigned char buf[kResumeRecordSize];
  EncodeResumeRecord(r, buf);
  return std::string(reinterpret_cast<const char*>(buf), sizeof buf);
}

std::string Section(const std::string& key, const std::string& label, const ResumeRecord& r) {
  return "\r\n\r\n[" + key + ", " + label + "]\r\n" + RecordBytes(r);
}

void SetDisk(engine::DiskState& d, uint32_t serial, const std::string& label, int32_t files, int64_t bytes) {
  d.Reset();
  d.serial = serial;
  d.label = label;
  d.filesTotal = files;
  d.bytesTotal = bytes;
}

class DiskInfoStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    store.SetFolder(t.Root());
    ASSERT_EQ(store.OpenStore("Torvex.tvd"), 0);
    header = ReadBytes(path());
  }
  std::string path() const { return t.Path("Torvex.tvd"); }

  TempTree t;
  DiskInfoStore store;
  std::string header;
};

TEST_F(DiskInfoStoreTest, FreshFileHoldsTheSixHeaderLines) {
  EXPECT_EQ(header.rfind(";\r\n; Torvex v2.xx DiskInfoFile. ", 0), 0u);
  const std::string tail = "\r\n;\r\n; Please, don't edit this file !\r\n;";
  ASSERT_GT(header.size(), tail.size());
  EXPECT_EQ(header.substr(header.size() - tail.size()), tail);
  EXPECT_EQ(std::count(header.begin(), header.end(), '\n'), 5);
  EXPECT_EQ(std::count(header.begin(), header.end(), '\r'), 5);

  // An existing file is left as it is.
  WriteBytes(path(), "kept");
  DiskInfoStore again;
  again.SetFolder(t.Root());
  EXPECT_EQ(again.OpenStore("Torvex.tvd"), 0);
  EXPECT_EQ(ReadBytes(path()), "kept");
}

TEST_F(DiskInfoStoreTest, SectionsAndRecordsByteForByte) {
  engine::DiskState d;
  SetDisk(d, 0xABCDEF, "MYDISK", 120, 650000000);
  d.filesChecked = 7;  // AddDisk writes zero progress whatever the state says
  d.percentShown = 50;
  ASSERT_EQ(store.AddDisk(d), 0);
  ResumeRecord added{0xABCDEF, 120, 0, 650000000, 0, 0};
  EXPECT_EQ(ReadBytes(path()), header + Section("00abcdef", "MYDISK", added));

  const int64_t offset = store.FindDisk(0xABCDEF);
  EXPECT_EQ(offset, static_cast<int64_t>(header.size() + 18 + 6));
  EXPECT_EQ(store.FindDisk(0xABCDEE), 0);

  d.filesChecked = 120;
  d.bytesDone = 650000000;
  d.percentShown = 100;
  ASSERT_EQ(store.UpdateDisk(d), 0);
  ResumeRecord r;
  ASSERT_EQ(store.ReadRecord(offset, &r, 0), 0);
  EXPECT_EQ(RecordBytes(r), RecordBytes(ResumeRecord{0xABCDEF, 120, 120, 650000000, 650000000, 100}));
  EXPECT_EQ(ReadBytes(path()).size(), header.size() + 24 + 24);  // rewritten in place

  engine::DiskState loaded;
  loaded.serial = 0xABCDEF;
  loaded.readErrors = 3;
  ASSERT_EQ(store.LoadDisk(loaded), 0);
  EXPECT_EQ(loaded.filesTotal, 120);
  EXPECT_EQ(loaded.filesChecked, 120);
  EXPECT_EQ(loaded.bytesTotal, 650000000);
  EXPECT_EQ(loaded.bytesDone, 650000000);
  EXPECT_EQ(loaded.percentShown, 100);
  EXPECT_EQ(loaded.readErrors, 3);  // error counters are not stored

  // Without a byte total the percent is stored as 0.
  d.bytesTotal = 0;
  d.percentShown = 40;
  ASSERT_EQ(store.UpdateDisk(d), 0);
  ASSERT_EQ(store.ReadRecord(0, &r, 0xABCDEF), 0);
  EXPECT_EQ(r.percent, 0);
}

// The file as the Windows program reads it, pinned byte for byte: the
// header, a section line, and the record as six little-endian 32-bit words.
TEST_F(DiskInfoStoreTest, TheFileIsPinnedByteForByte) {
  engine::DiskState d;
  SetDisk(d, 0xABCDEF, "MYDISK", 120, 650000000);
  ASSERT_EQ(store.AddDisk(d), 0);
  d.filesChecked = 120;
  d.bytesDone = 650000000;
  d.percentShown = 100;
  ASSERT_EQ(store.UpdateDisk(d), 0);
  const unsigned char record[] = {
      0xEF, 0xCD, 0xAB, 0x00,  // serial number
      0x78, 0x00, 0x00, 0x00,  // files total: 120
      0x78, 0x00, 0x00, 0x00,  // files checked: 120
      0x80, 0x36, 0xBE, 0x26,  // bytes total: 650,000,000
      0x80, 0x36, 0xBE, 0x26,  // bytes done
      0x64, 0x00, 0x00, 0x00,  // percent: 100
  };
  const std::string expected =
      ";\r\n"
      "; Torvex v2.xx DiskInfoFile. How far the check of each disk got, to continue it later.\r\n"
      "; Torvex disk checker, Quillon.\r\n"
      ";\r\n"
      "; Please, don't edit this file !\r\n"
      ";"
      "\r\n\r\n[00abcdef, MYDISK]\r\n" +
      std::string(reinterpret_cast<const char*>(record), sizeof record);
  EXPECT_EQ(ReadBytes(path()), expected);
}

TEST_F(DiskInfoStoreTest, ByteCountsUpTo4GiBSurvive) {
  engine::DiskState d;
  SetDisk(d, 0x1234, "DVD", 3, int64_t{4000000000});
  ASSERT_EQ(store.AddDisk(d), 0);
  d.bytesDone = int64_t{3900000000};
  d.percentShown = 97;
  ASSERT_EQ(store.UpdateDisk(d), 0);
  engine::DiskState loaded;
  loaded.serial = 0x1234;
  ASSERT_EQ(store.LoadDisk(loaded), 0);
  EXPECT_EQ(loaded.bytesTotal, int64_t{4000000000});
  EXPECT_EQ(loaded.bytesDone, int64_t{3900000000});
}

TEST_F(DiskInfoStoreTest, DisksWithoutASectionFailWithoutWriting) {
  engine::DiskState d;
  SetDisk(d, 42, "NONE", 1, 1);
  EXPECT_EQ(store.UpdateDisk(d), 1);
  EXPECT_EQ(store.LoadDisk(d), 1);
  EXPECT_EQ(d.filesTotal, 1);  // left unchanged
  ResumeRecord r;
  EXPECT_EQ(store.ReadRecord(0, &r, 42), 1);
  EXPECT_EQ(ReadBytes(path()), header);

  // A store that never opened does nothing at all.
  DiskInfoStore closed;
  EXPECT_EQ(closed.AddDisk(d), 1);
  EXPECT_EQ(closed.FindDisk(42), 0);
  EXPECT_EQ(closed.LoadDisk(d), 1);
}

TEST_F(DiskInfoStoreTest, FileThatExistsButCannotBeReadIsNotWrittenOver) {
  TempTree other;
  other.Folder("Torvex.tvd");  // there, but not a file that can be read
  DiskInfoStore s;
  s.SetFolder(other.Root());
  EXPECT_EQ(s.OpenStore("Torvex.tvd"), 1);
  EXPECT_FALSE(s.Ready());
  s.SetFolder(other.Path("missing"));
  EXPECT_EQ(s.OpenStore("Torvex.tvd"), 1);
}

TEST_F(DiskInfoStoreTest, TwoDisksWithOneSerialUseTheFirstSection) {
  engine::DiskState a, b;
  SetDisk(a, 0x77, "FIRST", 10, 1000);
  SetDisk(b, 0x77, "SECOND", 20, 2000);
  ASSERT_EQ(store.AddDisk(a), 0);
  // Adding a serial that has a section adds none: the first is the disk's.
  ASSERT_EQ(store.AddDisk(b), 0);
  EXPECT_EQ(ReadBytes(path()), header + Section("00000077", "FIRST", {0x77, 10, 0, 1000, 0, 0}));
  b.filesChecked = 5;
  ASSERT_EQ(store.UpdateDisk(b), 0);
  EXPECT_EQ(ReadBytes(path()), header + Section("00000077", "FIRST", {0x77, 20, 5, 2000, 0, 0}));
  // One another program wrote after it is never used.
  WriteBytes(path(), ReadBytes(path()) + Section("00000077", "SECOND", {0x77, 20, 0, 2000, 0, 0}));
  b.filesChecked = 7;
  ASSERT_EQ(store.UpdateDisk(b), 0);
  EXPECT_EQ(ReadBytes(path()), header + Section("00000077", "FIRST", {0x77, 20, 7, 2000, 0, 0}) +
                                   Section("00000077", "SECOND", {0x77, 20, 0, 2000, 0, 0}));
}

// Two programs start on the same new disc: both look it up before either
// adds it. Finding and adding are one step under the file's lock, which the
// first holds while the second waits, so the second finds the first one's
// section and both keep that one up to date; no second section is left that
// nobody would ever use.
TEST_F(DiskInfoStoreTest, TwoProgramsAddingOneNewDiscLeaveOneSection) {
  using namespace std::chrono_literals;
  DiskInfoStore other;
  other.SetFolder(t.Root());
  ASSERT_EQ(other.OpenStore("Torvex.tvd"), 0);
  engine::DiskState d;
  SetDisk(d, 0x99, "NEW", 3, 300);
  EXPECT_EQ(store.FindDisk(0x99), 0);
  EXPECT_EQ(other.FindDisk(0x99), 0);

  // A third program holds the lock: the add waits for it.
  std::optional<platform::LockedFile> held(std::in_place, path());
  ASSERT_TRUE(held->Held());
  std::atomic<int> added{-1};
  std::thread adding([&] { added = other.AddDisk(d); });
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(added.load(), -1) << "added while another program held the lock";
  EXPECT_EQ(ReadBytes(path()), header);
  held.reset();
  adding.join();
  EXPECT_EQ(added.load(), 0);

  ASSERT_EQ(store.AddDisk(d), 0);
  EXPECT_EQ(ReadBytes(path()), header + Section("00000099", "NEW", {0x99, 3, 0, 300, 0, 0}));
  d.filesChecked = 2;
  d.bytesDone = 200;
  d.percentShown = 66;
  ASSERT_EQ(store.UpdateDisk(d), 0);
  ResumeRecord r;
  ASSERT_EQ(other.ReadRecord(0, &r, 0x99), 0);
  EXPECT_EQ(RecordBytes(r), RecordBytes({0x99, 3, 2, 300, 200, 66}));

  // Many at once, each its own store as each program has: one section.
  std::remove(path().c_str());
  std::vector<std::thread> programs;
  std::atomic<int> failures{0};
  for (int i = 0; i < 6; ++i) {
    programs.emplace_back([&] {
      DiskInfoStore mine;
      mine.SetFolder(t.Root());
      engine::DiskState disk;
      SetDisk(disk, 0x1234, "RACE", 1, 10);
      if (mine.OpenStore("Torvex.tvd") != 0) ++failures;
      if (mine.AddDisk(disk) != 0) ++failures;
    });
  }
  for (auto& p : programs) p.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(ReadBytes(path()), header + Section("00001234", "RACE", {0x1234, 1, 0, 10, 0, 0}));
}

TEST_F(DiskInfoStoreTest, BracketsInsideRecordsAndLabels) {
  // A record whose percent is 91 ends in a "[" byte followed by the next
  // section's line ends; that section must still be found.
  engine::DiskState a, b;
  SetDisk(a, 0x5B5B5B5B, "[x]", 1, 100);
  SetDisk(b, 0x2, "B", 1, 100);
  ASSERT_EQ(store.AddDisk(a), 0);
  ASSERT_EQ(store.AddDisk(b), 0);
  a.percentShown = 91;
  a.bytesDone = 0x5B;
  ASSERT_EQ(store.UpdateDisk(a), 0);
  EXPECT_EQ(ReadBytes(path()), header + Section("5b5b5b5b", "(x)", {0x5B5B5B5B, 1, 0, 100, 0x5B, 91}) +
                                   Section("00000002", "B", {2, 1, 0, 100, 0, 0}));
  b.filesChecked = 1;
  ASSERT_EQ(store.UpdateDisk(b), 0);
  ResumeRecord r;
  ASSERT_EQ(store.ReadRecord(0, &r, 2), 0);
  EXPECT_EQ(r.filesChecked, 1);

  // A label holding "]" written by another program: the record still found.
  const ResumeRecord c{0xC, 9, 3, 900, 300, 33};
  WriteBytes(path(), header + Section("0000000c", "A]B[0000000c]", c) + Section("0000000d", "D", {0xD, 1, 1, 1, 1, 100}));
  ASSERT_EQ(store.ReadRecord(0, &r, 0xC), 0);
  EXPECT_EQ(RecordBytes(r), RecordBytes(c));
  ASSERT_EQ(store.ReadRecord(0, &r, 0xD), 0);
  EXPECT_EQ(r.percent, 100);
}

TEST_F(DiskInfoStoreTest, SectionHeaderWithoutItsRecordIsNotWrittenThrough) {
  // A section whose record never reached the file, followed by another disk.
  const ResumeRecord other{0x22, 5, 5, 500, 500, 100};
  WriteBytes(path(), header + "\r\n\r\n[00000011, LOST]\r\n" + Section("00000022", "OTHER", other));
  const std::string before = ReadBytes(path());
  engine::DiskState d;
  SetDisk(d, 0x11, "LOST", 1, 1);
  EXPECT_EQ(store.FindDisk(0x11), 0);
  EXPECT_EQ(store.UpdateDisk(d), 1);
  EXPECT_EQ(ReadBytes(path()), before);
  // Added again, it is found at its new section.
  ASSERT_EQ(store.AddDisk(d), 0);
  EXPECT_EQ(store.FindDisk(0x11), static_cast<int64_t>(before.size() + 18 + 4));
}

// Exit on the UI thread and the end of the walk on the check thread save the
// same record at once: every read sees one whole write.
TEST_F(DiskInfoStoreTest, ConcurrentUpdatesLeaveAWholeRecord) {
  engine::DiskState a, b;
  SetDisk(a, 0xCAFE, "RACE", 1111, 111111);
  SetDisk(b, 0xCAFE, "RACE", 2222, 222222);
  ASSERT_EQ(store.AddDisk(a), 0);
  a.filesChecked = 1111;
  a.bytesDone = 111111;
  a.percentShown = 11;
  b.filesChecked = 2222;
  b.bytesDone = 222222;
  b.percentShown = 22;
  const std::string wholeA = RecordBytes({0xCAFE, 1111, 1111, 111111, 111111, 11});
  const std::string wholeB = RecordBytes({0xCAFE, 2222, 2222, 222222, 222222, 22});

  std::atomic<bool> torn{false};
  std::atomic<int> failures{0};
  for (int round = 0; round < 20; ++round) {
    std::atomic<bool> go{false};
    std::thread ui([&] {
      while (!go) {
      }
      for (int i = 0; i < 25; ++i) failures += store.UpdateDisk(a);
    });
    std::thread check([&] {
      while (!go) {
      }
      for (int i = 0; i < 25; ++i) failures += store.UpdateDisk(b);
    });
    std::thread reader([&] {
      while (!go) {
      }
      for (int i = 0; i < 25; ++i) {
        ResumeRecord r;
        if (store.ReadRecord(0, &r, 0xCAFE) != 0) continue;
        const std::string bytes = RecordBytes(r);
        if (bytes != wholeA && bytes != wholeB && r.filesChecked != 0) torn = true;
      }
    });
    go = true;
    ui.join();
    check.join();
    reader.join();
    ResumeRecord r;
    ASSERT_EQ(store.ReadRecord(0, &r, 0xCAFE), 0);
    const std::string bytes = RecordBytes(r);
    ASSERT_TRUE(bytes == wholeA || bytes == wholeB) << round;
  }
  EXPECT_FALSE(torn);
  EXPECT_EQ(failures, 0);
}

// Random damage to a real file and random bytes: the lookups never read out
// of bounds, and whatever they find is a record that starts with its serial.
TEST(DiskInfoFuzzTest, CorruptFilesNeverMisleadTheLookup) {
  std::mt19937 rng(2024);
  TempTree t;
  DiskInfoStore store;
  store.SetFolder(t.Root());
  ASSERT_EQ(store.OpenStore("Torvex.tvd"), 0);
  std::string good = ReadBytes(t.Path("Torvex.tvd"));
  for (uint32_t s = 1; s <= 6; ++s) {
    good += Section("0000000" + std::to_string(s), "L" + std::to_string(s), {s, 1, 1, 1, 1, static_cast<int32_t>(s)});
  }
  const std::string alphabet = "[]0123456789abcdef, \r\n\x01\x5b";
  for (int round = 0; round < 2000; ++round) {
    std::string file;
    if (round % 2 == 0) {
      file.resize(rng() % 300);
      for (char& c : file) c = (rng() % 3 == 0) ? alphabet[rng() % alphabet.size()] : static_cast<char>(rng() & 0xFF);
    } else {
      file = good;
      for (int n = 0; n < 3; ++n) file[rng() % file.size()] = alphabet[rng() % alphabet.size()];
      if (rng() % 4 == 0) file.resize(rng() % file.size());
    }
    WriteBytes(t.Path("Torvex.tvd"), file);
    const uint32_t serial = 1 + rng() % 7;
    const int64_t offset = store.FindDisk(serial);
    ASSERT_EQ(offset, FindDiskInText(file, serial));
    ResumeRecord r;
    const int read = store.ReadRecord(0, &r, serial);
    if (offset == 0) {
      ASSERT_EQ(read, 1) << round;
      continue;
    }
    ASSERT_GE(offset, 2);
    ASSERT_EQ(file.substr(static_cast<std::size_t>(offset) - 2, 2), "\r\n") << round;
    if (read == 0) {
      ASSERT_EQ(r.serial, serial) << round;
    } else {
      ASSERT_LT(file.size() - static_cast<std::size_t>(offset), kResumeRecordSize) << round;
    }
  }
  // The undamaged file finds every disk at its own record.
  WriteBytes(t.Path("Torvex.tvd"), good);
  for (uint32_t s = 1; s <= 6; ++s) {
    ResumeRecord r;
    ASSERT_EQ(store.ReadRecord(0, &r, s), 0);
    EXPECT_EQ(r.percent, static_cast<int32_t>(s));
  }
}

}  // namespace
}  // namespace records
