// Opening, reading and listing as the reader and the walks need them.
#include "platform/file_io.h"

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

}  // namespace
}  // namespace platform
