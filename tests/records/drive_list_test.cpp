#include "records/drive_list.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform/drive_table.h"
#include "platform/file_io.h"
#include "platform/registry.h"
#include "records/settings_store.h"
#include "platform/disc_mount.h"
#include "tests/support/fake_drive_probe.h"
#include "tests/support/fault_fs.h"
#include "tests/support/temp_tree.h"

namespace records {
namespace {

using testing_support::TempTree;

// A drive table of these kinds by letter (any code, as a settings file may
// pin it); every other letter has no root, C: included.
platform::DriveTable Drives(const std::map<char, int>& kinds) {
  std::vector<platform::DrivePin> pins{{'C', platform::kDriveNoRoot, ""}};
  for (const auto& [letter, kind] : kinds) pins.push_back({letter, kind, ""});
  return platform::DriveTable::Build(testing_support::FakeDriveProbe{}, pins);
}

TEST(DriveListTest, EntriesInLetterOrderWithTheirKindNames) {
  const platform::DriveTable ops = Drives({{'D', 5}, {'A', 2}, {'C', 3}});
  std::vector<std::string> all;
  EXPECT_EQ(FillDriveList(kAllDrives, all, ops), 1);
  EXPECT_EQ(all, (std::vector<std::string>{"A:   ( Floppy/Removable )", "C:   ( Fixed )", "D:   ( CD-ROM )"}));

  std::vector<std::string> cd;
  EXPECT_EQ(FillDriveList(kCdromDrivesOnly, cd, ops), 1);
  EXPECT_EQ(cd, (std::vector<std::string>{"D:   ( CD-ROM )"}));

  std::vector<std::string> odd;
  EXPECT_EQ(FillDriveList(kAllDrives, odd, Drives({{'E', 0}, {'F', 9}, {'G', 4}, {'H', 6}, {'N', 1}})), 0);
  EXPECT_EQ(odd, (std::vector<std::string>{"E:   ( Unknown )", "F:   ( Unknown )", "G:   ( Remote/Network )",
                                           "H:   ( RAM disk )"}));
  std::vector<std::string> none;
  EXPECT_EQ(FillDriveList(kCdromDrivesOnly, none, Drives({{'C', 3}})), 0);
  EXPECT_TRUE(none.empty());
  EXPECT_EQ(std::string("Z:   ( Floppy/Removable )").size(), 25u);  // the longest entry
}

TEST(DriveListTest, TheListShowsEachDrivesLabelAndFolderBesideItsEntry) {
  struct Case {
    std::string path, device, label, shown;
  };
  const Case cases[] = {
      {"/media/cdrom0", "/dev/sr0", "MY_DISC", "D:   ( CD-ROM )   MY_DISC   /media/cdrom0"},
      {"", "/dev/sr0", "", "D:   ( CD-ROM )   /dev/sr0"},  // no disc mounted: its device
      {"/media/cdrom0", "", "", "D:   ( CD-ROM )   /media/cdrom0"},
      {"", "", "", "D:   ( CD-ROM )"},
      {"/mnt/a\nb", "/dev/sr0", "EVIL\n", "D:   ( CD-ROM )   EVIL/0A   /mnt/a?b"},
  };
  for (const Case& c : cases) {
    platform::Drive drive;
    drive.letter = 'D';
    drive.path = c.path;
    drive.device = c.device;
    EXPECT_EQ(DriveListText("D:   ( CD-ROM )", drive, c.label), c.shown) << c.shown;
  }
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
  const platform::DriveTable& ops = table;
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
  // Nothing that climbs out of the drive, not even through an existing folder.
  EXPECT_FALSE(CheckStartFolder("D:\\..", ops));
  EXPECT_FALSE(CheckStartFolder("D:\\Data\\..\\..", ops));
  EXPECT_FALSE(CheckStartFolder("D:\\Data\\.\\Sub", ops));
  EXPECT_FALSE(CheckStartFolder("D:\\Data/../..", ops));
  EXPECT_TRUE(CheckStartFolder("D:\\Data\\Sub", ops));
  // 259 bytes at most: D:\ and a 255-byte name with its backslash fit, one
  // more piece does not, although the folder exists.
  const std::string name(255, 'n');
  tree.Folder(name + "/x");
  const std::string longest = "D:\\" + name + "\\";
  ASSERT_EQ(longest.size(), kMaxStartFolder);
  EXPECT_TRUE(CheckStartFolder(longest, ops));
  EXPECT_FALSE(CheckStartFolder(longest + "x", ops));
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

// Mounts by adding the disc to the mount table of the made-up machine, as
// UDisks2 does to the real one; or is unavailable, as without a system bus.
class FakeMounter : public platform::DiscMounter {
 public:
  FakeMounter(testing_support::FakeDriveProbe& machine, std::string folder) : machine_(machine), folder_(std::move(folder)) {}
  int MountReadOnly(const std::string& device, std::string* mountPoint, std::string* why) override {
    asked.push_back(device);
    if (folder_.empty()) {
      *why = "no system bus";
      return platform::kMountUnavailable;
    }
    machine_.mountTable += device + " " + folder_ + " iso9660 ro 0 0\n";
    *mountPoint = folder_;
    return platform::kMounted;
  }
  std::vector<std::string> asked;

 private:
  testing_support::FakeDriveProbe& machine_;
  std::string folder_;
};

TEST(DriveListTest, ARootIsMountedWhenItsDiscIsNotAndMustBeReadable) {
  TempTree tree;
  tree.Folder("disc/DATA");
  auto reg = std::make_shared<platform::Registry>(tree.Path("r.reg"));
  testing_support::FakeDriveProbe machine;
  machine.mountTable = "/dev/vda1 / ext4 rw 0 0\n";
  machine.optical = {"/dev/sr0"};  // D:, a disc in it but not mounted

  auto none = std::make_shared<FakeMounter>(machine, "");
  EXPECT_EQ(SystemRootCheck(reg, none, machine).CheckRoot("D:\\"), engine::RootCheck::kRootNotMounted);
  EXPECT_EQ(none->asked, std::vector<std::string>{"/dev/sr0"});

  auto udisks = std::make_shared<FakeMounter>(machine, tree.Path("disc"));
  SystemRootCheck check(reg, udisks, machine);
  EXPECT_EQ(check.CheckRoot("D:\\DATA"), engine::RootCheck::kRootReady);
  EXPECT_EQ(check.CheckRoot("D:\\"), engine::RootCheck::kRootReady);  // mounted now: not mounted again
  EXPECT_EQ(udisks->asked.size(), 1u);
  EXPECT_EQ(check.CheckRoot("D:\\MISSING"), engine::RootCheck::kRootUnreadable);
  EXPECT_EQ(check.CheckRoot("Q:\\"), engine::RootCheck::kRootUnreadable);

  // A drive whose root lists with an error: a damaged disc.
  testing_support::FaultFs fs({{"", 0, testing_support::FaultFile::kNoList}, {"X.BIN", 10}});
  std::string why;
  if (!fs.Mount(&why)) GTEST_SKIP() << "FUSE fault injection unavailable: " << why;
  platform::RegistryKey key;
  ASSERT_EQ(reg->CreateKey(std::string(kProgramKey) + "\\Drives", &key, nullptr), platform::kRegOk);
  key.SetString("R", "5," + fs.MountPoint());
  EXPECT_EQ(check.CheckRoot("R:\\"), engine::RootCheck::kRootUnreadable);
}

}  // namespace
}  // namespace records
