#include "platform/process_env.h"

#include <stdlib.h>
#include <unistd.h>

namespace platform {
namespace {

class SystemProcessEnvironment : public ProcessEnvironment {
 public:
  bool EffectiveUserIsRoot() const override { return geteuid() == 0; }

  std::optional<std::string> Variable(std::string_view name) const override {
    const char* value = getenv(std::string(name).c_str());
    if (value == nullptr) return std::nullopt;
    return std::string(value);
  }

  void SetVariable(std::string_view name, std::string_view value) override {
    setenv(std::string(name).c_str(), std::string(value).c_str(), 1);
  }
};

}  // namespace

ProcessEnvironment& SystemEnvironment() {
  static SystemProcessEnvironment environment;
  return environment;
}

int LocaleLanguage(const ProcessEnvironment& environment) {
  // The order in which the C library itself looks for the messages' locale.
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const std::optional<std::string> value = environment.Variable(name);
    if (!value || value->empty()) continue;
    const std::string_view locale = *value;
    const bool russian = locale.substr(0, 2) == "ru" && (locale.size() == 2 || locale[2] == '_' || locale[2] == '.' ||
                                                         locale[2] == '@');
    return russian ? 0 : 1;
  }
  return 1;
}

}  // namespace platform
