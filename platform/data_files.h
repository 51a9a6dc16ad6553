#pragma once
// Where the program finds its own files when they are named by a bare file
// name: its data files (the wave files of the sounds, the help file, the home
// page) beside the program file, then in the installed data folder, and for
// sounds the folder the program was started in before both; its loadable
// modules beside the program file, then in the installed module folder. The
// current directory is never looked in: during a check it is the folder being
// walked, and nothing is ever loaded from the disc being checked.
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The program file (/proc/self/exe), with links resolved; empty when unknown.
std::string ProgramFilePath();
// Its folder, and its bare name ("torvex"); empty when unknown.
std::string ProgramFolder();
std::string ProgramFileName();
// The installed data and module folders, fixed when the program is built
// (<prefix>/share/torvex, <prefix>/lib/torvex).
std::string DataFolder();
std::string ModuleFolder();
// The current directory of the process when it started (before main), or
// empty when it could not be known.
std::string StartFolder();

enum class DataLookup {
  kProgramPlaces,          // beside the program, then the data folder
  kStartFolderFirst,       // the start folder, then the program places
};

// The folders a bare name is looked for in, in order, absolute. A folder that
// cannot be known (a current directory that was removed) is left out.
std::vector<std::string> DataFileFolders(DataLookup lookup);

// The first readable regular file of that name in those folders, as an
// absolute path, so that it stays right when the current directory changes;
// empty when there is none. A name with a slash is not looked up: it is taken
// as it is (made absolute from the start folder) when it names a readable
// regular file.
std::string FindDataFile(std::string_view name, DataLookup lookup = DataLookup::kProgramPlaces);

// A module of the program: beside the program file, then in the module folder.
std::string FindModuleFile(std::string_view name);

}  // namespace platform
