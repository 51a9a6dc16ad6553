#include "app/startup_line.h"

namespace app {

StartupLine ReadStartupLine(const std::vector<std::string>& args, std::string_view version) {
  StartupLine line;
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") {
      line.openWindow = false;
      line.out =
          "Usage: torvex [--help | --version]\n"
          "Checks a disc, a drive or a folder for read errors, in a window: choose the\n"
          "drive with OPTION and press START.\n"
          "\n"
          "  --help     show this help and exit\n"
          "  --version  show the version and exit\n"
          "\n"
          "For checks from a terminal or a script, see torvex-check(1).\n";
      return line;
    }
    if (arg == "--version") {
      line.openWindow = false;
      line.out = "torvex " + std::string(version) + "\n";
      return line;
    }
  }
  return line;
}

}  // namespace app
