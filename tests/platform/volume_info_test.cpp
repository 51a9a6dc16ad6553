#include "platform/volume_info.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "tests/support/temp_tree.h"

namespace platform {
namespace {

using testing_support::TempTree;

using Sector = std::vector<uint8_t>;

// A primary volume descriptor labelled "AB": its column sums are worked out
// by hand in the test below.
Sector SmallDescriptor() {
  Sector d(kSectorSize, 0);
  d[0] = 1;
  std::memcpy(&d[1], "CD001", 5);
  d[6] = 1;
  std::memset(&d[40], ' ', 32);
  d[40] = 'A';
  d[41] = 'B';
  return d;
}

TEST(VolumeInfoTest, Iso9660SerialIsTheBytewiseChecksumOfTheDescriptor) {
  Sector d = SmallDescriptor();
  ASSERT_TRUE(IsPrimaryVolumeDescriptor(d.data()));
  EXPECT_EQ(Iso9660Label(d.data()), "AB");
  // Column 0: 01 + 30 + 41 + 7 blanks = 0x152; column 1: 43 + 31 + 42 +
  // 7 blanks = 0x196; column 2: 44 + 01 + 8 blanks = 0x145; column 3: 30 +
  // 8 blanks = 0x130. Each wraps within its byte.
  EXPECT_EQ(Iso9660Serial(d.data()), 0x52964530u);
  // A carry out of the last column does not reach its neighbour.
  d[2043] = 0xFF;
  d[2047] = 0xFF;
  EXPECT_EQ(Iso9660Serial(d.data()), 0x5296452Eu);

  d[6] = 2;  // not version 1
  EXPECT_FALSE(IsPrimaryVolumeDescriptor(d.data()));
  std::memset(&d[40], ' ', 32);
  EXPECT_EQ(Iso9660Label(d.data()), "");
}

TEST(VolumeInfoTest, UuidsAndNamesFromDevDisk) {
  EXPECT_EQ(SerialFromUuid("1234-ABCD"), 0x1234ABCDu);
  EXPECT_EQ(SerialFromUuid("0123456789ABCDEF"), 0x89ABCDEFu);
  const std::string ext4 = "3f2a9c1e-77b0-4d7e-9a51-0c6d2e8b1f44";
  EXPECT_EQ(SerialFromUuid(ext4), StableHash(ext4));
  EXPECT_NE(SerialFromUuid(ext4), SerialFromUuid("3f2a9c1e-77b0-4d7e-9a51-0c6d2e8b1f45"));
  EXPECT_EQ(SerialFromUuid("ABCD"), 0xABCDu);
  EXPECT_EQ(SerialFromUuid("not-hex"), StableHash("not-hex"));
  EXPECT_EQ(UnescapeDeviceName("My\\x20Disk\\x2f1"), "My Disk/1");
  EXPECT_EQ(UnescapeDeviceName("odd\\x2"), "odd\\x2");
  EXPECT_EQ(StableHash(""), 2166136261u);
}

struct FakeDevices {
  std::map<std::string, std::map<int64_t, Sector>> sectors;  // device -> offset -> sector
  std::map<std::string, int> discs;
  std::map<std::string, std::vector<std::pair<std::string, std::string>>> links;
  std::vector<std::string> folders;

