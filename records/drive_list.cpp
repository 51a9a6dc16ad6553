#include "records/drive_list.h"

#include <cstdio>

#include "platform/ascii.h"
#include "platform/disc_mount.h"
#include "platform/drive_table.h"
#include "platform/registry.h"
#include "platform/volume_info.h"

namespace records {

using platform::AsciiUpper;


std::string SystemRootPaths::ToNativePath(const std::string& rootPath) {
  return platform::DriveTable::System(*registry_).ToNativePath(rootPath);
}

int SystemVolumeQuery::Query(const std::string& root, std::string& label, uint32_t& serial) {
  platform::VolumeInfo info;
  if (!platform::GetVolumeInformation(platform::DriveTable::System(*registry_), root, &info)) return kNoVolume;
  label = std::move(info.label);
  serial = info.serial;
  return info.serialKnown ? kVolume : kSerialUnknown;
}

SystemRootCheck::SystemRootCheck(std::shared_ptr<platform::Registry> registry,
                                 std::shared_ptr<platform::DiscMounter> mounter, const platform::DriveProbe& probe)
    : registry_(std::move(registry)), mounter_(std::move(mounter)), probe_(probe) {}

SystemRootCheck::SystemRootCheck(std::shared_ptr<platform::Registry> registry)
    : SystemRootCheck(std::move(registry), std::make_shared<platform::UDisksMounter>(), platform::DriveProbe::System()) {}

int SystemRootCheck::CheckRoot(const std::string& rootPath) {
  if (rootPath.empty()) return kRootUnreadable;
  const auto table = [&] { return platform::DriveTable::Build(probe_, platform::ReadDrivePins(*registry_)); };
  const platform::DriveTable before = table();
  std::string native = before.ToNativePath(rootPath);
  if (native.empty()) {
    const platform::Drive* drive = before.Find(rootPath[0]);
    // A disc in an optical drive that has no folder: it is not mounted.
    if (drive == nullptr || !drive->optical || drive->device.empty()) return kRootUnreadable;
    std::string where, why;
    if (!mounter_ || mounter_->MountReadOnly(drive->device, &where, &why) != platform::kMounted) {
      return kRootNotMounted;
    }
    native = table().ToNativePath(rootPath);
    if (native.empty()) return kRootNotMounted;
  }
  return platform::CheckFolderAccess(native) == platform::kFolderReadable ? kRootReady : kRootUnreadable;
}

const char* DriveKindName(int code) {
  switch (code) {
    case platform::kDriveRemovable:
      return "Floppy/Removable";
    case platform::kDriveFixed:
      return "Fixed";
    case platform::kDriveRemote:
      return "Remote/Network";
    case platform::kDriveCdrom:
      return "CD-ROM";
    case platform::kDriveRamDisk:
      return "RAM disk";
    default:
      return "Unknown";
  }
}

int FillDriveList(int mode, std::vector<std::string>& list, const platform::DriveTable& drives) {
  int cdroms = 0;
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    const std::string root = std::string(1, letter) + ":\\";
    const int code = drives.GetDriveType(root);
    if (code == platform::kDriveCdrom) ++cdroms;
    if (code == platform::kDriveNoRoot) continue;
    if (mode == kAllDrives || (mode == kCdromDrivesOnly && code == platform::kDriveCdrom)) {
      char entry[32];
      std::snprintf(entry, sizeof entry, "%c:   ( %s )", letter, DriveKindName(code));
      list.emplace_back(entry);
    }
  }
  return cdroms;
}

std::string DriveListText(const std::string& entry, const platform::Drive& drive, const std::string& label) {
  std::string text = entry;
  if (!label.empty()) text += "   " + platform::VisibleText(label);
  // A folder keeps its slashes; a control byte in it is a question mark.
  std::string where = !drive.path.empty() ? drive.path : drive.device;
  for (char& c : where) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  if (!where.empty()) text += "   " + where;
  return text;
}

int EntryToDrive(std::string_view entry) { return entry.empty() ? -1 : entry[0] - 'A'; }

bool EntryIsCdrom(std::string_view entry) { return entry.size() > 7 && entry[7] == 'C'; }

std::string EntryToRoot(std::string_view entry) { return std::string(entry.substr(0, 2)) + "\\"; }

bool CheckStartFolder(std::string_view text, const platform::DriveTable& drives) {
  if (text.empty()) return true;
  if (text.size() > kMaxStartFolder) return false;
  // "." and ".." are refused: on this system "D:\.." would leave the drive.
  for (std::size_t at = 0; at <= text.size();) {
    std::size_t end = text.find_first_of("\\/", at);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view piece = text.substr(at, end - at);
    if (piece == "." || piece == "..") return false;
    at = end + 1;
  }
  // Only the drive letter ignores case; folder names are matched as typed.
  std::string folder(text);
  folder[0] = AsciiUpper(folder[0]);
  if (folder.size() <= 3) {
    if (folder.size() != 3 || folder[1] != ':' || folder[2] != '\\') return false;
    const std::string roots = drives.GetLogicalDriveStrings();
    std::size_t i = 0;
    while (i < roots.size() && roots[i] != '\0') {
      if (AsciiUpper(roots[i]) == folder[0]) return true;
      const std::size_t end = roots.find('\0', i);
      if (end == std::string::npos) break;
      i = end + 1;
    }
    return false;
  }
  return drives.FolderExists(folder);
}

}  // namespace records
