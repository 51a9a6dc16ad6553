// The lookup of the program's own data files by a bare name.
#include "platform/data_files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/support/temp_tree.h"

namespace platform {
namespace {

// A file beside the test program, named uniquely (tests run side by side),
// removed again at the end.
class BesideProgram {
 public:
  explicit BesideProgram(const std::string& stem)
      : name_(stem + "-" + std::to_string(getpid()) + ".dat"), path_(ProgramFolder() + "/" + name_) {
    std::ofstream(path_) << "beside";
  }
  ~BesideProgram() { std::filesystem::remove(path_); }
  const std::string& Name() const { return name_; }
  const std::string& Path() const { return path_; }

 private:
  std::string name_, path_;
};

TEST(DataFiles, TheProgramIsThisTestProgram) {
  EXPECT_EQ(ProgramFileName(), "platform_tests");
  EXPECT_TRUE(std::filesystem::exists(ProgramFolder() + "/platform_tests"));
  EXPECT_EQ(ProgramFolder().front(), '/');
}

TEST(DataFiles, SoundsLookInTheCurrentDirectoryFirstThenBesideTheProgram) {
  testing_support::TempTree tree;
  testing_support::CwdGuard cwd;
  BesideProgram beside("lookup");
  ASSERT_EQ(chdir(tree.Root().c_str()), 0);

  // Only beside the program: found there by both lookups.
  EXPECT_EQ(FindDataFile(beside.Name(), DataLookup::kCurrentDirectoryFirst), beside.Path());
  EXPECT_EQ(FindDataFile(beside.Name(), DataLookup::kProgramPlaces), beside.Path());

  // In both places: the current directory wins for sounds, never for the
  // help file.
  std::ofstream(tree.Path(beside.Name())) << "here";
  const std::string here = std::filesystem::canonical(tree.Path(beside.Name())).string();
  EXPECT_EQ(FindDataFile(beside.Name(), DataLookup::kCurrentDirectoryFirst), here);
  EXPECT_EQ(FindDataFile(beside.Name(), DataLookup::kProgramPlaces), beside.Path());

  // The answer is absolute: it stays right after the walk moves on.
  ASSERT_EQ(chdir("/"), 0);
  EXPECT_EQ(std::ifstream(here).get(), 'h');

  const std::vector<std::string> folders = DataFileFolders(DataLookup::kCurrentDirectoryFirst);
  ASSERT_EQ(folders.size(), 3u);
  EXPECT_EQ(folders[0], "/");
  EXPECT_EQ(folders[1], ProgramFolder());
  EXPECT_EQ(folders[2], DataFolder());
  EXPECT_EQ(DataFileFolders(DataLookup::kProgramPlaces), (std::vector<std::string>{ProgramFolder(), DataFolder()}));
}

TEST(DataFiles, OnlyReadableRegularFilesCount) {
  testing_support::TempTree tree;
  testing_support::CwdGuard cwd;
  ASSERT_EQ(chdir(tree.Root().c_str()), 0);
  tree.Folder("folder.wav");
  tree.Fifo("pipe.wav");  // opening it would block the player
  EXPECT_EQ(FindDataFile("folder.wav", DataLookup::kCurrentDirectoryFirst), "");
  EXPECT_EQ(FindDataFile("pipe.wav", DataLookup::kCurrentDirectoryFirst), "");
  EXPECT_EQ(FindDataFile("missing.wav", DataLookup::kCurrentDirectoryFirst), "");
  EXPECT_EQ(FindDataFile("", DataLookup::kCurrentDirectoryFirst), "");
}

TEST(DataFiles, ANameWithAFolderIsTakenAsItIs) {
  testing_support::TempTree tree;
  testing_support::CwdGuard cwd;
  tree.File("sub/own.hlp", 3);
  EXPECT_EQ(FindDataFile(tree.Path("sub/own.hlp"), DataLookup::kProgramPlaces), tree.Path("sub/own.hlp"));
  ASSERT_EQ(chdir(tree.Root().c_str()), 0);
  EXPECT_EQ(FindDataFile("sub/own.hlp", DataLookup::kProgramPlaces),
            std::filesystem::canonical(tree.Path("sub/own.hlp")).string());
  EXPECT_EQ(FindDataFile("sub/none.hlp", DataLookup::kProgramPlaces), "");
}

TEST(DataFiles, ModulesLieBesideTheProgramOrInTheModuleFolder) {
  // This test program is itself a readable file beside the program.
  EXPECT_EQ(FindModuleFile(ProgramFileName()), ProgramFolder() + "/" + ProgramFileName());
  EXPECT_EQ(FindModuleFile("no-such-module.so"), "");
  EXPECT_EQ(FindModuleFile("../" + ProgramFileName()), "");  // a bare name only
  EXPECT_NE(ModuleFolder(), DataFolder());
}

}  // namespace
}  // namespace platform
