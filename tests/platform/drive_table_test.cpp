#include "platform/drive_table.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/file_io.h"
#include "platform/registry.h"
#include "tests/support/fake_drive_probe.h"
#include "tests/support/temp_tree.h"

namespace platform {
namespace {

using testing_support::FakeDriveProbe;
using testing_support::TempTree;

// A machine with an optical drive holding a mounted disc, an empty one, a
// USB stick, a second disk, network shares, RAM disks and the usual pseudo
// file systems.
FakeDriveProbe FakeMachine() {
  FakeDriveProbe p;
  p.mountTable =
      "proc /proc proc rw 0 0\n"
      "sysfs /sys sysfs rw 0 0\n"
      "/dev/sda1 / ext4 rw 0 0\n"
      "tmpfs /run tmpfs rw 0 0\n"
      "tmpfs /run/user/1000 tmpfs rw 0 0\n"
      "tmpfs /dev/shm tmpfs rw 0 0\n"
      "cgroup2 /sys/fs/cgroup cgroup2 rw 0 0\n"
      "/dev/sdb1 /media/user/MY\\040STICK vfat rw 0 0\n"
      "/dev/sda2 /home ext4 rw 0 0\n"
      "/dev/cdrom /media/cdrom0 iso9660 ro 0 0\n"
      "server:/export /mnt/nfs nfs4 rw 0 0\n"
      "user@host:/data /mnt/ssh fuse.sshfs rw 0 0\n"
      "tmpfs /tmp tmpfs rw 0 0\n"
      "/dev/loop0 /mnt/iso iso9660 ro 0 0\n"
      "/dev/sda2 /etc/hostname ext4 rw 0 0\n"
      "/dev/sdc1 /mnt/old ext4 rw 0 0\n"
      "/dev/sdd1 /mnt/old xfs rw 0 0\n"
      "garbage\n"
      "overlay relative overlay rw 0 0\n";
  p.optical = {"/dev/sr1", "/dev/sr0"};
  p.removable = {"/dev/sdb1"};
  p.notFolders = {"/etc/hostname"};
  p.links = {{"/dev/cdrom", "/dev/sr0"}};
  return p;
}

std::map<char, std::pair<int, std::string>> Letters(const DriveTable& t) {
  std::map<char, std::pair<int, std::string>> out;
  for (char c = 'A'; c <= 'Z'; ++c) {
    if (const Drive* d = t.Find(c)) out[c] = {d->kind, d->path};
  }
  return out;
}

TEST(DriveTableTest, LettersInAStableOrderWithTheirKinds) {
  const DriveTable t = DriveTable::Build(FakeMachine(), {});
  const std::map<char, std::pair<int, std::string>> expected = {
      {'C', {kDriveFixed, "/"}},
      {'D', {kDriveCdrom, "/media/cdrom0"}},  // sr0, with its disc mounted
      {'E', {kDriveCdrom, ""}},               // sr1, empty
      {'F', {kDriveFixed, "/home"}},
      {'G', {kDriveRemovable, "/media/user/MY STICK"}},
      {'H', {kDriveCdrom, "/mnt/iso"}},
      {'I', {kDriveRemote, "/mnt/nfs"}},
      {'J', {kDriveFixed, "/mnt/old"}},  // the later mount on the folder
      {'K', {kDriveRemote, "/mnt/ssh"}},
      {'L', {kDriveRamDisk, "/tmp"}},
  };
  EXPECT_EQ(Letters(t), expected);
  EXPECT_EQ(t.Find('J')->device, "/dev/sdd1");
  EXPECT_TRUE(t.Find('E')->optical);

  // The order does not depend on the order of the mount table.
  FakeDriveProbe shuffled = FakeMachine();
  shuffled.mountTable = "tmpfs /tmp tmpfs rw 0 0\n/dev/sda2 /home ext4 rw 0 0\n/dev/sda1 / ext4 rw 0 0\n";
  const DriveTable s = DriveTable::Build(shuffled, {});
  EXPECT_EQ(s.Find('F')->path, "/home");
  EXPECT_EQ(s.Find('G')->path, "/tmp");

  EXPECT_EQ(t.GetLogicalDriveStrings(), std::string("C:\\\0D:\\\0E:\\\0F:\\\0G:\\\0H:\\\0I:\\\0J:\\\0K:\\\0L:\\\0\0", 41));
  EXPECT_EQ(t.GetDriveType("d:\\"), kDriveCdrom);
  EXPECT_EQ(t.GetDriveType("D:"), kDriveCdrom);
  EXPECT_EQ(t.GetDriveType("A:\\"), kDriveNoRoot);
  EXPECT_EQ(t.GetDriveType("D:\\DATA"), kDriveNoRoot);
  EXPECT_EQ(t.GetDriveType(""), kDriveNoRoot);
}

TEST(DriveTableTest, PinsTakeTheirLettersFirst) {
  const std::vector<DrivePin> pins = {
      {'D', kDriveCdrom, "/srv/image"},    // a folder posing as a CD-ROM drive
      {'A', kDriveRemovable, "/media/a"},
      {'F', kDriveNoRoot, ""},             // keeps F free
      {'Z', kDriveFixed, "/home"},         // a mount point pinned elsewhere
  };
  const DriveTable t = DriveTable::Build(FakeMachine(), pins);
  EXPECT_EQ(t.Find('A')->kind, kDriveRemovable);
  EXPECT_EQ(t.Find('D')->path, "/srv/image");
  EXPECT_TRUE(t.Find('D')->pinned);
  EXPECT_EQ(t.Find('E')->device, "/dev/sr0");
  EXPECT_EQ(t.GetDriveType("F:\\"), kDriveNoRoot);
  EXPECT_EQ(t.Find('G')->device, "/dev/sr1");
  EXPECT_EQ(t.Find('H')->path, "/media/user/MY STICK");  // /home is Z: now
  EXPECT_EQ(t.Find('Z')->device, "/dev/sda2");
  EXPECT_EQ(t.GetLogicalDriveStrings().substr(0, 8), std::string("A:\\\0C:\\\0", 8));
}

TEST(DriveTableTest, PinsComeFromTheRegistry) {
  EXPECT_FALSE(ParseDrivePin('D', "relative/path").has_value());
  EXPECT_FALSE(ParseDrivePin('D', "9,/x").has_value());
  EXPECT_FALSE(ParseDrivePin('1', "/x").has_value());
  EXPECT_EQ(ParseDrivePin('d', "/srv/a,b/")->path, "/srv/a,b");
  EXPECT_EQ(ParseDrivePin('d', "/srv/a,b/")->kind, kDriveFixed);
  EXPECT_EQ(ParseDrivePin('d', "5,/srv/a,b")->path, "/srv/a,b");
  EXPECT_EQ(ParseDrivePin('d', "5,/srv/a,b")->letter, 'D');

  TempTree tree;
  Registry reg(tree.Path("r.reg"));
  EXPECT_TRUE(ReadDrivePins(reg).empty());
  RegistryKey key;
  ASSERT_EQ(reg.CreateKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillon\\Torvex\\203\\Drives", &key, nullptr), kRegOk);
  key.SetString("R", "5," + tree.Root());
  key.SetString("Long", "3,/x");
  key.SetBinary("S", "/y", 2);
  const std::vector<DrivePin> pins = ReadDrivePins(reg);
  ASSERT_EQ(pins.size(), 1u);
  EXPECT_EQ(pins[0].letter, 'R');
  EXPECT_EQ(pins[0].kind, kDriveCdrom);

  const DriveTable t = DriveTable::System(reg);
  EXPECT_EQ(t.GetDriveType("R:\\"), kDriveCdrom);
  EXPECT_TRUE(t.FolderExists("R:\\"));
}

TEST(DriveTableTest, PathsTranslateBothWays) {
  const DriveTable t = DriveTable::Build(FakeMachine(), {{'P', kDriveFixed, "/srv/pinned"}});
  EXPECT_EQ(t.ToNativePath("D:\\"), "/media/cdrom0");
  EXPECT_EQ(t.ToNativePath("d:\\Data\\Sub\\"), "/media/cdrom0/Data/Sub/");
  EXPECT_EQ(t.ToNativePath("C:\\"), "/");
  EXPECT_EQ(t.ToNativePath("C:\\usr\\Share"), "/usr/Share");
  EXPECT_EQ(t.ToNativePath("E:\\"), "");  // no disc mounted
  EXPECT_EQ(t.ToNativePath("Q:\\"), "");
  EXPECT_EQ(t.ToNativePath("\\DATA"), "");
  EXPECT_EQ(t.ToNativePath(""), "");

  EXPECT_EQ(t.FromNativePath("/media/cdrom0/Data/Sub"), "D:\\Data\\Sub");
  EXPECT_EQ(t.FromNativePath("/media/cdrom0"), "D:\\");
  EXPECT_EQ(t.FromNativePath("/media/cdrom00"), "C:\\media\\cdrom00");
  EXPECT_EQ(t.FromNativePath("/srv/pinned/x"), "P:\\x");
  EXPECT_EQ(t.FromNativePath("/"), "C:\\");
  EXPECT_EQ(t.FromNativePath("relative"), "");
  for (const std::string p : {"D:\\A\\b c", "G:\\x", "C:\\etc"}) EXPECT_EQ(t.FromNativePath(t.ToNativePath(p)), p);
}

TEST(DriveTableTest, FolderCheckNeverChangesTheCurrentDirectory) {
  TempTree tree;
  tree.Folder("Data/Sub");
  const DriveTable t = DriveTable::Build(DriveProbe::System(), {{'D', kDriveCdrom, tree.Root()}});
  const std::string before = CurrentDirectory();
  EXPECT_TRUE(t.FolderExists("D:\\"));
  EXPECT_TRUE(t.FolderExists("D:\\Data\\Sub"));
  EXPECT_TRUE(t.FolderExists("d:\\Data\\"));
  EXPECT_FALSE(t.FolderExists("D:\\DATA"));  // names keep their case
  EXPECT_FALSE(t.FolderExists("D:\\Missing"));
  EXPECT_FALSE(t.FolderExists("Y:\\"));
  EXPECT_EQ(CurrentDirectory(), before);
}

TEST(DriveTableTest, ThisMachineHasItsRootAsAFixedDriveC) {
  TempTree tree;
  Registry reg(tree.Path("r.reg"));
  const DriveTable t = DriveTable::System(reg);
  ASSERT_NE(t.Find('C'), nullptr);
  EXPECT_EQ(t.GetDriveType("C:\\"), kDriveFixed);
  EXPECT_EQ(t.Find('C')->path, "/");
  EXPECT_EQ(t.GetLogicalDriveStrings().substr(0, 4), std::string("C:\\\0", 4));
  // Nothing of the kernel's own file systems gets a letter.
  for (char c = 'D'; c <= 'Z'; ++c) {
    if (const Drive* d = t.Find(c)) {
      EXPECT_NE(d->path.rfind("/proc", 0), 0u) << d->path;
      EXPECT_NE(d->path.rfind("/sys", 0), 0u) << d->path;
      EXPECT_NE(d->fsType, "cgroup");
    }
  }
}

}  // namespace
}  // namespace platform
