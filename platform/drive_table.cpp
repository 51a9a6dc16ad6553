#include "platform/drive_table.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <set>

#include "platform/ascii.h"
#include "platform/registry.h"
#include "platform/whole_file.h"

namespace platform {
namespace {

constexpr std::string_view kDrivesKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillon\\Torvex\\203\\Drives";

// File systems that hold no files of a volume.
const std::set<std::string, std::less<>> kPseudoFileSystems = {
    "proc",      "sysfs",     "cgroup",    "cgroup2",     "devpts",     "devtmpfs",   "mqueue",
    "debugfs",   "tracefs",   "securityfs", "pstore",     "bpf",        "configfs",   "fusectl",
    "hugetlbfs", "autofs",    "binfmt_misc", "efivarfs",  "rpc_pipefs", "nsfs",       "selinuxfs",
    "nfsd",      "rootfs",    "fuse.gvfsd-fuse", "fuse.portal", "fuse.lxcfs"};

const std::set<std::string, std::less<>> kNetworkFileSystems = {
    "nfs",        "nfs4",       "cifs",         "smb3",           "smbfs",      "ncpfs",       "afs",
    "ceph",       "glusterfs",  "9p",           "davfs",          "fuse.sshfs", "fuse.rclone", "fuse.s3fs",
    "fuse.davfs2", "fuse.curlftpfs", "fuse.gcsfuse", "fuse.glusterfs", "fuse.cephfs", "lustre",  "beegfs"};

bool Under(std::string_view path, std::string_view folder) {
  if (path == folder) return true;
  return path.size() > folder.size() && path.substr(0, folder.size()) == folder && path[folder.size()] == '/';
}

bool IsPseudo(const MountEntry& m) {
  if (kPseudoFileSystems.count(m.fsType) != 0) return true;
  if (Under(m.mountPoint, "/proc") || Under(m.mountPoint, "/sys") || Under(m.mountPoint, "/dev")) return true;
  if ((m.fsType == "tmpfs" || m.fsType == "ramfs") && Under(m.mountPoint, "/run")) return true;
  return false;
}

// A FUSE file system whose source names another machine: "user@host:/path".
bool LooksRemote(const MountEntry& m) {
  if (m.fsType.rfind("fuse", 0) != 0) return false;
  const std::size_t colon = m.source.find(':');
  return colon != std::string::npos && colon > 0 && m.source.find('/') > colon;
}

int KindOfMount(const MountEntry& m, const DriveProbe& probe) {
  if (m.fsType == "iso9660" || m.fsType == "udf") return kDriveCdrom;
  if (kNetworkFileSystems.count(m.fsType) != 0 || LooksRemote(m)) return kDriveRemote;
  if (m.fsType == "tmpfs" || m.fsType == "ramfs") return kDriveRamDisk;
  if (probe.Removable(m.source) == 1) return kDriveRemovable;
  return kDriveFixed;
}

int LetterIndex(char c) {
  c = AsciiUpper(c);
  return (c >= 'A' && c <= 'Z') ? c - 'A' : -1;
}

// "/dev/sr10" after "/dev/sr9".
bool DeviceOrder(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

int SystemRemovable(const std::string& source) {
  struct stat st {};
  if (source.empty() || source[0] != '/' || stat(source.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return -1;
  const std::string link =
      "/sys/dev/block/" + std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
  char* real = realpath(link.c_str(), nullptr);
  if (real == nullptr) return 0;
  std::string dir = real;
  std::free(real);
  // A partition answers for the whole disk it is part of.
  if (access((dir + "/partition").c_str(), F_OK) == 0) dir = dir.substr(0, dir.rfind('/'));
  std::string text;
  bool truncated = false;
  if (ReadWholeFile(dir + "/removable", 16, &text, &truncated) != kFileOk) return 0;
  return (!text.empty() && text[0] == '1') ? 1 : 0;
}

std::vector<std::string> SystemOpticalDevices() {
  std::vector<std::string> out;
  DIR* dir = opendir("/dev");
  if (dir == nullptr) return out;
  while (const dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name.size() > 2 && name.rfind("sr", 0) == 0 &&
        std::all_of(name.begin() + 2, name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      out.push_back("/dev/" + name);
    }
  }
  closedir(dir);
  return out;
}

std::string SystemMountTable() {
  std::string text;
  bool truncated = false;
  ReadWholeFile("/proc/self/mounts", std::size_t{16} << 20, &text, &truncated);
  return text;
}

// Undoes the octal escapes of the mount table (\040 for a blank).
std::string Unescape(std::string_view field) {
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && field.size() - i >= 4 && field[i + 1] >= '0' &&
        field[i + 1] <= '3' && field[i + 2] >= '0' && field[i + 2] <= '7' && field[i + 3] >= '0' &&
        field[i + 3] <= '7') {
      out.push_back(static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0')));
      i += 3;
    } else {
      out.push_back(field[i]);
    }
  }
  return out;
}

}  // namespace

std::string CanonicalPath(const std::string& path) {
  char* real = realpath(path.c_str(), nullptr);
  if (real == nullptr) return path;
  std::string out = real;
  std::free(real);
  return out;
}

bool IsEnterableFolder(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

std::vector<MountEntry> ParseMountTable(std::string_view text) {
  std::vector<MountEntry> out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    std::vector<std::string_view> fields;
    std::size_t i = 0;
    while (i < line.size() && fields.size() < 3) {
      while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
      const std::size_t start = i;
      while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
      if (i > start) fields.push_back(line.substr(start, i - start));
    }
    if (fields.size() < 3) continue;
    MountEntry m{Unescape(fields[0]), Unescape(fields[1]), std::string(fields[2])};
    if (m.mountPoint.empty() || m.mountPoint[0] != '/') continue;
    out.push_back(std::move(m));
  }
  return out;
}

namespace {

class SystemDriveProbe : public DriveProbe {
 public:
  std::string MountTable() const override { return SystemMountTable(); }
  std::vector<std::string> OpticalDevices() const override { return SystemOpticalDevices(); }
  int Removable(const std::string& source) const override { return SystemRemovable(source); }
  bool IsFolder(const std::string& path) const override { return IsEnterableFolder(path); }
  std::string Canonical(const std::string& path) const override { return CanonicalPath(path); }
};

}  // namespace

const DriveProbe& DriveProbe::System() {
  static const SystemDriveProbe probe;
  return probe;
}

std::optional<DrivePin> ParseDrivePin(char letter, std::string_view text) {
  if (LetterIndex(letter) < 0) return std::nullopt;
  DrivePin pin;
  pin.letter = AsciiUpper(letter);
  const std::size_t comma = text.find(',');
  if (comma != std::string_view::npos && comma > 0 && text[0] != '/') {
    const std::string_view kind = text.substr(0, comma);
    if (kind.size() != 1 || kind[0] < '0' || kind[0] > '6') return std::nullopt;
    pin.kind = kind[0] - '0';
    text.remove_prefix(comma + 1);
  }
  // A pin of kind 1 only keeps its letter free.
  if (pin.kind != kDriveNoRoot && (text.empty() || text[0] != '/')) return std::nullopt;
  pin.path = std::string(text);
  while (pin.path.size() > 1 && pin.path.back() == '/') pin.path.pop_back();
  return pin;
}

std::vector<DrivePin> ReadDrivePins(Registry& registry) {
  std::vector<DrivePin> pins;
  RegistryKey key;
  if (registry.OpenKey(kDrivesKey, &key) != kRegOk) return pins;
  std::vector<RegValue> values;
  if (!key.Values(&values)) return pins;
  for (const RegValue& v : values) {
    if (v.name.size() != 1 || (v.type != kRegSz && v.type != kRegExpandSz)) continue;
    std::string text(v.data.begin(), v.data.end());
    if (const std::size_t zero = text.find('\0'); zero != std::string::npos) text.resize(zero);
    if (auto pin = ParseDrivePin(v.name[0], text)) pins.push_back(*pin);
  }
  return pins;
}

// Gives the drives their letters, in four steps: the pinned letters, C: for
// the root, the optical drives, then every other real mount by its path.
class DriveTable::Lettering {
 public:
  Lettering(DriveTable& table, const DriveProbe& probe) : t_(table), probe_(probe) {
    // The mount table, the last mount on a folder hiding the ones before it.
    for (MountEntry& m : ParseMountTable(probe.MountTable())) {
      if (IsPseudo(m)) continue;
      std::erase_if(mounts_, [&](const MountEntry& o) { return o.mountPoint == m.mountPoint; });
      mounts_.push_back(std::move(m));
    }
  }

  void Pins(const std::vector<DrivePin>& pins) {
    for (const DrivePin& pin : pins) {
      const int i = LetterIndex(pin.letter);
      if (i < 0) continue;
      Drive d;
      d.letter = static_cast<char>('A' + i);
      d.kind = pin.kind;
      d.path = pin.path;
      d.pinned = true;
      for (const MountEntry& m : mounts_) {
        if (m.mountPoint == pin.path) {
          d.device = m.source;
          d.fsType = m.fsType;
        }
      }
      t_.drives_[static_cast<std::size_t>(i)] = d;
      if (!pin.path.empty()) taken_.insert(pin.path);
    }
  }

  void Root() {
    if (!t_.drives_[2].has_value() && taken_.count("/") == 0) {
      Drive c;
      c.letter = 'C';
      c.kind = kDriveFixed;
      c.path = "/";
      for (const MountEntry& m : mounts_) {
        if (m.mountPoint == "/") {
          c.device = m.source;
          c.fsType = m.fsType;
          c.kind = KindOfMount(m, probe_);
        }
      }
      t_.drives_[2] = c;
    }
    taken_.insert("/");
  }

  void Optical() {
    std::vector<std::string> optical = probe_.OpticalDevices();
    std::sort(optical.begin(), optical.end(), DeviceOrder);
    for (const std::string& dev : optical) {
      Drive d;
      d.kind = kDriveCdrom;
      d.device = dev;
      d.optical = true;
      const std::string real = probe_.Canonical(dev);
      bool pinnedPath = false;
      for (const MountEntry& m : mounts_) {
        if (probe_.Canonical(m.source) != real) continue;
        if (taken_.count(m.mountPoint) != 0) {
          pinnedPath = true;
          continue;
        }
        if (d.path.empty()) {
          d.path = m.mountPoint;
          d.fsType = m.fsType;
        }
      }
      if (pinnedPath && d.path.empty()) continue;  // a pin stands for this drive
      if (!Place(d)) break;
    }
  }

  void Mounts() {
    std::sort(mounts_.begin(), mounts_.end(),
              [](const MountEntry& a, const MountEntry& b) { return a.mountPoint < b.mountPoint; });
    for (const MountEntry& m : mounts_) {
      if (taken_.count(m.mountPoint) != 0) continue;
      const int kind = KindOfMount(m, probe_);
      // A file mounted over a file is no drive. Network mounts are not looked
      // at: a server that does not answer must not hold up the list.
      if (kind != kDriveRemote && !probe_.IsFolder(m.mountPoint)) continue;
      Drive d;
      d.kind = kind;
      d.path = m.mountPoint;
      d.device = m.source;
      d.fsType = m.fsType;
      if (!Place(d)) break;
    }
  }

 private:
  // The next free letter from D: on; false when none is left.
  bool Place(Drive d) {
    while (next_ < 26 && t_.drives_[next_].has_value()) ++next_;
    if (next_ >= 26) return false;
    d.letter = static_cast<char>('A' + next_);
    if (!d.path.empty()) taken_.insert(d.path);
    t_.drives_[next_] = std::move(d);
    return true;
  }

  DriveTable& t_;
  const DriveProbe& probe_;
  std::vector<MountEntry> mounts_;
  std::set<std::string> taken_;  // folders that have their letter
  std::size_t next_ = 3;         // D:
};

DriveTable DriveTable::Build(const DriveProbe& probe, const std::vector<DrivePin>& pins) {
  DriveTable t;
  Lettering lettering(t, probe);
  lettering.Pins(pins);
  lettering.Root();
  lettering.Optical();
  lettering.Mounts();
  return t;
}

DriveTable DriveTable::System(Registry& registry) { return Build(DriveProbe::System(), ReadDrivePins(registry)); }

DriveTable DriveTable::System() {
  Registry registry;
  return System(registry);
}

const Drive* DriveTable::Find(char letter) const {
  const int i = LetterIndex(letter);
  if (i < 0 || !drives_[static_cast<std::size_t>(i)].has_value()) return nullptr;
  return &*drives_[static_cast<std::size_t>(i)];
}

int DriveTable::GetDriveType(std::string_view root) const {
  if (root.size() < 2 || root[1] != ':' || (root.size() > 2 && (root[2] != '\\' || root.size() > 3))) {
    return kDriveNoRoot;
  }
  const Drive* d = Find(root[0]);
  return d == nullptr ? kDriveNoRoot : d->kind;
}

std::string DriveTable::GetLogicalDriveStrings() const {
  std::string out;
  for (const auto& d : drives_) {
    if (!d.has_value() || d->kind == kDriveNoRoot) continue;
    out.push_back(d->letter);
    out += ":\\";
    out.push_back('\0');
  }
  out.push_back('\0');
  return out;
}

std::string DriveTable::ToNativePath(std::string_view path) const {
  if (path.size() < 2 || path[1] != ':') return {};
  const Drive* d = Find(path[0]);
  if (d == nullptr || d->kind == kDriveNoRoot || d->path.empty()) return {};
  std::string_view rest = path.substr(2);
  while (!rest.empty() && rest.front() == '\\') rest.remove_prefix(1);
  if (rest.empty()) return d->path;
  std::string out = d->path == "/" ? "" : d->path;
  out.push_back('/');
  for (const char c : rest) out.push_back(c == '\\' ? '/' : c);
  return out;
}

std::string DriveTable::FromNativePath(std::string_view native) const {
  if (native.empty() || native[0] != '/') return {};
  const Drive* best = nullptr;
  for (const auto& d : drives_) {
    if (!d.has_value() || d->path.empty() || d->kind == kDriveNoRoot) continue;
    const bool holds = d->path == "/" || Under(native, d->path);
    if (holds && (best == nullptr || d->path.size() > best->path.size())) best = &*d;
  }
  if (best == nullptr) return {};
  std::string_view rest = native.substr(best->path == "/" ? 0 : best->path.size());
  while (!rest.empty() && rest.front() == '/') rest.remove_prefix(1);
  std::string out(1, best->letter);
  out += ":\\";
  for (const char c : rest) out.push_back(c == '/' ? '\\' : c);
  return out;
}

bool DriveTable::FolderExists(std::string_view path) const {
  const std::string native = ToNativePath(path);
  if (native.empty()) return false;
  return IsEnterableFolder(native);
}

}  // namespace platform
