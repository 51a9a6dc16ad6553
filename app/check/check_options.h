#pragma once
// The command line of torvex-check.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace check {

// The exit statuses; a stop signal gives 128 + the signal.
inline constexpr int kExitClean = 0;
inline constexpr int kExitErrorsFound = 1;
inline constexpr int kExitNoCheck = 2;
// No file read had an error, but files an earlier run checked were passed
// over (--resume): they were not read now.
inline constexpr int kExitPassedOver = 3;

enum class ResumeMode { kNone, kResume, kCheckAgain };

struct CheckOptions {
  int delaySeconds = 5;  // 3..99
  bool fast = false;
  bool preScan = true;
  int priority = 3;      // 0..6
  std::string logFile;   // empty: no log
  ResumeMode resume = ResumeMode::kNone;
  int language = -1;     // 0 Russian, 1 English, -1 the locale's
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

// What the program makes of its command line before anything else: the
// options to check with, or what to print and the status to end with
// (--help, --version, a command line it cannot understand).
struct CommandLine {
  std::optional<CheckOptions> options;  // check with these
  std::string out;                      // else print this on standard output,
  std::string err;                      // this on standard error,
  int exitStatus = kExitClean;          // and end with this status
};
CommandLine ReadCommandLine(const std::vector<std::string>& args, std::string_view version);

}  // namespace check
