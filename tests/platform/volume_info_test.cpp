#include "platform/volume_info.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "records/disk_info_store.h"
#include "tests/support/fake_drive_probe.h"
#include "tests/support/file_bytes.h"
#include "tests/support/iso_image.h"
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

// Devices and folders made up for the query: sectors by device and offset,
// the disc in each optical drive, the links of /dev/disk, existing folders.
class FakeDevices : public VolumeProbe {
 public:
  std::map<std::string, std::map<int64_t, Sector>> sectors;
  std::map<std::string, int> discs;
  std::map<std::string, std::vector<std::pair<std::string, std::string>>> links;
  std::vector<std::string> folders;

  bool ReadSector(const std::string& dev, int64_t offset, uint8_t* out) const override {
    auto d = sectors.find(dev);
    if (d == sectors.end()) return false;
    auto s = d->second.find(offset);
    if (s == d->second.end()) {
      std::memset(out, 0, kSectorSize);  // readable, but no descriptor there
      return true;
    }
    std::memcpy(out, s->second.data(), kSectorSize);
    return true;
  }
  int DiscStatus(const std::string& dev) const override {
    const auto it = discs.find(dev);
    return it == discs.end() ? kNoDisc : it->second;
  }
  std::vector<std::pair<std::string, std::string>> Links(const std::string& folder) const override {
    const auto it = links.find(folder);
    return it == links.end() ? std::vector<std::pair<std::string, std::string>>{} : it->second;
  }
  bool IsFolder(const std::string& path) const override {
    return std::find(folders.begin(), folders.end(), path) != folders.end();
  }
  std::string Canonical(const std::string& path) const override {
    return path == "/dev/cdrom" ? std::string("/dev/sr0") : path;
  }
};

DriveTable Machine() {
  testing_support::FakeDriveProbe p;
  p.mountTable =
      "/dev/vda1 / ext4 rw 0 0\n"
      "/dev/loop3 /mnt/iso iso9660 ro 0 0\n"
      "/dev/sdb1 /media/stick vfat rw 0 0\n"
      "tmpfs /tmp tmpfs rw 0 0\n";
  p.optical = {"/dev/sr0", "/dev/sr1"};
  p.removable = {"/dev/sdb1"};
  // C: /, D: sr0, E: sr1, F: /media/stick, G: /mnt/iso, H: /tmp, P: a pinned folder
  return DriveTable::Build(p, {{'P', kDriveCdrom, "/srv/cd"}});
}

TEST(VolumeInfoTest, OpticalDrives) {
  const DriveTable t = Machine();
  FakeDevices dev;
  VolumeInfo info;
  EXPECT_FALSE(GetVolumeInformation(t, "D:\\", &info, dev));  // no medium

  dev.discs["/dev/sr0"] = kAudioDisc;
  ASSERT_TRUE(GetVolumeInformation(t, "D:\\", &info, dev));
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
  ASSERT_TRUE(GetVolumeInformation(t, "d:\\DATA", &info, dev));
  EXPECT_EQ(info.label, "MY DISK");
  EXPECT_EQ(info.serial, Iso9660Serial(pvd.data()));

  // A disc in the drive that is neither readable nor mounted cannot be checked.
  dev.discs["/dev/sr1"] = kDataDisc;
  EXPECT_FALSE(GetVolumeInformation(t, "E:\\", &info, dev));
}

