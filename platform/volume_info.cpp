#include "platform/volume_info.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace platform {
namespace {

// The volume descriptors start at sector 16; a handful precede the
// terminator on any disc.
constexpr int kFirstDescriptor = 16;
constexpr int kMaxDescriptors = 32;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool SystemReadSector(const std::string& device, int64_t offset, uint8_t* out) {
  int fd;
  do {
    fd = open(device.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  std::size_t got = 0;
  while (got < kSectorSize) {
    const ssize_t n = pread(fd, out + got, kSectorSize - got, static_cast<off_t>(offset) + static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  close(fd);
  return got == kSectorSize;
}

int SystemDiscStatus(const std::string& device) {
  const int fd = open(device.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return kNoDisc;
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
  if (!probe.readSector) return false;
  uint8_t sector[kSectorSize];
  for (int i = 0; i < kMaxDescriptors; ++i) {
    const int64_t offset = static_cast<int64_t>(kFirstDescriptor + i) * static_cast<int64_t>(kSectorSize);
    if (!probe.readSector(device, offset, sector)) return false;
    if (std::memcmp(sector + 1, "CD001", 5) != 0) return false;
    if (IsPrimaryVolumeDescriptor(sector)) {
      info->label = Iso9660Label(sector);
      info->serial = Iso9660Serial(sector);
      return true;
    }
    if (sector[0] == 255) return false;  // the set ends without a primary descriptor
  }
  return false;
}

// The name under which a folder of /dev/disk lists the device.
std::string LinkNameOf(const VolumeProbe& probe, const std::string& folder, const std::string& device) {
  if (!probe.links || device.empty()) return {};
  const std::string target = probe.canonical ? probe.canonical(device) : device;
  for (const auto& [name, path] : probe.links(folder)) {
    if (path == target) return name;
  }
  return {};
}

}  // namespace

VolumeProbe VolumeProbe::System() {
  VolumeProbe p;
  p.readSector = SystemReadSector;
  p.discStatus = SystemDiscStatus;
  p.links = SystemLinks;
  p.isFolder = IsEnterableFolder;
  p.canonical = CanonicalPath;
  return p;
}

bool IsPrimaryVolumeDescriptor(const uint8_t* sector) {
  return sector[0] == 1 && std::memcmp(sector + 1, "CD001", 5) == 0 && sector[6] == 1;
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
    if (HexValue(c) < 0) return StableHash(uuid);
    digits.push_back(c);
  }
  if (digits.empty() || (digits.size() > 8 && digits.size() != 16)) return StableHash(uuid);
  if (digits.size() == 16) digits = digits.substr(8);
  uint32_t v = 0;
  for (const char c : digits) v = v * 16 + static_cast<uint32_t>(HexValue(c));
  return v;
}

std::string UnescapeDeviceName(std::string_view name) {
  std::string out;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '\\' && name.size() - i >= 4 && name[i + 1] == 'x' && HexValue(name[i + 2]) >= 0 &&
        HexValue(name[i + 3]) >= 0) {
      out.push_back(static_cast<char>(HexValue(name[i + 2]) * 16 + HexValue(name[i + 3])));
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

  if (d->optical) {
    const int status = probe.discStatus ? probe.discStatus(d->device) : kNoDisc;
    if (status == kNoDisc) return false;
    if (status == kAudioDisc) {
      info->label = "Audio CD";
      info->serial = 0;
      return true;
    }
  }
  if (!d->device.empty() && (d->optical || d->fsType == "iso9660" || d->fsType == "udf")) {
    if (ReadIso9660(probe, d->device, info)) return true;
  }

  // Nothing to be read from the device itself: the drive's folder must be
  // there for the volume to count as present.
  if (d->path.empty() || !probe.isFolder || !probe.isFolder(d->path)) return false;
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
