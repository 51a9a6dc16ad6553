#include "platform/volume_info.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/ascii.h"
#include "platform/file_io.h"
#include "platform/whole_file.h"

namespace platform {
namespace {

// The volume descriptors start at sector 16; a handful precede the
// terminator on any disc.
constexpr int kFirstDescriptor = 16;
constexpr int kMaxDescriptors = 32;

int SystemDiscStatus(const std::string& device) {
  const int fd = OpenRetrying(device, O_RDONLY | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return errno == EACCES || errno == EPERM ? kDeviceDenied : kNoDisc;
  int result = kDataDisc;
  const int drive = ioctl(fd, CDROM_DRIVE_STATUS, CDSL_CURRENT);
  if (drive == CDS_NO_DISC || drive == CDS_TRAY_OPEN || drive == CDS_DRIVE_NOT_READY) {
    result = kNoDisc;
  } else {
    switch (ioctl(fd, CDROM_DISC_STATUS, 0)) {
      case CDS_AUDIO:
        result = kAudioDisc;
        break;
      case CDS_NO_DISC:
        result = kNoDisc;
        break;
      default:
        // Data, mixed, or nothing known: the descriptors will tell.
        break;
    }
  }
  close(fd);
  return result;
}

std::vector<std::pair<std::string, std::string>> SystemLinks(const std::string& folder) {
  std::vector<std::pair<std::string, std::string>> out;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return out;
  while (const dirent* e = readdir(dir)) {
    if (e->d_name[0] == '.') continue;
    const std::string path = folder + "/" + e->d_name;
    if (char* real = realpath(path.c_str(), nullptr); real != nullptr) {
      out.emplace_back(e->d_name, real);
      std::free(real);
    }
  }
  closedir(dir);
  return out;
}

bool ReadIso9660(const VolumeProbe& probe, const std::string& device, VolumeInfo* info) {
  uint8_t sector[kSectorSize];
  uint8_t primary[kSectorSize];
  bool havePrimary = false;
  for (int i = 0; i < kMaxDescriptors; ++i) {
    const int64_t offset = static_cast<int64_t>(kFirstDescriptor + i) * static_cast<int64_t>(kSectorSize);
    if (!probe.ReadSector(device, offset, sector)) break;
    if (std::memcmp(sector + 1, "CD001", 5) != 0) break;
    if (IsJolietVolumeDescriptor(sector)) {
      // Windows mounts the Joliet tree, and names and numbers the volume by
      // its descriptor.
      info->label = JolietLabel(sector);
      info->serial = Iso9660Serial(sector);
      return true;
    }
    if (!havePrimary && IsPrimaryVolumeDescriptor(sector)) {
      std::memcpy(primary, sector, kSectorSize);
      havePrimary = true;
    }
    if (sector[0] == 255) break;  // the set terminator
  }
  if (!havePrimary) return false;
  info->label = Iso9660Label(primary);
  info->serial = Iso9660Serial(primary);
  return true;
}

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

// The identifier of a UDF descriptor tag that is whole: its checksum holds
// and it names the sector it was read from; 0 otherwise.
unsigned UdfTag(const uint8_t* sector, uint32_t where) {
  uint8_t sum = 0;
  for (int i = 0; i < 16; ++i)
    if (i != 4) sum = static_cast<uint8_t>(sum + sector[i]);
  if (sum != sector[4] || Le32(sector + 12) != where) return 0;
  return static_cast<unsigned>(sector[0]) | static_cast<unsigned>(sector[1]) << 8;
}

// A dstring of UDF (compression 8: one byte a character, 16: UCS-2 big
// endian; its last byte the length used) as UTF-8, without trailing blanks.
std::string UdfText(const uint8_t* field, std::size_t size) {
  const std::size_t used = std::min<std::size_t>(field[size - 1], size - 1);
  std::vector<uint32_t> chars;
  if (used > 0 && field[0] == 8) {
    for (std::size_t i = 1; i < used; ++i) chars.push_back(field[i]);
  } else if (used > 0 && field[0] == 16) {
    for (std::size_t i = 1; i + 1 < used; i += 2) chars.push_back(uint32_t{field[i]} << 8 | field[i + 1]);
  }
  while (!chars.empty() && (chars.back() == ' ' || chars.back() == 0)) chars.pop_back();
  std::string out;
  for (uint32_t c : chars) {
    if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | c >> 6));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xE0 | c >> 12));
      out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

// A UDF disc without ISO 9660 descriptors: the anchor at sector 256 points
// at the main volume descriptor sequence. The label is the logical volume
// identifier; the serial the four byte-wide sums over the primary volume
// descriptor (the logical one when there is none), which hold the disc's
// recording time and volume set identifier: the same disc gives the same
// serial every time.
bool ReadUdf(const VolumeProbe& probe, const std::string& device, VolumeInfo* info) {
  constexpr uint32_t kAnchorSector = 256;
  constexpr uint32_t kMaxSequence = 64;
  uint8_t sector[kSectorSize];
  if (!probe.ReadSector(device, int64_t{kAnchorSector} * kSectorSize, sector) || UdfTag(sector, kAnchorSector) != 2) {
    return false;
  }
  const uint32_t location = Le32(sector + 20);
  const uint32_t count = std::min<uint32_t>(Le32(sector + 16) / kSectorSize, kMaxSequence);
  uint8_t primary[kSectorSize];
  uint8_t logical[kSectorSize];
  bool havePrimary = false, haveLogical = false;
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t where = location + i;
    if (!probe.ReadSector(device, int64_t{where} * kSectorSize, sector)) break;
    const unsigned tag = UdfTag(sector, where);
    if (tag == 0 || tag == 8) break;  // the end of the sequence
    if (tag == 1 && !havePrimary) {
      std::memcpy(primary, sector, kSectorSize);
      havePrimary = true;
    } else if (tag == 6 && !haveLogical) {
      std::memcpy(logical, sector, kSectorSize);
      haveLogical = true;
    }
  }
  if (!haveLogical) return false;
  info->label = UdfText(logical + 84, 128);
  info->serial = Iso9660Serial(havePrimary ? primary : logical);
  return true;
}

