// The interface language a user's locale asks for.
#include "platform/process_env.h"

#include <gtest/gtest.h>

#include "tests/support/fake_environment.h"

namespace platform_test {
namespace {

TEST(LocaleLanguage, TheFirstLocaleVariableSetChoosesRussianOrEnglish) {
  struct Case {
    std::map<std::string, std::string> variables;
    int language;  // 0 Russian, 1 English
  };
  const Case cases[] = {
      {{}, 1},
      {{{"LANG", "ru_RU.UTF-8"}}, 0},
      {{{"LANG", "ru"}}, 0},
      {{{"LANG", "ru_UA.KOI8-U"}}, 0},
      {{{"LANG", "en_US.UTF-8"}}, 1},
      {{{"LANG", "C.UTF-8"}}, 1},
      {{{"LANG", "rw_RW"}}, 1},    // not Russian, though it starts with an r
      {{{"LANG", "russian"}}, 1},  // no locale name
      {{{"LC_MESSAGES", "ru_RU.UTF-8"}, {"LANG", "en_GB.UTF-8"}}, 0},
      {{{"LC_ALL", "C"}, {"LC_MESSAGES", "ru_RU.UTF-8"}, {"LANG", "ru_RU.UTF-8"}}, 1},
      {{{"LC_ALL", ""}, {"LC_MESSAGES", ""}, {"LANG", "ru_RU.UTF-8"}}, 0},  // empty means unset
  };
  for (const Case& c : cases) {
    const testing_support::FakeEnvironment environment(false, c.variables);
    std::string shown;
    for (const auto& [name, value] : c.variables) shown += name + "=" + value + " ";
    EXPECT_EQ(platform::LocaleLanguage(environment), c.language) << shown;
  }
}

}  // namespace
}  // namespace platform_test
