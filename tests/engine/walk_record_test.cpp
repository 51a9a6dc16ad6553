// The record of the counting walk that the check walk replays: folders in
// walk order, each with the marks of its sub-folders.
#include "engine/walk_record.h"

#include <gtest/gtest.h>

namespace engine {
namespace {

using platform::DirEntry;

DirEntry Folder(std::string name) { return {std::move(name), DirEntry::kFolder, 0}; }
DirEntry File(std::string name, uint64_t size) { return {std::move(name), DirEntry::kFile, size}; }

std::vector<std::string> Names(const std::vector<DirEntry>& entries) {
  std::vector<std::string> names;
  for (const auto& e : entries) names.push_back(e.name);
  return names;
}

TEST(WalkRecord, ReplaysListingsAndMarksAndPassesOverWholeSubtrees) {
  WalkRecord record(std::make_unique<platform::SpillStream>(64));  // spills at once
  // root: a, S1, gone, S2, fifo, S3    S1: S1a, S1b (S1a: deep file; S1b not walked)
  record.PutFolder({File("a", uint64_t{5} << 32), Folder("S1"), {"gone", DirEntry::kDanglingLink, 0}, Folder("S2"),
                    {"fifo", DirEntry::kOther, 0}, Folder("S3")},
                   true);
  record.PutFolder({Folder("S1a"), Folder("S1b")}, true);
  record.PutFolder({File("deep", 1)}, true);
  record.PutNotWalked();  // S1b
  record.PutNotWalked();  // S2
  record.PutFolder({File("last", 1)}, false);  // S3, listing broke off

  ASSERT_TRUE(record.StartReading());
  std::vector<DirEntry> entries;
  bool whole = false;
  ASSERT_EQ(record.TakeMark(), WalkRecord::Mark::kFolder);
  ASSERT_TRUE(record.TakeFolder(&entries, &whole));
  EXPECT_TRUE(whole);
  EXPECT_EQ(Names(entries), (std::vector<std::string>{"a", "S1", "gone", "S2", "S3"})) << "the FIFO is never walked";
  EXPECT_EQ(entries[0].size, uint64_t{5} << 32) << "sizes beyond 4 GiB";
  EXPECT_EQ(entries[2].kind, DirEntry::kDanglingLink);

  ASSERT_EQ(record.TakeMark(), WalkRecord::Mark::kFolder);  // S1 could not be entered now
  record.SkipFolder();
  EXPECT_EQ(record.TakeMark(), WalkRecord::Mark::kNotWalked);  // S2
  ASSERT_EQ(record.TakeMark(), WalkRecord::Mark::kFolder);     // S3
  ASSERT_TRUE(record.TakeFolder(&entries, &whole));
  EXPECT_FALSE(whole);
  EXPECT_EQ(Names(entries), (std::vector<std::string>{"last"}));
  EXPECT_EQ(record.TakeMark(), WalkRecord::Mark::kNone);
  EXPECT_FALSE(record.Usable());
}

TEST(WalkRecord, ARecordThatCannotBeKeptIsNotReplayed) {
  WalkRecord record(std::make_unique<platform::SpillStream>(8, std::vector<std::string>{"/nonexistent/torvex"}));
  record.PutFolder({File("a-name-longer-than-the-buffer", 1)}, true);
  EXPECT_FALSE(record.Usable());
  EXPECT_FALSE(record.StartReading());
  EXPECT_EQ(record.TakeMark(), WalkRecord::Mark::kNone);
}

}  // namespace
}  // namespace engine