  VolumeProbe Probe() {
    VolumeProbe p;
    p.readSector = [this](const std::string& dev, int64_t offset, uint8_t* out) {
      auto d = sectors.find(dev);
      if (d == sectors.end()) return false;
      auto s = d->second.find(offset);
      if (s == d->second.end()) {
        std::memset(out, 0, kSectorSize);  // readable, but no descriptor there
        return true;
      }
      std::memcpy(out, s->second.data(), kSectorSize);
      return true;
    };
    p.discStatus = [this](const std::string& dev) { return discs.count(dev) ? discs[dev] : kNoDisc; };
    p.links = [this](const std::string& folder) { return links[folder]; };
    p.isFolder = [this](const std::string& path) {
      return std::find(folders.begin(), folders.end(), path) != folders.end();
    };
    p.canonical = [](const std::string& path) { return path == "/dev/cdrom" ? std::string("/dev/sr0") : path; };
    return p;
  }
};

DriveTable Machine() {
  DriveProbe p;
  p.mountTable = [] {
    return "/dev/vda1 / ext4 rw 0 0\n"
           "/dev/loop3 /mnt/iso iso9660 ro 0 0\n"
           "/dev/sdb1 /media/stick vfat rw 0 0\n"
           "tmpfs /tmp tmpfs rw 0 0\n";
  };
  p.opticalDevices = [] { return std::vector<std::string>{"/dev/sr0", "/dev/sr1"}; };
  p.removable = [](const std::string& s) { return s == "/dev/sdb1" ? 1 : 0; };
  p.isFolder = [](const std::string&) { return true; };
  p.canonical = [](const std::string& path) { return path; };
  // C: /, D: sr0, E: sr1, F: /media/stick, G: /mnt/iso, H: /tmp, P: a pinned folder
  return DriveTable::Build(p, {{'P', kDriveCdrom, "/srv/cd"}});
}

TEST(VolumeInfoTest, OpticalDrives) {
  const DriveTable t = Machine();
  FakeDevices dev;
  VolumeInfo info;
  EXPECT_FALSE(GetVolumeInformation(t, "D:\\", &info, dev.Probe()));  // no medium

  dev.discs["/dev/sr0"] = kAudioDisc;
  ASSERT_TRUE(GetVolumeInformation(t, "D:\\", &info, dev.Probe()));
  EXPECT_EQ(info.label, "Audio CD");

  // A data disc, a boot record before its primary descriptor.
  dev.discs["/dev/sr0"] = kDataDisc;
  Sector boot(kSectorSize, 0);
  std::memcpy(&boot[1], "CD001", 5);
  boot[6] = 1;
  Sector pvd = SmallDescriptor();
  std::memcpy(&pvd[40], "MY DISK", 7);
  dev.sectors["/dev/sr0"][16 * 2048] = boot;
  dev.sectors["/dev/sr0"][17 * 2048] = pvd;
  ASSERT_TRUE(GetVolumeInformation(t, "d:\\DATA", &info, dev.Probe()));
  EXPECT_EQ(info.label, "MY DISK");
  EXPECT_EQ(info.serial, Iso9660Serial(pvd.data()));

  // A disc in the drive that is neither readable nor mounted cannot be checked.
  dev.discs["/dev/sr1"] = kDataDisc;
  EXPECT_FALSE(GetVolumeInformation(t, "E:\\", &info, dev.Probe()));
}

TEST(VolumeInfoTest, MountedVolumesAndPinnedFolders) {
  const DriveTable t = Machine();
  FakeDevices dev;
  VolumeInfo info;
  // A loop-mounted image read from its device.
  dev.sectors["/dev/loop3"][16 * 2048] = SmallDescriptor();
  dev.folders = {"/", "/mnt/iso", "/media/stick", "/tmp"};
  ASSERT_TRUE(GetVolumeInformation(t, "G:\\", &info, dev.Probe()));
  EXPECT_EQ(info.label, "AB");
  EXPECT_EQ(info.serial, 0x52964530u);

  // A stick: label and serial from /dev/disk.
  dev.links["/dev/disk/by-label"] = {{"OTHER", "/dev/sdc1"}, {"MY\\x20STICK", "/dev/sdb1"}};
  dev.links["/dev/disk/by-uuid"] = {{"1234-ABCD", "/dev/sdb1"}};
  ASSERT_TRUE(GetVolumeInformation(t, "F:\\", &info, dev.Probe()));
  EXPECT_EQ(info.label, "MY STICK");
  EXPECT_EQ(info.serial, 0x1234ABCDu);

  // No label, no UUID: a serial that stays the same from run to run.
  ASSERT_TRUE(GetVolumeInformation(t, "H:\\", &info, dev.Probe()));
  EXPECT_EQ(info.label, "");
  const uint32_t ram = info.serial;
  ASSERT_TRUE(GetVolumeInformation(Machine(), "H:\\", &info, dev.Probe()));
  EXPECT_EQ(info.serial, ram);
  ASSERT_TRUE(GetVolumeInformation(t, "C:\\", &info, dev.Probe()));
  EXPECT_NE(info.serial, ram);

  // A pinned folder counts only while it is there.
  EXPECT_FALSE(GetVolumeInformation(t, "P:\\", &info, dev.Probe()));
  dev.folders.push_back("/srv/cd");
  EXPECT_TRUE(GetVolumeInformation(t, "P:\\", &info, dev.Probe()));

  EXPECT_FALSE(GetVolumeInformation(t, "Q:\\", &info, dev.Probe()));
  EXPECT_FALSE(GetVolumeInformation(t, "/:\\", &info, dev.Probe()));
  EXPECT_FALSE(GetVolumeInformation(t, "", &info, dev.Probe()));
}

TEST(VolumeInfoTest, ThisMachinesRootAnswersTheSameTwice) {
  TempTree tree;
  Registry reg(tree.Path("r.reg"));
  const DriveTable t = DriveTable::System(reg);
  VolumeInfo a, b;
  ASSERT_TRUE(GetVolumeInformation(t, "C:\\", &a));
  ASSERT_TRUE(GetVolumeInformation(DriveTable::System(reg), "C:\\", &b));
  EXPECT_EQ(a.serial, b.serial);
  EXPECT_EQ(a.label, b.label);
}

}  // namespace
}  // namespace platform