// The name under which a folder of /dev/disk lists the device.
std::string LinkNameOf(const VolumeProbe& probe, const std::string& folder, const std::string& device) {
  if (device.empty()) return {};
  const std::string target = probe.Canonical(device);
  for (const auto& [name, path] : probe.Links(folder)) {
    if (path == target) return name;
  }
  return {};
}

class SystemVolumeProbe : public VolumeProbe {
 public:
  bool ReadSector(const std::string& device, int64_t offset, uint8_t* out) const override {
    return ReadAt(device, offset, out, kSectorSize) == kFileOk;
  }
  int DiscStatus(const std::string& device) const override { return SystemDiscStatus(device); }
  std::vector<std::pair<std::string, std::string>> Links(const std::string& folder) const override {
    return SystemLinks(folder);
  }
  bool IsFolder(const std::string& path) const override { return IsEnterableFolder(path); }
  std::string Canonical(const std::string& path) const override { return CanonicalPath(path); }
};

}  // namespace

const VolumeProbe& VolumeProbe::System() {
  static const SystemVolumeProbe probe;
  return probe;
}

bool IsPrimaryVolumeDescriptor(const uint8_t* sector) {
  return sector[0] == 1 && std::memcmp(sector + 1, "CD001", 5) == 0 && sector[6] == 1;
}

bool IsJolietVolumeDescriptor(const uint8_t* sector) {
  if (sector[0] != 2 || std::memcmp(sector + 1, "CD001", 5) != 0) return false;
  const uint8_t* escape = sector + 88;
  return escape[0] == '%' && escape[1] == '/' && (escape[2] == '@' || escape[2] == 'C' || escape[2] == 'E');
}

