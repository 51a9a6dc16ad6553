// The lookup of the program's own data files by a bare name.
#include "platform/data_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/support/fault_fs.h"
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

TEST(DataFiles, SoundsLookInTheStartFolderFirstAndNeverInTheCurrentDirectory) {
  ASSERT_FALSE(StartFolder().empty());
  testing_support::TempTree tree;
  testing_support::CwdGuard cwd;
  BesideProgram beside("lookup");
  // The walk has moved the current directory into the disc.
  ASSERT_EQ(chdir(tree.Root().c_str()), 0);
  std::ofstream(tree.Path(beside.Name())) << "disc";

  // Beside the program and on the disc: the disc's copy is never taken.
  EXPECT_EQ(FindDataFile(beside.Name(), DataLookup::kStartFolderFirst), beside.Path());
  EXPECT_EQ(FindDataFile(beside.Name(), DataLookup::kProgramPlaces), beside.Path());
  // Only on the disc: not found at all.
  std::ofstream(tree.Path("only-on-disc.wav")) << "disc";
  EXPECT_EQ(FindDataFile("only-on-disc.wav", DataLookup::kStartFolderFirst), "");

  // In the start folder too: it wins for sounds, never for the help file.
  const std::string started = StartFolder() + "/" + beside.Name();
  std::ofstream(started) << "start";
  EXPECT_EQ(FindDataFile(beside.Name(), DataLookup::kStartFolderFirst), started);
  EXPECT_EQ(FindDataFile(beside.Name(), DataLookup::kProgramPlaces), beside.Path());
  std::filesystem::remove(started);

  const std::vector<std::string> folders = DataFileFolders(DataLookup::kStartFolderFirst);
  ASSERT_FALSE(folders.empty());
  EXPECT_EQ(folders[0], StartFolder());
  for (const std::string& f : folders) EXPECT_NE(f, tree.Root());
  EXPECT_EQ(DataFileFolders(DataLookup::kProgramPlaces), (std::vector<std::string>{ProgramFolder(), DataFolder()}));
}

// A disc with the program's own sound file on it, while the walk stands in
// its root: the lookup of every signal never even looks at the disc.
TEST(DataFiles, NoSignalIsLookedUpOnTheDiscBeingWalked) {
  testing_support::FaultFs disc({{"torvex1.wav", 64}, {"torvex7.wav", 64}, {"DATA.BIN", 100}});
  std::string why;
  if (!disc.Mount(&why)) GTEST_SKIP() << "FUSE fault injection unavailable: " << why;
  testing_support::CwdGuard cwd;
  ASSERT_EQ(chdir(disc.MountPoint().c_str()), 0);
  for (const char* name : {"torvex1.wav", "torvex7.wav"}) {
    const std::string found = FindDataFile(name, DataLookup::kStartFolderFirst);
    EXPECT_EQ(found.rfind(disc.MountPoint(), 0), std::string::npos) << found;
    EXPECT_EQ(disc.Looks(name), 0) << name;
  }
  ASSERT_EQ(chdir("/"), 0);
}

TEST(DataFiles, OnlyReadableRegularFilesCount) {
  const std::string stem = StartFolder() + "/lookup-" + std::to_string(getpid());
  std::filesystem::create_directory(stem + "-folder.wav");
  ASSERT_EQ(mkfifo((stem + "-pipe.wav").c_str(), 0600), 0);  // opening it would block the player
  const std::string name = stem.substr(StartFolder().size() + 1);
  EXPECT_EQ(FindDataFile(name + "-folder.wav", DataLookup::kStartFolderFirst), "");
  EXPECT_EQ(FindDataFile(name + "-pipe.wav", DataLookup::kStartFolderFirst), "");
  EXPECT_EQ(FindDataFile("missing.wav", DataLookup::kStartFolderFirst), "");
  EXPECT_EQ(FindDataFile("", DataLookup::kStartFolderFirst), "");
  std::filesystem::remove(stem + "-folder.wav");
  std::filesystem::remove(stem + "-pipe.wav");
}

TEST(DataFiles, ANameWithAFolderIsTakenAsItIsFromTheStartFolder) {
  testing_support::TempTree tree;
  testing_support::CwdGuard cwd;
  tree.File("sub/own.hlp", 3);
  EXPECT_EQ(FindDataFile(tree.Path("sub/own.hlp"), DataLookup::kProgramPlaces), tree.Path("sub/own.hlp"));
  // Relative to where the program started, not to the folder being walked.
  ASSERT_EQ(chdir(tree.Root().c_str()), 0);
  EXPECT_EQ(FindDataFile("sub/own.hlp", DataLookup::kProgramPlaces), "");
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
