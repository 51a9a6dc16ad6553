#include "platform/data_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "platform/file_io.h"

#ifndef TORVEX_DATA_DIR
#define TORVEX_DATA_DIR "/usr/local/share/torvex"
#endif
#ifndef TORVEX_MODULE_DIR
#define TORVEX_MODULE_DIR "/usr/local/lib/torvex"
#endif

namespace platform {
namespace {

bool IsReadableFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), R_OK) == 0;
}

std::string Join(const std::string& folder, std::string_view name) {
  std::string path = folder;
  if (path.empty() || path.back() != '/') path += '/';
  path += name;
  return path;
}

// Taken before main, when no walk can have moved the current directory yet.
const std::string g_startFolder = CurrentDirectory();

}  // namespace

std::string StartFolder() { return g_startFolder; }

std::string ProgramFilePath() {
  std::string buf(PATH_MAX, '\0');
  const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return {};
  buf.resize(static_cast<std::size_t>(n));
  return buf;
}

std::string ProgramFolder() {
  const std::string path = ProgramFilePath();
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string ProgramFileName() {
  const std::string path = ProgramFilePath();
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string DataFolder() { return TORVEX_DATA_DIR; }
std::string ModuleFolder() { return TORVEX_MODULE_DIR; }

std::vector<std::string> DataFileFolders(DataLookup lookup) {
  std::vector<std::string> folders;
  auto add = [&folders](std::string folder) {
    if (folder.empty()) return;
    for (const std::string& f : folders) {
      if (f == folder) return;
    }
    folders.push_back(std::move(folder));
  };
  if (lookup == DataLookup::kStartFolderFirst) add(StartFolder());
  add(ProgramFolder());
  add(DataFolder());
  return folders;
}

std::string FindDataFile(std::string_view name, DataLookup lookup) {
  if (name.empty()) return {};
  if (name.find('/') != std::string_view::npos) {
    std::string path(name);
    if (path.front() != '/') {
      const std::string start = StartFolder();
      if (start.empty()) return {};
      path = Join(start, name);
    }
    return IsReadableFile(path) ? path : std::string();
  }
  for (const std::string& folder : DataFileFolders(lookup)) {
    std::string path = Join(folder, name);
    if (IsReadableFile(path)) return path;
  }
  return {};
}

std::string FindModuleFile(std::string_view name) {
  if (name.empty() || name.find('/') != std::string_view::npos) return {};
  for (const std::string& folder : {ProgramFolder(), ModuleFolder()}) {
    if (folder.empty()) continue;
    std::string path = Join(folder, name);
    if (IsReadableFile(path)) return path;
  }
  return {};
}

}  // namespace platform
