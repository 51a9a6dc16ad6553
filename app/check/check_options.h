#pragma once
// The command line of torvex-check.
#include <optional>
#include <string>
#include <vector>

namespace check {

enum class ResumeMode { kNone, kResume, kCheckAgain };

struct CheckOptions {
  int delaySeconds = 5;  // 3..99
  bool fast = false;
  bool preScan = true;
  int priority = 3;      // 0..6
  std::string logFile;   // empty: no log
  ResumeMode resume = ResumeMode::kNone;
  int language = 1;      // 0 Russian, 1 English
  bool json = false;
  bool listDrives = false;
  bool help = false;
  bool version = false;
  std::string target;    // PATH or "D:"
  std::string rescueTo;  // empty: no rescue; else the folder the files with read errors are copied to
  int passes = 2;        // the rescue's extra passes over missing sectors, 0..9
};

// The options of argv[1..]; nothing, with the reason in *error, when they
// cannot be understood.
std::optional<CheckOptions> ParseCheckOptions(const std::vector<std::string>& args, std::string* error);

// The text of --help.
std::string UsageText();

}  // namespace check