// A user without the right to open the drive's device (no "cdrom" group, no
// ACL) still reads a mounted disc through its folder: the disc is there, its
// label is the one /dev/disk/by-label gives, and its serial is unknown. Only
// a medium that is mounted where the folder can be entered counts.
TEST(VolumeInfoTest, AMountedDiscWhoseDeviceCannotBeOpenedIsThereWithoutItsSerial) {
  testing_support::FakeDriveProbe p;
  p.mountTable =
      "/dev/vda1 / ext4 rw 0 0\n"
      "/dev/sr0 /media/user/MY_DISC iso9660 ro,nosuid,nodev 0 0\n";
  p.optical = {"/dev/sr0", "/dev/sr1"};
  const DriveTable t = DriveTable::Build(p, {});
  ASSERT_NE(t.Find('D'), nullptr);
  ASSERT_EQ(t.Find('D')->device, "/dev/sr0");
  FakeDevices dev;
  dev.discs["/dev/sr0"] = kDeviceDenied;
  dev.discs["/dev/sr1"] = kDeviceDenied;
  dev.links["/dev/disk/by-label"] = {{"MY_DISC", "/dev/sr0"}};
  // Descriptors on the device would give a serial, but they cannot be read.
  dev.sectors["/dev/sr0"][16 * 2048] = SmallDescriptor();
  VolumeInfo info;
  info.serial = 77;

  EXPECT_FALSE(GetVolumeInformation(t, "D:\\", &info, dev)) << "not there until its folder can be entered";
  dev.folders = {"/", "/media/user/MY_DISC"};
  ASSERT_TRUE(GetVolumeInformation(t, "D:\\DATA", &info, dev));
  EXPECT_EQ(info.label, "MY_DISC");
  EXPECT_EQ(info.serial, 0u);
  EXPECT_FALSE(info.serialKnown);
  // The other drive holds nothing that is mounted.
  EXPECT_FALSE(GetVolumeInformation(t, "E:\\", &info, dev));

  // With the right to open it, the serial is the descriptor's again.
  dev.discs["/dev/sr0"] = kDataDisc;
  ASSERT_TRUE(GetVolumeInformation(t, "D:\\", &info, dev));
  EXPECT_TRUE(info.serialKnown);
  EXPECT_EQ(info.serial, Iso9660Serial(SmallDescriptor().data()));
}

TEST(VolumeInfoTest, MountedVolumesAndPinnedFolders) {
  const DriveTable t = Machine();
  FakeDevices dev;
  VolumeInfo info;
  // A loop-mounted image read from its device.
  dev.sectors["/dev/loop3"][16 * 2048] = SmallDescriptor();
  dev.folders = {"/", "/mnt/iso", "/media/stick", "/tmp"};
  ASSERT_TRUE(GetVolumeInformation(t, "G:\\", &info, dev));
  EXPECT_EQ(info.label, "AB");
  EXPECT_EQ(info.serial, 0x52964530u);

  // A stick: label and serial from /dev/disk.
  dev.links["/dev/disk/by-label"] = {{"OTHER", "/dev/sdc1"}, {"MY\\x20STICK", "/dev/sdb1"}};
  dev.links["/dev/disk/by-uuid"] = {{"1234-ABCD", "/dev/sdb1"}};
  ASSERT_TRUE(GetVolumeInformation(t, "F:\\", &info, dev));
  EXPECT_EQ(info.label, "MY STICK");
  EXPECT_EQ(info.serial, 0x1234ABCDu);

  // No label, no UUID: a serial that stays the same from run to run.
  ASSERT_TRUE(GetVolumeInformation(t, "H:\\", &info, dev));
  EXPECT_EQ(info.label, "");
  const uint32_t ram = info.serial;
  ASSERT_TRUE(GetVolumeInformation(Machine(), "H:\\", &info, dev));
  EXPECT_EQ(info.serial, ram);
  ASSERT_TRUE(GetVolumeInformation(t, "C:\\", &info, dev));
  EXPECT_NE(info.serial, ram);

  // A pinned folder counts only while it is there.
  EXPECT_FALSE(GetVolumeInformation(t, "P:\\", &info, dev));
  dev.folders.push_back("/srv/cd");
  EXPECT_TRUE(GetVolumeInformation(t, "P:\\", &info, dev));

  EXPECT_FALSE(GetVolumeInformation(t, "Q:\\", &info, dev));
  EXPECT_FALSE(GetVolumeInformation(t, "/:\\", &info, dev));
  EXPECT_FALSE(GetVolumeInformation(t, "", &info, dev));
}

