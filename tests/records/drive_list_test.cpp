#include "records/drive_list.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform/drive_table.h"
#include "platform/file_io.h"
#include "platform/registry.h"
#include "records/settings_store.h"
#include "tests/support/temp_tree.h"

namespace records {
namespace {

using testing_support::TempTree;

// Drive kinds by letter; every other letter has no root.
DriveOps FakeOps(std::map<char, int> kinds) {
  DriveOps ops;
  ops.getDriveType = [kinds](const std::string& root) {
    auto it = kinds.find(root[0]);
    return it == kinds.end() ? 1 : it->second;
  };
  ops.getLogicalDriveStrings = [kinds] {
    std::string out;
    for (const auto& [letter, kind] : kinds) {
      if (kind == 1) continue;
      out += std::string(1, letter) + ":\\";
      out.push_back('\0');
    }
    out.push_back('\0');
    return out;
  };
  ops.folderExists = [](const std::string&) { return false; };
  return ops;
}

TEST(DriveListTest, EntriesInLetterOrderWithTheirKindNames) {
  const DriveOps ops = FakeOps({{'D', 5}, {'A', 2}, {'C', 3}});
  std::vector<std::string> all;
  EXPECT_EQ(FillDriveList(kAllDrives, all, ops), 1);
  EXPECT_EQ(all, (std::vector<std::string>{"A:   ( Floppy/Removable )", "C:   ( Fixed )", "D:   ( CD-ROM )"}));

  std::vector<std::string> cd;
  EXPECT_EQ(FillDriveList(kCdromDrivesOnly, cd, ops), 1);
  EXPECT_EQ(cd, (std::vector<std::string>{"D:   ( CD-ROM )"}));

  std::vector<std::string> odd;
  EXPECT_EQ(FillDriveList(kAllDrives, odd, FakeOps({{'E', 0}, {'F', 9}, {'G', 4}, {'H', 6}, {'N', 1}})), 0);
  EXPECT_EQ(odd, (std::vector<std::string>{"E:   ( Unknown )", "F:   ( Unknown )", "G:   ( Remote/Network )",
                                           "H:   ( RAM disk )"}));
  std::vector<std::string> none;
  EXPECT_EQ(FillDriveList(kCdromDrivesOnly, none, FakeOps({{'C', 3}})), 0);
  EXPECT_TRUE(none.empty());
  EXPECT_EQ(std::string("Z:   ( Floppy/Removable )").size(), 25u);  // the longest entry
}

TEST(DriveListTest, EntryRules) {
  EXPECT_EQ(EntryToDrive("A:   ( Fixed )"), 0);
  EXPECT_EQ(EntryToDrive("Z:   ( CD-ROM )"), 25);
  EXPECT_TRUE(EntryIsCdrom("D:   ( CD-ROM )"));
  for (const char* e : {"C:   ( Fixed )", "E:   ( Unknown )", "A:   ( Floppy/Removable )", "R:   ( RAM disk )",
                        "N:   ( Remote/Network )", "D:"}) {
    EXPECT_FALSE(EntryIsCdrom(e)) << e;
  }
  EXPECT_EQ(EntryToRoot("D:   ( CD-ROM )"), "D:\\");
}

TEST(DriveListTest, StartFolderCheck) {
  TempTree tree;
  tree.Folder("Data/Sub");
  const platform::DriveTable table =
      platform::DriveTable::Build(platform::DriveProbe::System(), {{'D', platform::kDriveCdrom, tree.Root()}});
  const DriveOps ops = DriveOpsOf(table);
  const std::string before = platform::CurrentDirectory();

  EXPECT_TRUE(CheckStartFolder("", ops));
  EXPECT_TRUE(CheckStartFolder("D:\\", ops));
  EXPECT_TRUE(CheckStartFolder("d:\\", ops));
  EXPECT_FALSE(CheckStartFolder("D:", ops));
  EXPECT_FALSE(CheckStartFolder("D", ops));
  EXPECT_FALSE(CheckStartFolder("Y:\\", ops));
  EXPECT_TRUE(CheckStartFolder("d:\\Data", ops));
  EXPECT_TRUE(CheckStartFolder("D:\\Data\\Sub\\", ops));
  EXPECT_FALSE(CheckStartFolder("D:\\DATA", ops));  // folder names keep their case
  EXPECT_FALSE(CheckStartFolder("D:\\Missing", ops));
  EXPECT_FALSE(CheckStartFolder("\\Data", ops));
  EXPECT_FALSE(CheckStartFolder(tree.Root(), ops));  // a path of this system, not of a drive
  EXPECT_EQ(platform::CurrentDirectory(), before);
}

TEST(DriveListTest, RootPathsOfRunsFollowThePinnedLetters) {
  TempTree tree;
  auto registry = std::make_shared<platform::Registry>(tree.Path("r.reg"));
  platform::Registry& reg = *registry;
  SystemRootPaths paths(registry);
  const auto translate = [&](const std::string& root) { return paths.ToNativePath(root); };
  EXPECT_EQ(translate("C:\\"), "/");
  EXPECT_EQ(translate("R:\\"), "");
  platform::RegistryKey key;
  ASSERT_EQ(reg.CreateKey(std::string(kProgramKey) + "\\Drives", &key, nullptr), platform::kRegOk);
  key.SetString("R", "5," + tree.Root());
  EXPECT_EQ(translate("R:\\"), tree.Root());
  EXPECT_EQ(translate("r:\\Data\\x"), tree.Root() + "/Data/x");
}

}  // namespace
}  // namespace records
