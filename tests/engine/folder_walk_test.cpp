// The walks of the folder tree: order, folder paths, resuming, and what a
// Linux tree has that a CD has not (links, FIFOs, long paths, odd names).
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "platform/file_io.h"
#include "engine/folder_walk.h"
#include "tests/engine/engine_fixture.h"

namespace engine_test {
namespace {

class FolderWalkTest : public EngineTest {};

TEST_F(FolderWalkTest, RowsCarryTheFolderThatHoldsTheFileBeforeAndAfterSubFolders) {
  for (int i = 0; i < 4; ++i) tree.Symlink("R" + std::to_string(i), "nowhere");
  tree.Symlink("SUB/S", "nowhere");
  tree.Symlink("SUB/DEEP/X", "nowhere");
  tree.Folder("EMPTY");
  Run();
  std::map<std::string, std::string> folderOf;
  for (const auto& r : ErrorRows()) folderOf[r[0]] = r[3];
  EXPECT_EQ(folderOf.size(), 6u);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(folderOf["R" + std::to_string(i)], "D:\\");
  EXPECT_EQ(folderOf["S"], "D:\\SUB");
  EXPECT_EQ(folderOf["X"], "D:\\SUB\\DEEP");
  // The path field followed the folders as they were entered.
  const auto paths = window->FieldHistory(engine::kIdFolderPath);
  EXPECT_NE(std::find(paths.begin(), paths.end(), "D:\\SUB\\DEEP"), paths.end());
  EXPECT_EQ(paths.back(), "");
}

TEST_F(FolderWalkTest, AStartFolderIsEnteredAsGivenAndItsSubFoldersAppended) {
  tree.Symlink("DATA/A", "nowhere");
  tree.Symlink("DATA/SUB/B", "nowhere");
  deps.rootPaths = std::make_shared<testing_support::FnRootPaths>(
      [root = tree.Root()](const std::string& p) { return p == "D:\\DATA" ? root + "/DATA" : p; });
  Make().SetStartFolder("D:\\DATA");
  Run();
  std::map<std::string, std::string> folderOf;
  for (const auto& r : ErrorRows()) folderOf[r[0]] = r[3];
  EXPECT_EQ(folderOf["A"], "D:\\DATA");
  EXPECT_EQ(folderOf["B"], "D:\\DATA\\SUB");
  EXPECT_EQ(window->Rows()[0][3], ",  D:\\DATA");
}

TEST_F(FolderWalkTest, CountingAndCheckingWalksMeetTheSameFilesInTheSameOrder) {
  for (int i = 0; i < 5; ++i) tree.File("D" + std::to_string(i % 2) + "/F" + std::to_string(i), 10 * i);
  tree.File("TOP", 7);
  Run();
  EXPECT_EQ(State().disk.filesTotal, 6);
  EXPECT_EQ(State().disk.bytesTotal, 107);
  EXPECT_EQ(CheckedFiles().size(), 6u);
  EXPECT_EQ(State().filesSeen, 6u);
}

// After a pre-scan the check walk goes by what the counting walk listed, so
// the disk's folders are listed once. What changed in between shows: a file
// or folder that vanished is an Open row, a file that appeared waits for the
// next run.
TEST_F(FolderWalkTest, TheCheckWalkGoesByTheCountingWalksListing) {
  tree.File("A", 100);
  tree.File("SUB/B", 200);
  tree.File("SUB/C", 300);
  tree.File("GONE/X", 50);
  settings->preScan = true;
  window->onEnable = [&](int id, bool enable) {
    if (id != engine::kIdSkip || !enable) return;  // the counting is over, the checking begins
    std::filesystem::remove(tree.Path("A"));
    std::filesystem::remove_all(tree.Path("GONE"));
    tree.File("NEW", 10);
    tree.File("SUB/NEW", 10);
  };
  Run();
  EXPECT_EQ(State().disk.filesTotal, 4);
  EXPECT_EQ(State().disk.bytesTotal, 650);
  const auto checked = CheckedFiles();
  EXPECT_EQ(std::set<std::string>(checked.begin(), checked.end()), (std::set<std::string>{"A", "B", "C"}));
  auto rows = ErrorRows();
  std::sort(rows.begin(), rows.end());
  EXPECT_EQ(rows, (std::vector<std::array<std::string, 4>>{{"A", "Open", "", "D:\\"}, {"GONE", "Open", "", "D:\\"}}));
  EXPECT_EQ(State().disk.filesChecked, 3);
}

TEST_F(FolderWalkTest, AListingTooLargeForMemoryIsKeptInATemporaryFile) {
  // About 30 bytes a name: 5,000 of them outgrow the record's 64 KiB buffer.
  const auto name = [](int i) { return "D" + std::to_string(i / 1000) + "/a-somewhat-longer-name-" + std::to_string(i); };
  for (int i = 0; i < 5000; ++i) tree.File(name(i), i % 7);
  settings->preScan = true;
  window->onEnable = [&](int id, bool enable) {
    if (id == engine::kIdSkip && enable) std::filesystem::remove(tree.Path(name(3500)));
  };
  Run();
  EXPECT_EQ(State().disk.filesChecked, 5000);
  ASSERT_EQ(ErrorRows().size(), 1u);
  EXPECT_EQ(ErrorRows()[0], (std::array<std::string, 4>{"a-somewhat-longer-name-3500", "Open", "", "D:\\D3"}));
}

TEST_F(FolderWalkTest, EmptyFilesGiveNoTotalAndTheDiskPercentStaysAtZero) {
  tree.File("E1", 0);
  tree.File("E2", 0);
  Run();
  EXPECT_EQ(State().disk.bytesTotal, 0);
  for (int p : window->ProgressHistory(engine::kIdDiskBar)) EXPECT_EQ(p, 0);
  EXPECT_EQ(Report(), "The checking is complete (0%)\nFiles checked: 2\nNo error were detected");
}

TEST_F(FolderWalkTest, LinksToFoldersAreNeverWalkedLinksToFilesAreCheckedAsThoseFiles) {
  tree.File("SUB/REAL.BIN", 50'000);
  tree.Symlink("SUB/LOOP", "..");       // a loop
  tree.Symlink("SELF", ".");            // another
  tree.Symlink("OUT", "/");             // off the disk
  tree.Symlink("ALIAS.BIN", "SUB/REAL.BIN");
  tree.Symlink("DANGLING", "SUB/GONE");
  Run();
  // REAL.BIN, ALIAS.BIN, DANGLING, and OUT as a file of no bytes.
  EXPECT_EQ(State().disk.filesTotal, 4);
  EXPECT_EQ(State().disk.bytesTotal, 100'000);
  EXPECT_EQ(State().bytesRead, 100'000);
  ASSERT_EQ(ErrorRows().size(), 1u);
  EXPECT_EQ(ErrorRows()[0], (std::array<std::string, 4>{"DANGLING", "Open", "", "D:\\"}));
}

// A link never leads the check off the tree: one that names a place outside
// it (however it is written, whether or not that place exists here) is a
// file of no bytes that reads fine, and is never opened.
TEST_F(FolderWalkTest, LinksOutOfTheTreeAreFilesOfNoBytesThatAreNeverOpened) {
  testing_support::TempTree elsewhere;
  elsewhere.File("HOST.BIN", 7'000);
  tree.File("DISC/IN.BIN", 300);
  tree.Symlink("DISC/ABS", elsewhere.Path("HOST.BIN"));
  tree.Symlink("DISC/UP", "../../../../../../../../../.." + elsewhere.Path("HOST.BIN"));
  tree.Symlink("DISC/FAR", "/nowhere/on/this/machine");
  tree.Symlink("DISC/BACK", "../DISC/IN.BIN");  // leaves and comes back: inside
  tree.Symlink("DISC/VIA", "BACK");              // a link to a link inside
  tree.Symlink("OUTDIR", elsewhere.Root());      // leads outside through a folder
  tree.Symlink("DISC/THROUGH", "../OUTDIR/HOST.BIN");
  settings->preScan = true;
  Run();
  EXPECT_EQ(Report(), "The checking is complete\nFiles checked: 8\nNo error were detected");
  EXPECT_EQ(State().disk.filesTotal, 8);
  EXPECT_EQ(State().disk.bytesTotal, 900);
  EXPECT_EQ(State().bytesRead, 900);
  EXPECT_TRUE(ErrorRows().empty());
  const auto checked = CheckedFiles();
  EXPECT_EQ(std::set<std::string>(checked.begin(), checked.end()), (std::set<std::string>{"IN.BIN", "BACK", "VIA"}));
}

// The walks change directory on the check's own thread: the program's
// current directory is where it was after a check of a start folder.
TEST_F(FolderWalkTest, TheProgramsCurrentDirectoryStaysWhereItWas) {
  testing_support::TempTree program;
  ASSERT_EQ(platform::ChangeDirectory(program.Root()), 0);
  const std::string before = platform::CurrentDirectory();
  tree.File("DATA/SUB/A", 10);
  deps.rootPaths = std::make_shared<testing_support::FnRootPaths>(
      [root = tree.Root()](const std::string& p) { return p == "D:\\DATA" ? root + "/DATA" : p; });
  Make().SetStartFolder("D:\\DATA");
  Run();
  EXPECT_EQ(CheckedFiles(), std::vector<std::string>{"A"});
  EXPECT_EQ(platform::CurrentDirectory(), before);
}

TEST_F(FolderWalkTest, FifosSocketsAndDevicesAreNeitherCountedNorOpened) {
  tree.File("A", 10);
  tree.Fifo("PIPE");           // opening it would hang
  tree.Symlink("TO_PIPE", "PIPE");
  tree.Symlink("NULL", "/dev/null");  // off the tree: a file of no bytes, never opened
  Run();
  EXPECT_EQ(State().disk.filesTotal, 2);
  EXPECT_EQ(CheckedFiles(), (std::vector<std::string>{"A"}));
  EXPECT_TRUE(ErrorRows().empty());
}

TEST_F(FolderWalkTest, PathsLongerThanTheOldLimitAreWalkedWhole) {
  std::string rel;
  for (int i = 0; i < 6; ++i) rel += (i ? "/" : "") + std::string(60, static_cast<char>('a' + i));
  tree.Symlink(rel + "/GONE", "nowhere");
  tree.File(rel + "/OK", 100);
  Run();
  ASSERT_EQ(ErrorRows().size(), 1u);
  const std::string folder = ErrorRows()[0][3];
  EXPECT_GT(folder.size(), 259u);
  EXPECT_EQ(folder.substr(0, 4), "D:\\a");
  EXPECT_EQ(folder.substr(folder.size() - 60), std::string(60, 'f'));
  EXPECT_EQ(State().disk.filesChecked, 2);
}

TEST_F(FolderWalkTest, NamesWithPercentSignsAndNonUtf8BytesPassUnchanged) {
  const std::string odd = "50%d %s \xff\xfe.bin";
  tree.Symlink(odd, "nowhere");
  tree.File("x%n%n", 10);
  Run();
  ASSERT_EQ(ErrorRows().size(), 1u);
  EXPECT_EQ(ErrorRows()[0][0], odd);
  EXPECT_EQ(log->Lines().back(), odd + ", Open, , D:\\");
  EXPECT_EQ(State().bytesRead, 10);
}

TEST_F(FolderWalkTest, ARootThatCannotBeEnteredChecksNothing) {
  deps.rootPaths = RootAt(tree.Root() + "/missing");
  Run();
  EXPECT_TRUE(CheckedFiles().empty());
  EXPECT_EQ(State().disk.filesTotal, 0);
  EXPECT_EQ(Report(), "The checking is complete (0%)\nFiles checked: 0\nNo error were detected");
}

TEST_F(FolderWalkTest, TheListingClassifiesEntries) {
  tree.File("F", 123);
  tree.Folder("D");
  tree.Symlink("LD", "D");
  tree.Symlink("LF", "F");
  tree.Symlink("LX", "missing");
  tree.Fifo("P");
  testing_support::CwdGuard guard;
  ASSERT_EQ(platform::ChangeDirectory(tree.Root()), 0);
  platform::DirListing listing;
  ASSERT_TRUE(listing.Open());
  std::map<std::string, platform::DirEntry> seen;
  platform::DirEntry e;
  while (listing.Next(e)) seen[e.name] = e;
  ASSERT_EQ(seen.size(), 6u);
  EXPECT_EQ(seen["F"].kind, platform::DirEntry::kFile);
  EXPECT_EQ(seen["F"].size, 123u);
  EXPECT_EQ(seen["D"].kind, platform::DirEntry::kFolder);
  EXPECT_EQ(seen["LD"].kind, platform::DirEntry::kOther);
  EXPECT_EQ(seen["LF"].kind, platform::DirEntry::kFile);
  EXPECT_EQ(seen["LF"].size, 123u);
  EXPECT_EQ(seen["LX"].kind, platform::DirEntry::kDanglingLink);
  EXPECT_EQ(seen["P"].kind, platform::DirEntry::kOther);
}

}  // namespace
}  // namespace engine_test

namespace engine_test {
namespace {

// A chain of nested folders, built and removed level by level (its paths are
// far longer than any path the system takes whole).
class FolderChain {
 public:
  // Files named SHALLOW in level 10 and DEEPEST in the last level, and
  // AT_LIMIT in the deepest level the walk enters when asked for.
  FolderChain(const std::string& base, int levels, bool atLimit = false) : base_(base), levels_(levels) {
    int fd = open(base.c_str(), O_DIRECTORY | O_RDONLY);
    for (int i = 0; i < levels; ++i) {
      mkdirat(fd, "d", 0755);
      const int next = openat(fd, "d", O_DIRECTORY | O_RDONLY);
      const char* name = i == 9 ? "SHALLOW" : i == levels - 1 ? "DEEPEST"
                         : atLimit && i == engine::kMaxFolderDepth - 1 ? "AT_LIMIT" : nullptr;
      if (name != nullptr) {
        const int f = openat(next, name, O_WRONLY | O_CREAT, 0644);
        if (write(f, "x", 1) != 1) ADD_FAILURE();
        close(f);
      }
      close(fd);
      fd = next;
    }
    close(fd);
  }
  ~FolderChain() {
    std::vector<int> fds{open(base_.c_str(), O_DIRECTORY | O_RDONLY)};
    for (int i = 0; i < levels_; ++i) fds.push_back(openat(fds.back(), "d", O_DIRECTORY | O_RDONLY));
    for (int i = levels_; i > 0; --i) {
      unlinkat(fds[i], "SHALLOW", 0);
      unlinkat(fds[i], "DEEPEST", 0);
      unlinkat(fds[i], "AT_LIMIT", 0);
      close(fds[i]);
      unlinkat(fds[i - 1], "d", AT_REMOVEDIR);
    }
    close(fds[0]);
  }

 private:
  std::string base_;
  int levels_;
};

TEST_F(FolderWalkTest, AnEndlesslyDeepTreeIsWalkedDownToTheDepthLimitWithoutCrashing) {
  // Allow a descriptor per level, where the system lets us.
  rlimit saved{};
  getrlimit(RLIMIT_NOFILE, &saved);
  rlimit more = saved;
  more.rlim_cur = std::min<rlim_t>(saved.rlim_max, engine::kMaxFolderDepth + 200);
  setrlimit(RLIMIT_NOFILE, &more);
  {
    FolderChain chain(tree.Root(), engine::kMaxFolderDepth + 50);
    Run();
    const auto checked = CheckedFiles();
    EXPECT_EQ(checked, (std::vector<std::string>{"SHALLOW"}));
    EXPECT_EQ(State().disk.filesTotal, 1);
    // The folder below the limit is not passed over in silence.
    ASSERT_EQ(ErrorRows().size(), 1u);
    EXPECT_EQ(ErrorRows()[0][0], "d");
    EXPECT_EQ(ErrorRows()[0][1], "Open");
    EXPECT_NE(Report().find("Files with errors (read/open): 0 / 1"), std::string::npos) << Report();
  }
  setrlimit(RLIMIT_NOFILE, &saved);
}

TEST_F(FolderWalkTest, TheDepthLimitIsReachedUnderTheDefaultDescriptorLimit) {
  const int levels = engine::kMaxFolderDepth + 50;
  FolderChain chain(tree.Root(), levels, true);
  // Debian's default soft limit, well below the number of levels.
  rlimit saved{};
  getrlimit(RLIMIT_NOFILE, &saved);
  rlimit low = saved;
  low.rlim_cur = std::min<rlim_t>(saved.rlim_max, 1024);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  Run();
  setrlimit(RLIMIT_NOFILE, &saved);
  EXPECT_EQ(CheckedFiles(), (std::vector<std::string>{"SHALLOW", "AT_LIMIT"}));
  EXPECT_EQ(State().disk.filesTotal, 2);
  ASSERT_EQ(ErrorRows().size(), 1u);
  EXPECT_EQ(ErrorRows()[0][1], "Open");
  // The row names the folder that holds the one not walked, level by level.
  EXPECT_EQ(ErrorRows()[0][3].size(), std::string("D:").size() + 2 * static_cast<std::size_t>(engine::kMaxFolderDepth));
}

}  // namespace
}  // namespace engine_test
