#include "platform/data_files.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#ifndef TORVEX_INSTALLED_DATA_DIR
#define TORVEX_INSTALLED_DATA_DIR "/usr/local/share/torvex"
#endif
#ifndef TORVEX_INSTALLED_MODULE_DIR
#define TORVEX_INSTALLED_MODULE_DIR "/usr/local/lib/torvex"
#endif

namespace platform {

std::string ProgramFileFolder() {
  char path[PATH_MAX + 1];
  const ssize_t length = readlink("/proc/self/exe", path, PATH_MAX);
  if (length <= 0) return std::string();
  std::string file(path, static_cast<std::size_t>(length));
  const std::size_t slash = file.rfind('/');
  if (slash == std::string::npos) return std::string();
  return slash == 0 ? std::string("/") : file.substr(0, slash);
}

std::string InstalledDataFolder() { return TORVEX_INSTALLED_DATA_DIR; }

std::string InstalledModuleFolder() { return TORVEX_INSTALLED_MODULE_DIR; }

std::string FindFileIn(const std::vector<std::string>& folders, std::string_view name) {
  for (const std::string& folder : folders) {
    if (folder.empty()) continue;
    std::string path = folder;
    if (path.back() != '/') path += '/';
    path += name;
    struct stat info {};
    if (stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), R_OK) == 0) return path;
  }
  return std::string();
}

std::string FindDataFile(std::string_view name) {
  return FindFileIn({ProgramFileFolder(), InstalledDataFolder()}, name);
}

std::string FindModuleFile(std::string_view name) {
  return FindFileIn({ProgramFileFolder(), InstalledModuleFolder()}, name);
}

}  // namespace platform
