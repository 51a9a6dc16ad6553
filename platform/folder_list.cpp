#include "platform/folder_list.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include "platform/volume_info.h"

namespace platform {

bool SystemFolderLister::ListFolder(const std::string& folder, std::vector<FolderEntry>& entries) const {
  entries.clear();
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return false;
  try {
    while (const dirent* e = readdir(dir)) {
      const std::string name = e->d_name;
      if (name == "." || name == "..") continue;
      bool isFolder = e->d_type == DT_DIR;
      if (e->d_type == DT_UNKNOWN) {
        struct stat st {};
        isFolder = fstatat(dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
      }
      entries.push_back({name, isFolder});
    }
  } catch (...) {
    closedir(dir);
    entries.clear();
    throw;
  }
  closedir(dir);
  return true;
}

std::string SystemFolderLister::VolumeLabel(const Drive& drive) const {
  // A network mount is never asked: a server that does not answer must not
  // hold up the window.
  if (drive.kind == kDriveRemote) return {};
  return DeviceLabel(drive.device);
}

}  // namespace platform