// The lane sums worked out afresh over one sector of an image file.
uint32_t LaneSums(const std::string& image, int sector) {
  const std::string bytes = testing_support::ReadBytes(image);
  uint32_t lanes[4] = {0, 0, 0, 0};
  for (int i = 0; i < 2048; ++i) lanes[i % 4] += static_cast<uint8_t>(bytes.at(static_cast<std::size_t>(sector) * 2048 + i));
  return (lanes[0] & 0xFF) << 24 | (lanes[1] & 0xFF) << 16 | (lanes[2] & 0xFF) << 8 | (lanes[3] & 0xFF);
}

// Where genisoimage put its descriptors: the primary one, and the Joliet one
// (0 when there is none).
std::pair<int, int> DescriptorSectors(const std::string& image) {
  const std::string bytes = testing_support::ReadBytes(image);
  int primary = 0, joliet = 0;
  for (int s = 16; s < 32 && bytes.size() >= static_cast<std::size_t>(s + 1) * 2048; ++s) {
    const std::string d = bytes.substr(static_cast<std::size_t>(s) * 2048, 2048);
    if (d.compare(1, 5, "CD001") != 0 || d[0] == '\xff') break;
    if (d[0] == 1 && primary == 0) primary = s;
    if (d[0] == 2 && d.compare(88, 2, "%/") == 0) joliet = s;
  }
  return {primary, joliet};
}

