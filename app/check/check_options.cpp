#include "app/check/check_options.h"

#include <algorithm>
#include <charconv>
#include <cstddef>

namespace check {
namespace {

// What the command line said, before it is looked at as a whole.
struct Reading {
  CheckOptions options;
  bool resume = false;
  bool checkAgain = false;
};

// What an option takes after it, as its next argument or after "=".
enum class Takes {
  kNothing,  // a switch; "--fast=x" is refused
  kNumber,   // a whole number from low to high
  kText,     // any text but an empty one
  kChoice,   // one of choices; its place among them is the number stored
  kStop,     // --help, --version: the rest of the line, "=x" too, is not looked at
};

// An option's value as its rule understood it.
struct Value {
  std::string text;
  int number = 0;
};

struct OptionRule {
  std::vector<std::string_view> names;
  Takes takes = Takes::kNothing;
  int low = 0;  // kNumber: the numbers taken
  int high = 0;
  std::vector<std::string_view> choices = {};  // kChoice
  // The error for a value the option does not take; "{}" stands for the value.
  std::string_view refusal = {};
  void (*store)(Reading& r, const Value& v) = nullptr;
};

const std::vector<OptionRule>& Rules() {
  static const std::vector<OptionRule> rules = {
      {.names = {"--delay"}, .takes = Takes::kNumber, .low = 3, .high = 99,
       .refusal = "--delay takes a number of seconds from 3 to 99, not '{}'",
       .store = [](Reading& r, const Value& v) { r.options.delaySeconds = v.number; }},
      {.names = {"--priority"}, .takes = Takes::kNumber, .low = 0, .high = 6,
       .refusal = "--priority takes a number from 0 to 6, not '{}'",
       .store = [](Reading& r, const Value& v) { r.options.priority = v.number; }},
      {.names = {"--log"}, .takes = Takes::kText, .refusal = "--log needs a file name",
       .store = [](Reading& r, const Value& v) { r.options.logFile = v.text; }},
      {.names = {"--rescue"}, .takes = Takes::kText, .refusal = "--rescue needs a folder",
       .store = [](Reading& r, const Value& v) { r.options.rescueTo = v.text; }},
      {.names = {"--passes"}, .takes = Takes::kNumber, .low = 0, .high = 9,
       .refusal = "--passes takes a number from 0 to 9, not '{}'",
       .store = [](Reading& r, const Value& v) { r.options.passes = v.number; }},
      // 0 Russian, 1 English, as the window's setting.
      {.names = {"--language"}, .takes = Takes::kChoice, .choices = {"ru", "en"},
       .refusal = "--language takes ru or en, not '{}'",
       .store = [](Reading& r, const Value& v) { r.options.language = v.number; }},
      {.names = {"--fast"}, .store = [](Reading& r, const Value&) { r.options.fast = true; }},
      {.names = {"--no-prescan"}, .store = [](Reading& r, const Value&) { r.options.preScan = false; }},
      {.names = {"--resume"}, .store = [](Reading& r, const Value&) { r.resume = true; }},
      {.names = {"--check-again"}, .store = [](Reading& r, const Value&) { r.checkAgain = true; }},
      {.names = {"--json"}, .store = [](Reading& r, const Value&) { r.options.json = true; }},
      {.names = {"--list-drives"}, .store = [](Reading& r, const Value&) { r.options.listDrives = true; }},
      {.names = {"--help", "-h"}, .takes = Takes::kStop,
       .store = [](Reading& r, const Value&) { r.options.help = true; }},
      {.names = {"--version"}, .takes = Takes::kStop,
       .store = [](Reading& r, const Value&) { r.options.version = true; }},
  };
  return rules;
}

const OptionRule* FindRule(const std::string& name) {
  for (const OptionRule& rule : Rules()) {
    if (std::find(rule.names.begin(), rule.names.end(), name) != rule.names.end()) return &rule;
  }
  return nullptr;
}

bool ParseNumber(const std::string& text, int low, int high, int* out) {
  int value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || text.empty() || value < low || value > high) return false;
  *out = value;
  return true;
}

// Whether the rule takes v.text; a number or a choice goes to v.number.
bool Understand(const OptionRule& rule, Value* v) {
  switch (rule.takes) {
    case Takes::kNumber:
      return ParseNumber(v->text, rule.low, rule.high, &v->number);
    case Takes::kText:
      return !v->text.empty();
    case Takes::kChoice: {
      const auto found = std::find(rule.choices.begin(), rule.choices.end(), v->text);
      v->number = static_cast<int>(found - rule.choices.begin());
      return found != rule.choices.end();
    }
    case Takes::kNothing:
    case Takes::kStop:
      break;
  }
  return true;
}

std::string Refusal(std::string_view refusal, const std::string& value) {
  std::string text(refusal);
  if (const auto at = text.find("{}"); at != std::string::npos) text.replace(at, 2, value);
  return text;
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
         "  --language ru|en  language of the rows and the report (ru in a Russian locale, else en)\n"
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
  Reading r;
  std::vector<std::string> positional;
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
    const OptionRule* rule = FindRule(arg);
    if (rule == nullptr) {
      *error = "unknown option " + arg;
      return std::nullopt;
    }
    Value value;
    if (rule->takes == Takes::kStop) {
      rule->store(r, value);
      return r.options;
    }
    if (rule->takes == Takes::kNothing) {
      if (inlineValue) {
        *error = "option " + arg + " takes no value";
        return std::nullopt;
      }
    } else {
      if (inlineValue) {
        value.text = *inlineValue;
      } else if (i + 1 < args.size()) {
        value.text = args[++i];
      } else {
        *error = "option " + arg + " needs a value";
        return std::nullopt;
      }
      if (!Understand(*rule, &value)) {
        *error = Refusal(rule->refusal, value.text);
        return std::nullopt;
      }
    }
    rule->store(r, value);
  }

  // The line as a whole.
  CheckOptions& o = r.options;
  if (r.resume && r.checkAgain) {
    *error = "--resume and --check-again exclude each other";
    return std::nullopt;
  }
  o.resume = r.resume ? ResumeMode::kResume : r.checkAgain ? ResumeMode::kCheckAgain : ResumeMode::kNone;
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

CommandLine ReadCommandLine(const std::vector<std::string>& args, std::string_view version) {
  CommandLine line;
  std::string error;
  auto options = ParseCheckOptions(args, &error);
  if (!options) {
    line.err = "torvex-check: " + error + "\nTry 'torvex-check --help'.\n";
    line.exitStatus = kExitNoCheck;
  } else if (options->help) {
    line.out = UsageText();
  } else if (options->version) {
    line.out = "torvex-check " + std::string(version) + "\n";
  } else {
    line.options = std::move(options);
  }
  return line;
}

}  // namespace check
