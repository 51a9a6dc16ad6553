#pragma once
// Drive letters on a system without them. C: is the root folder "/"; every
// optical drive (/dev/sr*, with or without a disc) and then every other real
// mount point takes the next free letter from D: on. Optical drives come
// first, in the order of their numbers, so that their letters stay put while
// other volumes come and go; the other mount points follow in the order of
// their paths. The registry may pin a letter to a path and a kind (subkey
// "Drives" of the program's key, a value named by the letter holding
// "<kind>,<path>", for example "D"="5,/srv/cd-image"), which is how tests
// turn a folder into a CD-ROM drive.
//
// Paths such as "D:\DATA\" are translated to and from the folder of their
// drive here and only here.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class Registry;

// The drive kinds, numbered as the program knows them.
enum DriveKind : int {
  kDriveUnknown = 0,
  kDriveNoRoot = 1,
  kDriveRemovable = 2,
  kDriveFixed = 3,
  kDriveRemote = 4,
  kDriveCdrom = 5,
  kDriveRamDisk = 6,
};

struct MountEntry {
  std::string source;      // device or other source
  std::string mountPoint;  // folder
  std::string fsType;
};

// The path with symbolic links resolved; the path itself when it cannot be.
std::string CanonicalPath(const std::string& path);
// An existing folder that can be entered.
bool IsEnterableFolder(const std::string& path);

// The lines of /proc/self/mounts (octal escapes such as \040 undone).
std::vector<MountEntry> ParseMountTable(std::string_view text);

// What the table is built from; the system's by default, fakes in tests.
class DriveProbe {
 public:
  virtual ~DriveProbe() = default;
  virtual std::string MountTable() const = 0;                  // text of /proc/self/mounts
  virtual std::vector<std::string> OpticalDevices() const = 0;  // "/dev/sr0", ...
  // 1 removable, 0 not removable, -1 not a block device.
  virtual int Removable(const std::string& source) const = 0;
  // An existing folder that can be entered.
  virtual bool IsFolder(const std::string& path) const = 0;
  // The path with links resolved (to tell /dev/cdrom is /dev/sr0); the path
  // itself when it cannot be resolved.
  virtual std::string Canonical(const std::string& path) const = 0;

  // The system's mounts and devices.
  static const DriveProbe& System();
};

struct DrivePin {
  char letter = 0;  // 'A'..'Z'
  int kind = kDriveFixed;
  std::string path;
};

// The pins of the subkey "Drives" of the program's key. Values that are not
// a letter or hold no path are passed over.
std::vector<DrivePin> ReadDrivePins(Registry& registry);
// "5,/path" or "/path" (a fixed drive); nothing when there is no path.
std::optional<DrivePin> ParseDrivePin(char letter, std::string_view text);

struct Drive {
  char letter = 0;
  int kind = kDriveNoRoot;
  std::string path;    // the folder of its root; empty for an optical drive whose disc is not mounted
  std::string device;  // block device, when there is one
  std::string fsType;
  bool optical = false;  // a /dev/sr* drive
  bool pinned = false;
};

class DriveTable {
 public:
  DriveTable() = default;
  static DriveTable Build(const DriveProbe& probe, const std::vector<DrivePin>& pins);
  // The system's drives with the pins of the registry.
  static DriveTable System(Registry& registry);
  static DriveTable System();  // the registry of the current user

  // The kind of the drive of a root "D:\" (the letter in either case).
  int GetDriveType(std::string_view root) const;
  // "C:\", "D:\", ... each ended by a zero, the list ended by an empty text.
  std::string GetLogicalDriveStrings() const;
  const Drive* Find(char letter) const;

  // "D:\DATA\SUB" into the folder of drive D plus "/DATA/SUB"; empty when
  // the text does not begin with a drive letter and a colon or the drive has
  // no folder. Folder names keep their case.
  std::string ToNativePath(std::string_view path) const;
  // A folder back into "D:\DATA\SUB", by the drive whose folder holds it
  // most closely; empty for a relative path.
  std::string FromNativePath(std::string_view native) const;
  // The folder of a path such as "D:\DATA" exists and can be entered. The
  // current directory is never changed to find out.
  bool FolderExists(std::string_view path) const;

 private:
  class Lettering;
  std::array<std::optional<Drive>, 26> drives_;
};

}  // namespace platform
