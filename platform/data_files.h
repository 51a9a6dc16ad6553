#pragma once
// Where the program's own files lie: the files shipped with it (the help
// file, the home page, the sounds) beside the program file or in the installed
// data folder, and its loadable modules beside the program file or in the
// installed module folder.
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The folder that holds the running program file (from /proc/self/exe),
// without a trailing slash; empty when it cannot be read.
std::string ProgramFileFolder();

// <datadir>/torvex and <libdir>/torvex of the installation.
std::string InstalledDataFolder();
std::string InstalledModuleFolder();

// The full path of the first folder's regular file of this name that can be
// read; empty when no folder holds one. Empty folder names are passed over.
std::string FindFileIn(const std::vector<std::string>& folders, std::string_view name);

// A data file of the program: beside the program file, then in the installed
// data folder.
std::string FindDataFile(std::string_view name);
// A module of the program: beside the program file, then in the installed
// module folder.
std::string FindModuleFile(std::string_view name);

}  // namespace platform
