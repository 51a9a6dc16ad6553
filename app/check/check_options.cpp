#include "app/check/check_options.h"

#include <charconv>

namespace check {
namespace {

bool ParseNumber(const std::string& text, int low, int high, int* out) {
  int value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || text.empty() || value < low || value > high) return false;
  *out = value;
  return true;
}

}  // namespace

std::string UsageText() {
  return "Usage: torvex-check [options] PATH | LETTER:\n"
         "Checks every file below PATH (or the whole drive LETTER: of the drive table) for read errors.\n"
         "\n"
         "  --delay SECONDS   give up a block read that stalls this long, 3..99 (5)\n"
         "  --fast            fast checking: read one block of every three\n"
         "  --no-prescan      do not count the files first (no percent, no estimate)\n"
         "  --priority N      priority of the reader, 0 (lowest) .. 6 (highest) (3)\n"
         "  --log FILE        append the check to FILE in the log format\n"
         "  --resume          continue a remembered CD-ROM from Torvex.tvd in the current folder\n"
         "  --check-again     check a remembered CD-ROM from its start, remembering it in Torvex.tvd\n"
         "  --language ru|en  language of the rows and the report (en)\n"
         "  --json            print one JSON document instead of the rows and the report\n"
         "  --rescue DEST     after the check, copy the readable part of every file with a read\n"
         "                    error to the folder DEST (on another disk), with a map of what is missing\n"
         "  --passes N        extra passes of the rescue over the missing sectors, 0..9 (2)\n"
         "  --list-drives     print the drive table and end\n"
         "  --help, --version\n"
         "\n"
         "Exit status: 0 every file was read, 1 files with errors were found, 2 the check could\n"
         "not be made, 3 no errors in the files read, but files an earlier run checked were\n"
         "passed over (--resume), 130 stopped by SIGINT, 143 stopped by SIGTERM.\n";
}

std::optional<CheckOptions> ParseCheckOptions(const std::vector<std::string>& args, std::string* error) {
  CheckOptions o;
  std::vector<std::string> positional;
  bool resume = false, again = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    if (arg == "--") {
      positional.insert(positional.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
      break;
    }
    if (arg.size() < 2 || arg[0] != '-' || arg == "-") {
      positional.push_back(arg);
      continue;
    }
    std::optional<std::string> inlineValue;
    if (const auto eq = arg.find('='); arg.starts_with("--") && eq != std::string::npos) {
      inlineValue = arg.substr(eq + 1);
      arg.resize(eq);
    }
    const auto value = [&](std::string* out) {
      if (inlineValue) {
        *out = *inlineValue;
        return true;
      }
      if (i + 1 >= args.size()) {
        *error = "option " + arg + " needs a value";
        return false;
      }
      *out = args[++i];
      return true;
    };
    const auto flag = [&] {
      if (inlineValue) *error = "option " + arg + " takes no value";
      return !inlineValue;
    };
    std::string v;
    if (arg == "--delay") {
      if (!value(&v)) return std::nullopt;
      if (!ParseNumber(v, 3, 99, &o.delaySeconds)) {
        *error = "--delay takes a number of seconds from 3 to 99, not '" + v + "'";
        return std::nullopt;
      }
    } else if (arg == "--priority") {
      if (!value(&v)) return std::nullopt;
      if (!ParseNumber(v, 0, 6, &o.priority)) {
        *error = "--priority takes a number from 0 to 6, not '" + v + "'";
        return std::nullopt;
      }
    } else if (arg == "--log") {
      if (!value(&o.logFile)) return std::nullopt;
      if (o.logFile.empty()) {
        *error = "--log needs a file name";
        return std::nullopt;
      }
    } else if (arg == "--rescue") {
      if (!value(&o.rescueTo)) return std::nullopt;
      if (o.rescueTo.empty()) {
        *error = "--rescue needs a folder";
        return std::nullopt;
      }
    } else if (arg == "--passes") {
      if (!value(&v)) return std::nullopt;
      if (!ParseNumber(v, 0, 9, &o.passes)) {
        *error = "--passes takes a number from 0 to 9, not '" + v + "'";
        return std::nullopt;
      }
    } else if (arg == "--language") {
      if (!value(&v)) return std::nullopt;
      if (v == "ru") {
        o.language = 0;
      } else if (v == "en") {
        o.language = 1;
      } else {
        *error = "--language takes ru or en, not '" + v + "'";
        return std::nullopt;
      }
    } else if (arg == "--fast") {
      if (!flag()) return std::nullopt;
      o.fast = true;
    } else if (arg == "--no-prescan") {
      if (!flag()) return std::nullopt;
      o.preScan = false;
    } else if (arg == "--resume") {
      if (!flag()) return std::nullopt;
      resume = true;
    } else if (arg == "--check-again") {
      if (!flag()) return std::nullopt;
      again = true;
    } else if (arg == "--json") {
      if (!flag()) return std::nullopt;
      o.json = true;
    } else if (arg == "--list-drives") {
      if (!flag()) return std::nullopt;
      o.listDrives = true;
    } else if (arg == "--help" || arg == "-h") {
      o.help = true;
      return o;
    } else if (arg == "--version") {
      o.version = true;
      return o;
    } else {
      *error = "unknown option " + arg;
      return std::nullopt;
    }
  }
  if (resume && again) {
    *error = "--resume and --check-again exclude each other";
    return std::nullopt;
  }
  o.resume = resume ? ResumeMode::kResume : again ? ResumeMode::kCheckAgain : ResumeMode::kNone;
  if (o.listDrives) {
    if (!positional.empty()) {
      *error = "--list-drives takes no PATH";
      return std::nullopt;
    }
    return o;
  }
  if (positional.size() != 1) {
    *error = positional.empty() ? "no PATH or drive letter given" : "only one PATH or drive letter can be checked";
    return std::nullopt;
  }
  o.target = positional[0];
  if (o.target.empty()) {
    *error = "the PATH is empty";
    return std::nullopt;
  }
  return o;
}

}  // namespace check