// Discs made by genisoimage, in an optical drive whose device reads the
// image's bytes, as the volume query finds them on a real drive.
TEST(VolumeInfoTest, DiscImagesAreNamedAndNumberedByTheDescriptorWindowsMounts) {
  TempTree tree;
  tree.File("content/README.TXT", 5000);
  tree.File("content/DATA/BIG.BIN", 70'000);
  struct Case {
    std::vector<std::string> options;
    std::string label;
    bool joliet;
  };
  const std::vector<Case> cases = {
      {{"-V", "PLAIN DISC"}, "PLAIN DISC", false},
      {{"-J", "-V", "JOLIET DISC"}, "JOLIET DISC", true},
      // The primary descriptor holds all 27 characters; Joliet holds 16.
      {{"-J", "-V", "A LABEL LONGER THAN SIXTEEN"}, "A LABEL LONGER T", true},
      {{"-J", "-V", "DISC]2 50%d"}, "DISC]2 50%d", true},
      {{"-J", "-V", "Диск «Лето»"}, "Диск «Лето»", true},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string image = tree.Path("disc" + std::to_string(++n) + ".iso");
    std::string why;
    if (!testing_support::MakeIsoImage(tree.Path("content"), c.options, image, &why)) {
      GTEST_SKIP() << why;
    }
    testing_support::FakeDriveProbe machine;
    machine.mountTable = "/dev/vda1 / ext4 rw 0 0\n";
    machine.optical = {image};
    const DriveTable t = DriveTable::Build(machine, {});
    ASSERT_TRUE(t.Find('D') != nullptr && t.Find('D')->optical);

    VolumeInfo info;
    ASSERT_TRUE(GetVolumeInformation(t, "D:\\", &info)) << c.label;
    EXPECT_EQ(info.label, c.label);
    const auto [primary, joliet] = DescriptorSectors(image);
    ASSERT_NE(primary, 0);
    ASSERT_EQ(joliet != 0, c.joliet) << c.label;
    EXPECT_EQ(info.serial, LaneSums(image, c.joliet ? joliet : primary)) << c.label;
    if (c.joliet) {
      EXPECT_NE(info.serial, LaneSums(image, primary)) << c.label;
    }

    // The disk info file finds the disc again by that serial, whatever its label holds.
    records::DiskInfoStore store;
    store.SetFolder(tree.Root());
    ASSERT_EQ(store.OpenStore("Torvex" + std::to_string(n) + ".tvd"), 0);
    engine::DiskState disk;
    disk.label = info.label;
    disk.serial = info.serial;
    disk.filesTotal = 2;
    ASSERT_EQ(store.AddDisk(disk), 0);
    ASSERT_EQ(store.UpdateDisk(disk), 0);
    records::ResumeRecord r;
    ASSERT_EQ(store.ReadRecord(0, &r, info.serial), 0) << c.label;
    EXPECT_EQ(r.filesTotal, 2);
  }
}

// A UDF-only disc (a bridge disc whose ISO 9660 descriptors are taken out):
// not "no disc", but named by its logical volume identifier and numbered by
// the sums over its primary volume descriptor; a damaged descriptor
// sequence names nothing.
TEST(VolumeInfoTest, UdfOnlyDiscsAreNamedAndNumberedByTheirUdfDescriptors) {
  TempTree tree;
  tree.File("content/README.TXT", 5000);
  int n = 0;
  for (const std::string label : {"UDF DISC", "Диск «Лето»"}) {
    const std::string image = tree.Path("udf" + std::to_string(++n) + ".iso");
    std::string why;
    if (!testing_support::MakeIsoImage(tree.Path("content"), {"-udf", "-V", label}, image, &why)) GTEST_SKIP() << why;
    std::string bytes = testing_support::ReadBytes(image);
    // Only the UDF recognition sequence stays, moved up to sector 16.
    std::string area;
    for (int s = 16; s < 32; ++s) {
      const std::string d = bytes.substr(static_cast<std::size_t>(s) * 2048, 2048);
      if (d.compare(1, 5, "BEA01") == 0 || d.compare(1, 5, "NSR02") == 0 || d.compare(1, 5, "TEA01") == 0) area += d;
    }
    ASSERT_EQ(area.size(), 3u * 2048);
    area.resize(16 * 2048, '\0');
    bytes.replace(16 * 2048, area.size(), area);
    // The primary volume descriptor: where the anchor at sector 256 points.
    uint32_t sequence = 0;
    std::memcpy(&sequence, bytes.data() + 256 * 2048 + 20, 4);
    ASSERT_EQ(bytes[sequence * 2048], 1);
    {
      std::ofstream out(image, std::ios::binary | std::ios::trunc);
      out << bytes;
    }
    testing_support::FakeDriveProbe machine;
    machine.mountTable = "/dev/vda1 / ext4 rw 0 0\n";
    machine.optical = {image};
    const DriveTable t = DriveTable::Build(machine, {});
    VolumeInfo info;
    ASSERT_TRUE(GetVolumeInformation(t, "D:\\", &info)) << label;
    EXPECT_EQ(info.label, label);
    EXPECT_EQ(info.serial, LaneSums(image, static_cast<int>(sequence))) << label;
    VolumeInfo again;
    ASSERT_TRUE(GetVolumeInformation(t, "D:\\", &again));
    EXPECT_EQ(again.serial, info.serial);

    // A broken anchor: nothing to name the disc by.
    bytes[256 * 2048 + 4] ^= 1;
    {
      std::ofstream out(image, std::ios::binary | std::ios::trunc);
      out << bytes;
    }
    EXPECT_FALSE(GetVolumeInformation(t, "D:\\", &info)) << label;
  }
}

TEST(VolumeInfoTest, JolietLabelsAreUcs2BigEndian) {
  Sector d(kSectorSize, 0);
  d[0] = 2;
  std::memcpy(&d[1], "CD001", 5);
  d[6] = 1;
  std::memcpy(&d[88], "%/@", 3);
  ASSERT_TRUE(IsJolietVolumeDescriptor(d.data()));
  const uint16_t text[16] = {'A', 0x00E9, 0x20AC, 0xD83D, 0xDCBF, 0xDC00, ' ', 'Z', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
  for (int i = 0; i < 16; ++i) {
    d[40 + 2 * i] = static_cast<uint8_t>(text[i] >> 8);
    d[41 + 2 * i] = static_cast<uint8_t>(text[i]);
  }
  // A pair of surrogates is one character; a lone one is replaced.
  EXPECT_EQ(JolietLabel(d.data()), "A\u00e9\u20ac\U0001F4BF\uFFFD Z");
  d[90] = 'X';  // no escape sequence of UCS-2: a supplementary descriptor of another kind
  EXPECT_FALSE(IsJolietVolumeDescriptor(d.data()));
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
