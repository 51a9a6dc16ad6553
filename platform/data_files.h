#pragma once
// Where the program finds its own data files, the wave files of the sounds and
// the help file, when they are named by a bare file name: beside the program
// file, then in the installed data folder, and for sounds the current
// directory before both.
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The program file (/proc/self/exe), with links resolved; empty when unknown.
std::string ProgramFilePath();
// Its folder, and its bare name ("torvex"); empty when unknown.
std::string ProgramFolder();
std::string ProgramFileName();
// The installed data folder, fixed when the program is built
// (<prefix>/share/torvex).
std::string DataFolder();

enum class DataLookup {
  kProgramPlaces,          // beside the program, then the data folder
  kCurrentDirectoryFirst,  // the current directory, then the program places
};

// The folders a bare name is looked for in, in order, absolute. A folder that
// cannot be known (a current directory that was removed) is left out.
std::vector<std::string> DataFileFolders(DataLookup lookup);

// The first readable regular file of that name in those folders, as an
// absolute path, so that it stays right when the current directory changes;
// empty when there is none. A name with a slash is not looked up: it is taken
// as it is (made absolute) when it names a readable regular file.
std::string FindDataFile(std::string_view name, DataLookup lookup);

}  // namespace platform