std::string JolietLabel(const uint8_t* descriptor) {
  // 32 bytes: 16 UCS-2 characters, big endian. Surrogate pairs are taken as
  // UTF-16 would take them; a lone surrogate becomes U+FFFD.
  std::vector<uint32_t> chars;
  const uint8_t* id = descriptor + 40;
  for (int i = 0; i < 16; ++i) {
    uint32_t c = static_cast<uint32_t>(id[2 * i]) << 8 | id[2 * i + 1];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < 16) {
      const uint32_t low = static_cast<uint32_t>(id[2 * i + 2]) << 8 | id[2 * i + 3];
      if (low >= 0xDC00 && low <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      } else {
        c = 0xFFFD;
      }
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    chars.push_back(c);
  }
  if (const auto zero = std::find(chars.begin(), chars.end(), 0u); zero != chars.end()) chars.erase(zero, chars.end());
  while (!chars.empty() && chars.back() == ' ') chars.pop_back();
  std::string out;
  for (const uint32_t c : chars) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | c >> 6));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | c >> 12));
      out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | c >> 18));
      out.push_back(static_cast<char>(0x80 | (c >> 12 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

std::string Iso9660Label(const uint8_t* descriptor) {
  std::string label(reinterpret_cast<const char*>(descriptor + 40), 32);
  while (!label.empty() && (label.back() == ' ' || label.back() == '\0')) label.pop_back();
  if (const std::size_t zero = label.find('\0'); zero != std::string::npos) label.resize(zero);
  return label;
}

uint32_t Iso9660Serial(const uint8_t* descriptor) {
  // Each sum is one byte wide and wraps on its own; carries never cross into
  // the neighbouring byte.
  uint8_t sum[4] = {0, 0, 0, 0};
  for (std::size_t i = 0; i < kSectorSize; i += 4) {
    for (std::size_t b = 0; b < 4; ++b) sum[b] = static_cast<uint8_t>(sum[b] + descriptor[i + b]);
  }
  return static_cast<uint32_t>(sum[0]) << 24 | static_cast<uint32_t>(sum[1]) << 16 |
         static_cast<uint32_t>(sum[2]) << 8 | static_cast<uint32_t>(sum[3]);
}

uint32_t StableHash(std::string_view text) {
  uint32_t h = 2166136261u;
  for (const char c : text) {
    h ^= static_cast<uint8_t>(c);
    h *= 16777619u;
  }
  return h;
}

uint32_t SerialFromUuid(std::string_view uuid) {
  std::string digits;
  for (const char c : uuid) {
    if (c == '-') continue;
    if (HexDigitValue(c) < 0) return StableHash(uuid);
    digits.push_back(c);
  }
  if (digits.empty() || (digits.size() > 8 && digits.size() != 16)) return StableHash(uuid);
  if (digits.size() == 16) digits = digits.substr(8);
  uint32_t v = 0;
  for (const char c : digits) v = v * 16 + static_cast<uint32_t>(HexDigitValue(c));
  return v;
}

std::string UnescapeDeviceName(std::string_view name) {
  std::string out;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '\\' && name.size() - i >= 4 && name[i + 1] == 'x' && HexDigitValue(name[i + 2]) >= 0 &&
        HexDigitValue(name[i + 3]) >= 0) {
      out.push_back(static_cast<char>(HexDigitValue(name[i + 2]) * 16 + HexDigitValue(name[i + 3])));
      i += 3;
    } else {
      out.push_back(name[i]);
    }
  }
  return out;
}

std::string DeviceLabel(const std::string& device, const VolumeProbe& probe) {
  return UnescapeDeviceName(LinkNameOf(probe, "/dev/disk/by-label", device));
}

bool GetVolumeInformation(const DriveTable& table, std::string_view root, VolumeInfo* info,
                          const VolumeProbe& probe) {
  if (root.empty() || info == nullptr) return false;
  const Drive* d = table.Find(root[0]);
  if (d == nullptr || d->kind == kDriveNoRoot) return false;

  info->serialKnown = true;
  if (d->optical) {
    const int status = probe.DiscStatus(d->device);
    if (status == kNoDisc) return false;
    if (status == kAudioDisc) {
      info->label = "Audio CD";
      info->serial = 0;
      return true;
    }
    if (status == kDeviceDenied) {
      // A user who may not open the drive still reads the mounted disc: it
      // is there when its folder is, but the serial its descriptors give
      // cannot be read, and no other number would name the same disc.
      if (d->path.empty() || !probe.IsFolder(d->path)) return false;
      info->label = DeviceLabel(d->device, probe);
      info->serial = 0;
      info->serialKnown = false;
      return true;
    }
  }
  if (!d->device.empty() && (d->optical || d->fsType == "iso9660" || d->fsType == "udf")) {
    if (ReadIso9660(probe, d->device, info)) return true;
    if (ReadUdf(probe, d->device, info)) return true;
  }

  // Nothing to be read from the device itself: the drive's folder must be
  // there for the volume to count as present.
  if (d->path.empty() || !probe.IsFolder(d->path)) return false;
  info->label = DeviceLabel(d->device, probe);
  const std::string uuid = LinkNameOf(probe, "/dev/disk/by-uuid", d->device);
  if (!uuid.empty()) {
    info->serial = SerialFromUuid(uuid);
  } else {
    std::string name = d->fsType;
    name.push_back('\0');
    name += d->device;
    name.push_back('\0');
    name += d->path;
    info->serial = StableHash(name);
  }
  return true;
}

}  // namespace platform
