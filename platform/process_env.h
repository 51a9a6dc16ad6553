#pragma once
// The few facts of the running process that start-up looks at: who it runs
// as and its environment variables. The interface lets tests stand in for
// the real process.
#include <optional>
#include <string>
#include <string_view>

namespace platform {

class ProcessEnvironment {
 public:
  virtual ~ProcessEnvironment() = default;

  // The effective user is root (user id 0).
  virtual bool EffectiveUserIsRoot() const = 0;
  // The value of an environment variable; nothing when it is not set.
  virtual std::optional<std::string> Variable(std::string_view name) const = 0;
  // Sets an environment variable, replacing its value.
  virtual void SetVariable(std::string_view name, std::string_view value) = 0;
};

// The real process.
ProcessEnvironment& SystemEnvironment();

// The interface language of the user's locale: 0 (Russian) when the first of
// LC_ALL, LC_MESSAGES and LANG that is set and not empty names a Russian
// locale ("ru", "ru_RU.UTF-8"...), else 1 (English).
int LocaleLanguage(const ProcessEnvironment& environment);

}  // namespace platform
