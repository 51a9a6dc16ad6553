// The command line of torvex-check: every option with a value it takes and
// where that lands, every line it refuses with the words and the status the
// user sees.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "app/check/check_options.h"

namespace check {
namespace {

auto Fields(const CheckOptions& o) {
  return std::tuple(o.delaySeconds, o.fast, o.preScan, o.priority, o.logFile, static_cast<int>(o.resume), o.language,
                    o.json, o.listDrives, o.help, o.version, o.target, o.rescueTo, o.passes);
}

TEST(CheckOptionsTest, EveryOptionTakesItsValuesAndSetsItsField) {
  struct Case {
    std::vector<std::string> args;
    void (*expect)(CheckOptions& o);  // what differs from the defaults
  };
  const std::vector<Case> cases = {
      {{"D:"}, [](CheckOptions& o) { o.target = "D:"; }},
      {{"--delay", "3", "D:"}, [](CheckOptions& o) { o.target = "D:"; o.delaySeconds = 3; }},
      {{"--delay", "99", "D:"}, [](CheckOptions& o) { o.target = "D:"; o.delaySeconds = 99; }},
      {{"--delay=42", "D:"}, [](CheckOptions& o) { o.target = "D:"; o.delaySeconds = 42; }},
      {{"--delay", "4", "--delay", "7", "D:"}, [](CheckOptions& o) { o.target = "D:"; o.delaySeconds = 7; }},
      {{"--priority", "0", "D:"}, [](CheckOptions& o) { o.target = "D:"; o.priority = 0; }},
      {{"--priority=6", "D:"}, [](CheckOptions& o) { o.target = "D:"; o.priority = 6; }},
      {{"--passes", "0", "D:"}, [](CheckOptions& o) { o.target = "D:"; o.passes = 0; }},
      {{"--passes=9", "D:"}, [](CheckOptions& o) { o.target = "D:"; o.passes = 9; }},
      {{"--log", "checks.log", "D:"}, [](CheckOptions& o) { o.target = "D:"; o.logFile = "checks.log"; }},
      {{"--log=/var/log/a=b", "D:"}, [](CheckOptions& o) { o.target = "D:"; o.logFile = "/var/log/a=b"; }},
      {{"--log", "-odd.log", "D:"}, [](CheckOptions& o) { o.target = "D:"; o.logFile = "-odd.log"; }},
      {{"--rescue", "saved", "D:"}, [](CheckOptions& o) { o.target = "D:"; o.rescueTo = "saved"; }},
      {{"--rescue=/mnt/b", "D:"}, [](CheckOptions& o) { o.target = "D:"; o.rescueTo = "/mnt/b"; }},
      {{"--language", "ru", "D:"}, [](CheckOptions& o) { o.target = "D:"; o.language = 0; }},
      {{"--language=ru", "--language", "en", "D:"}, [](CheckOptions& o) { o.target = "D:"; o.language = 1; }},
      {{"--fast", "D:"}, [](CheckOptions& o) { o.target = "D:"; o.fast = true; }},
      {{"--no-prescan", "D:"}, [](CheckOptions& o) { o.target = "D:"; o.preScan = false; }},
      {{"--resume", "D:"}, [](CheckOptions& o) { o.target = "D:"; o.resume = ResumeMode::kResume; }},
      {{"--resume", "--resume", "D:"}, [](CheckOptions& o) { o.target = "D:"; o.resume = ResumeMode::kResume; }},
      {{"D:", "--check-again"}, [](CheckOptions& o) { o.target = "D:"; o.resume = ResumeMode::kCheckAgain; }},
      {{"--json", "/media/cdrom0"}, [](CheckOptions& o) { o.target = "/media/cdrom0"; o.json = true; }},
      {{"--list-drives"}, [](CheckOptions& o) { o.listDrives = true; }},
      {{"--list-drives", "--json", "--resume"},
       [](CheckOptions& o) { o.listDrives = true; o.json = true; o.resume = ResumeMode::kResume; }},
      // --help and --version end the reading: what follows is not looked at.
      {{"--help"}, [](CheckOptions& o) { o.help = true; }},
      {{"-h", "--delay", "1"}, [](CheckOptions& o) { o.help = true; }},
      {{"--fast", "--help=x", "--colour"}, [](CheckOptions& o) { o.fast = true; o.help = true; }},
      {{"--version", "D:", "E:"}, [](CheckOptions& o) { o.version = true; }},
      // "-" and whatever follows "--" are paths.
      {{"-"}, [](CheckOptions& o) { o.target = "-"; }},
      {{"--fast", "--", "--json"}, [](CheckOptions& o) { o.target = "--json"; o.fast = true; }},
      {{"--", "-x"}, [](CheckOptions& o) { o.target = "-x"; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    CheckOptions expected;
    c.expect(expected);
    std::string error = "untouched";
    const auto parsed = ParseCheckOptions(c.args, &error);
    ASSERT_TRUE(parsed.has_value()) << error;
    EXPECT_EQ(Fields(*parsed), Fields(expected));
    EXPECT_EQ(error, "untouched");
  }
}

TEST(CheckOptionsTest, ALineItCannotUnderstandIsToldWithItsReasonAndStatusTwo) {
  struct Case {
    std::vector<std::string> args;
    std::string error;
  };
  const std::vector<Case> cases = {
      {{"--delay", "2", "D:"}, "--delay takes a number of seconds from 3 to 99, not '2'"},
      {{"--delay", "100", "D:"}, "--delay takes a number of seconds from 3 to 99, not '100'"},
      {{"--delay", "5s", "D:"}, "--delay takes a number of seconds from 3 to 99, not '5s'"},
      {{"--delay", "+5", "D:"}, "--delay takes a number of seconds from 3 to 99, not '+5'"},
      {{"--delay", " 5", "D:"}, "--delay takes a number of seconds from 3 to 99, not ' 5'"},
      {{"--delay", "99999999999", "D:"}, "--delay takes a number of seconds from 3 to 99, not '99999999999'"},
      {{"--delay=", "D:"}, "--delay takes a number of seconds from 3 to 99, not ''"},
      {{"--delay", "--fast", "D:"}, "--delay takes a number of seconds from 3 to 99, not '--fast'"},
      {{"D:", "--delay"}, "option --delay needs a value"},
      {{"--priority", "-1", "D:"}, "--priority takes a number from 0 to 6, not '-1'"},
      {{"--priority=7", "D:"}, "--priority takes a number from 0 to 6, not '7'"},
      {{"--passes", "10", "D:"}, "--passes takes a number from 0 to 9, not '10'"},
      {{"--passes", "two", "D:"}, "--passes takes a number from 0 to 9, not 'two'"},
      {{"D:", "--passes"}, "option --passes needs a value"},
      {{"--language", "de", "D:"}, "--language takes ru or en, not 'de'"},
      {{"--language=RU", "D:"}, "--language takes ru or en, not 'RU'"},
      {{"D:", "--language"}, "option --language needs a value"},
      {{"--log", "", "D:"}, "--log needs a file name"},
      {{"--log=", "D:"}, "--log needs a file name"},
      {{"D:", "--log"}, "option --log needs a value"},
      {{"--rescue=", "D:"}, "--rescue needs a folder"},
      {{"D:", "--rescue"}, "option --rescue needs a value"},
      {{"--fast=yes", "D:"}, "option --fast takes no value"},
      {{"--no-prescan=", "D:"}, "option --no-prescan takes no value"},
      {{"--resume=1", "D:"}, "option --resume takes no value"},
      {{"--check-again=0", "D:"}, "option --check-again takes no value"},
      {{"--json=true", "D:"}, "option --json takes no value"},
      {{"--list-drives=all"}, "option --list-drives takes no value"},
      {{"--colour", "D:"}, "unknown option --colour"},
      {{"--colour=red", "D:"}, "unknown option --colour"},
      {{"-x", "D:"}, "unknown option -x"},
      {{"-h=1"}, "unknown option -h=1"},
      {{"--=x", "D:"}, "unknown option --"},
      {{"--Delay", "5", "D:"}, "unknown option --Delay"},
      // Left to right, the first fault is told; the line as a whole after.
      {{"--delay", "1", "--priority", "9", "D:"}, "--delay takes a number of seconds from 3 to 99, not '1'"},
      {{"--priority", "9", "--help"}, "--priority takes a number from 0 to 6, not '9'"},
      {{"--resume", "--check-again", "--colour", "D:"}, "unknown option --colour"},
      {{"--resume", "--check-again", "D:"}, "--resume and --check-again exclude each other"},
      {{"--check-again", "--list-drives", "--resume"}, "--resume and --check-again exclude each other"},
      {{"--list-drives", "D:"}, "--list-drives takes no PATH"},
      {{}, "no PATH or drive letter given"},
      {{"--fast", "--"}, "no PATH or drive letter given"},
      {{"D:", "E:"}, "only one PATH or drive letter can be checked"},
      {{"D:", "--", "-"}, "only one PATH or drive letter can be checked"},
      {{""}, "the PATH is empty"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    std::string error;
    EXPECT_FALSE(ParseCheckOptions(c.args, &error).has_value());
    EXPECT_EQ(error, c.error);

    const CommandLine line = ReadCommandLine(c.args, "9.9.9");
    EXPECT_FALSE(line.options.has_value());
    EXPECT_EQ(line.out, "");
    EXPECT_EQ(line.err, "torvex-check: " + c.error + "\nTry 'torvex-check --help'.\n");
    EXPECT_EQ(line.exitStatus, 2);
  }
}

TEST(CheckOptionsTest, HelpAndVersionArePrintedAndEndCleanAndAGoodLineIsChecked) {
  const CommandLine help = ReadCommandLine({"--delay", "9", "-h", "--colour"}, "9.9.9");
  EXPECT_FALSE(help.options.has_value());
  EXPECT_EQ(help.out, UsageText());
  EXPECT_EQ(help.err, "");
  EXPECT_EQ(help.exitStatus, 0);
  EXPECT_TRUE(help.out.starts_with("Usage: torvex-check [options] PATH | LETTER:\n")) << help.out;
  // The help names every option the parser takes.
  for (const char* name : {"--delay", "--fast", "--no-prescan", "--priority", "--log", "--resume", "--check-again",
                           "--language", "--json", "--rescue", "--passes", "--list-drives", "--help", "--version"}) {
    EXPECT_NE(help.out.find(name), std::string::npos) << name;
    std::string error;
    ParseCheckOptions({name}, &error);
    EXPECT_NE(error, "unknown option " + std::string(name));
  }

  const CommandLine version = ReadCommandLine({"--version=x", "--nonsense"}, "9.9.9");
  EXPECT_FALSE(version.options.has_value());
  EXPECT_EQ(version.out, "torvex-check 9.9.9\n");
  EXPECT_EQ(version.err, "");
  EXPECT_EQ(version.exitStatus, 0);

  const CommandLine check = ReadCommandLine({"--passes", "5", "--language", "ru", "/media/cdrom0"}, "9.9.9");
  ASSERT_TRUE(check.options.has_value());
  EXPECT_EQ(check.options->passes, 5);
  EXPECT_EQ(check.options->language, 0);
  EXPECT_EQ(check.options->target, "/media/cdrom0");
  EXPECT_EQ(check.out, "");
  EXPECT_EQ(check.err, "");
  EXPECT_EQ(check.exitStatus, 0);
}

}  // namespace
}  // namespace check
