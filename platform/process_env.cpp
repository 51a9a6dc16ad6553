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

}  // namespace platform
