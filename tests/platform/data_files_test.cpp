#include "platform/data_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "tests/support/temp_tree.h"

namespace platform {
namespace {

using testing_support::TempTree;

TEST(DataFilesTest, TheFirstFolderHoldingAReadableFileWins) {
  TempTree t;
  t.Folder("beside");
  t.Folder("installed");
  t.File("installed/torvex.html", 10);
  t.Folder("beside/torvex.hlp");  // a folder of that name is no file
  t.File("installed/torvex.hlp", 10);
  const std::vector<std::string> folders{"", t.Path("missing"), t.Path("beside"), t.Path("installed") + "/"};

  EXPECT_EQ(FindFileIn(folders, "torvex.html"), t.Path("installed/torvex.html"));
  EXPECT_EQ(FindFileIn(folders, "torvex.hlp"), t.Path("installed/torvex.hlp"));
  EXPECT_EQ(FindFileIn(folders, "torvex1.wav"), "");

  t.File("beside/torvex.html", 10);
  EXPECT_EQ(FindFileIn(folders, "torvex.html"), t.Path("beside/torvex.html"));
  if (geteuid() != 0) {  // root reads any file
    chmod(t.Path("beside/torvex.html").c_str(), 0);
    EXPECT_EQ(FindFileIn(folders, "torvex.html"), t.Path("installed/torvex.html"));
  }
}

TEST(DataFilesTest, ProgramFileFolderHoldsTheRunningProgram) {
  const std::string folder = ProgramFileFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.front(), '/');
  EXPECT_NE(folder.back(), '/');
  EXPECT_EQ(FindFileIn({folder}, "platform_tests"), folder + "/platform_tests");
  // Beside the program comes before the installed folder.
  EXPECT_EQ(FindDataFile("platform_tests"), folder + "/platform_tests");
  EXPECT_EQ(FindModuleFile("platform_tests"), folder + "/platform_tests");
}

}  // namespace
}  // namespace platform
