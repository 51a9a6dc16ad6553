#pragma once
// What torvex makes of its command line before the window: --help and
// --version are answered on the terminal and end the program, as any program
// of the system does; everything else is left to the toolkit's own options
// (-platform, -style...). No Qt here, so that the answer needs no display.
#include <string>
#include <string_view>
#include <vector>

namespace app {

struct StartupLine {
  bool openWindow = true;  // else print out and end with status 0
  std::string out;
};

StartupLine ReadStartupLine(const std::vector<std::string>& args, std::string_view version);

}  // namespace app
