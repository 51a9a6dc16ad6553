#include "records/drive_list.h"

#include <cstdio>

#include "platform/drive_table.h"
#include "platform/volume_info.h"

namespace records {
namespace {

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

DriveOps DriveOpsOf(const platform::DriveTable& table) {
  DriveOps ops;
  ops.getDriveType = [&table](const std::string& root) { return table.GetDriveType(root); };
  ops.getLogicalDriveStrings = [&table] { return table.GetLogicalDriveStrings(); };
  ops.folderExists = [&table](const std::string& folder) { return table.FolderExists(folder); };
  return ops;
}

std::string SystemRootPaths::ToNativePath(const std::string& rootPath) {
  return platform::DriveTable::System(*registry_).ToNativePath(rootPath);
}

bool SystemVolumeQuery::Query(const std::string& root, std::string& label, uint32_t& serial) {
  platform::VolumeInfo info;
  if (!platform::GetVolumeInformation(platform::DriveTable::System(*registry_), root, &info)) return false;
  label = std::move(info.label);
  serial = info.serial;
  return true;
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

int FillDriveList(int mode, std::vector<std::string>& list, const DriveOps& ops) {
  int cdroms = 0;
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    const std::string root = std::string(1, letter) + ":\\";
    const int code = ops.getDriveType(root);
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

int EntryToDrive(std::string_view entry) { return entry.empty() ? -1 : entry[0] - 'A'; }

bool EntryIsCdrom(std::string_view entry) { return entry.size() > 7 && entry[7] == 'C'; }

std::string EntryToRoot(std::string_view entry) { return std::string(entry.substr(0, 2)) + "\\"; }

bool CheckStartFolder(std::string_view text, const DriveOps& ops) {
  if (text.empty()) return true;
  // Only the drive letter ignores case; folder names are matched as typed.
  std::string folder(text);
  folder[0] = Upper(folder[0]);
  if (folder.size() <= 3) {
    if (folder.size() != 3 || folder[1] != ':' || folder[2] != '\\') return false;
    const std::string roots = ops.getLogicalDriveStrings();
    std::size_t i = 0;
    while (i < roots.size() && roots[i] != '\0') {
      if (Upper(roots[i]) == folder[0]) return true;
      const std::size_t end = roots.find('\0', i);
      if (end == std::string::npos) break;
      i = end + 1;
    }
    return false;
  }
  return ops.folderExists(folder);
}

}  // namespace records
