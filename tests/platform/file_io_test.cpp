// Opening, reading and listing as the reader and the walks need them.
#include "platform/file_io.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "tests/support/temp_tree.h"

namespace platform {
namespace {

TEST(FileIo, OnlyRegularFilesOpenAndAFifoNeverBlocks) {
  testing_support::TempTree tree;
  tree.File("F", 10);
  tree.Fifo("P");  // nobody writes to it: a blocking open would hang here
  tree.Folder("D");
  const int fd = OpenFileForReading(tree.Path("F"));
  ASSERT_GE(fd, 0);
  CloseFile(fd);
  EXPECT_EQ(OpenFileForReading(tree.Path("P")), -1);
  EXPECT_EQ(OpenFileForReading(tree.Path("D")), -1);
  EXPECT_EQ(OpenFileForReading(tree.Path("missing")), -1);
}

TEST(FileIo, ReadBlockFillsTheBlockAndTellsTheEndOfTheFile) {
  testing_support::TempTree tree;
  tree.File("F", 50'000);
  const int fd = OpenFileForReading(tree.Path("F"));
  ASSERT_GE(fd, 0);
  std::vector<char> buf(32768);
  bool eof = true;
  EXPECT_EQ(ReadBlock(fd, buf.data(), 32768, &eof), 32768);
  EXPECT_FALSE(eof);
  EXPECT_EQ(SkipForward(fd, 10'000), 0);
  EXPECT_EQ(ReadBlock(fd, buf.data(), 32768, &eof), 50'000 - 32768 - 10'000);
  EXPECT_TRUE(eof);
  EXPECT_EQ(ReadBlock(fd, buf.data(), 0, &eof), 0);
  CloseFile(fd);
  EXPECT_EQ(ReadBlock(fd, buf.data(), 10, &eof), -1);  // a closed descriptor is a read error
}

TEST(FileIo, ChangeDirectoryAndCurrentDirectory) {
  testing_support::TempTree tree;
  testing_support::CwdGuard guard;
  tree.Folder("A/B");
  EXPECT_EQ(ChangeDirectory(tree.Path("A")), 0);
  EXPECT_EQ(ChangeDirectory("B"), 0);
  EXPECT_EQ(CurrentDirectory(), tree.Path("A/B"));
  EXPECT_NE(ChangeDirectory("missing"), 0);
  EXPECT_EQ(CurrentDirectory(), tree.Path("A/B"));
}

TEST(FileIo, AHeldFolderServesTheReadAheadAfterTheWalkHasMovedOn) {
  testing_support::TempTree tree;
  tree.File("A/F", 100'000);
  tree.Fifo("A/P");  // nobody writes to it: the read-ahead must not hang on it
  testing_support::CwdGuard cwd;
  ASSERT_EQ(ChangeDirectory(tree.Path("A")), 0);
  const int folder = HoldCurrentFolder();
  ASSERT_GE(folder, 0);
  ASSERT_EQ(ChangeDirectory(tree.Root()), 0);
  EXPECT_TRUE(AdviseWillNeed(folder, "F", {{0, 32768}, {98304, 1696}}));
  EXPECT_TRUE(AdviseWillNeed(folder, "P", {{0, 4096}}));
  EXPECT_FALSE(AdviseWillNeed(folder, "missing", {{0, 1}}));
  CloseFile(folder);
}

TEST(FileIo, MemoryAndKernelFileSystemsAreNotWorthReadingAhead) {
  for (const char* path : {"/proc", "/dev/shm", "/sys"}) {
    const int fd = open(path, O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) continue;
    EXPECT_FALSE(OnDiscOrDiskFileSystem(fd)) << path;
    close(fd);
  }
  EXPECT_FALSE(OnDiscOrDiskFileSystem(-1));
}

}  // namespace
}  // namespace platform
