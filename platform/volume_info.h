#pragma once
// The label and 32-bit serial number of the volume behind a drive letter.
//
// An ISO 9660 disc is read from its device when that can be read, through
// the volume descriptor that Windows mounts: the Joliet supplementary
// descriptor when the disc has one, otherwise the primary one. The label is
// that descriptor's volume identifier (UCS-2 on a Joliet disc, given here as
// UTF-8) and the serial number its checksum, as Windows reports them, so
// disks keep the serial numbers of files written there. A UDF disc without
// ISO 9660 descriptors is read from its device as well: the label is its
// logical volume identifier, the serial the same sums over its primary
// volume descriptor (a rule of our own: the same disc, the same serial).
// Otherwise the label comes
// from /dev/disk/by-label and the serial from the file system's UUID, or,
// without one, from what names the volume (type, device, folder), so that it
// stays the same across runs. An optical drive holding an audio disc without
// a data track reports "Audio CD"; a drive without a medium fails. A disc
// whose device this user may not open (no "cdrom" group, no ACL) but whose
// folder is mounted and can be entered is there all the same: its label
// comes from /dev/disk/by-label, and its serial is unknown.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/drive_table.h"

namespace platform {

inline constexpr std::size_t kSectorSize = 2048;

// kDeviceDenied: the device cannot be opened by this user, so nothing is
// known of its medium.
enum DiscStatus : int { kNoDisc = 0, kDataDisc = 1, kAudioDisc = 2, kDeviceDenied = 3 };

// What the query reads; the system's by default, fakes in tests.
class VolumeProbe {
 public:
  virtual ~VolumeProbe() = default;
  // Reads kSectorSize bytes of the device at the offset; false when it cannot.
  virtual bool ReadSector(const std::string& device, int64_t offset, uint8_t* out) const = 0;
  // The disc in an optical drive (a DiscStatus).
  virtual int DiscStatus(const std::string& device) const = 0;
  // The links of a folder such as /dev/disk/by-label: name and the path the
  // link leads to, resolved.
  virtual std::vector<std::pair<std::string, std::string>> Links(const std::string& folder) const = 0;
  virtual bool IsFolder(const std::string& path) const = 0;
  virtual std::string Canonical(const std::string& path) const = 0;

  // The system's devices and folders.
  static const VolumeProbe& System();
};

struct VolumeInfo {
  std::string label;
  uint32_t serial = 0;
  // False when the serial would have to be read from a device this user may
  // not open; serial is 0 then.
  bool serialKnown = true;
};

// root: "D:\" (a start folder such as "D:\DATA" is asked by its first letter).
bool GetVolumeInformation(const DriveTable& table, std::string_view root, VolumeInfo* info,
                          const VolumeProbe& probe = VolumeProbe::System());

// The label under which /dev/disk/by-label names a device; empty when it is
// not listed there. Reads nothing of the medium itself.
std::string DeviceLabel(const std::string& device, const VolumeProbe& probe = VolumeProbe::System());

// A primary volume descriptor (type 1, "CD001"), 2048 bytes.
bool IsPrimaryVolumeDescriptor(const uint8_t* sector);
// A Joliet supplementary volume descriptor: type 2 with the escape sequence
// of UCS-2 level 1, 2 or 3 ("%/@", "%/C", "%/E").
bool IsJolietVolumeDescriptor(const uint8_t* sector);
// The volume identifier without its trailing blanks.
std::string Iso9660Label(const uint8_t* descriptor);
// The volume identifier of a Joliet descriptor (16 UCS-2 characters, big
// endian) as UTF-8, without its trailing blanks.
std::string JolietLabel(const uint8_t* descriptor);
// Four byte-wide sums over the descriptor's 512 words, one per byte position,
// the sum of the first bytes in the top byte of the serial.
uint32_t Iso9660Serial(const uint8_t* descriptor);
// A file system UUID as a serial: "1234-ABCD" (FAT) is that number; a
// 16-digit one (NTFS) gives its low 32 bits; any other is hashed.
uint32_t SerialFromUuid(std::string_view uuid);
// Undoes the \xNN escapes of the names in /dev/disk/by-label.
std::string UnescapeDeviceName(std::string_view name);
// FNV-1a: a stable 32-bit hash.
uint32_t StableHash(std::string_view text);

}  // namespace platform
