#pragma once
// A process environment for tests: who it runs as, and variables of its own.
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "platform/process_env.h"

namespace testing_support {

class FakeEnvironment : public platform::ProcessEnvironment {
 public:
  explicit FakeEnvironment(bool root = false, std::map<std::string, std::string> vars = {})
      : variables(std::move(vars)), root_(root) {}
  bool EffectiveUserIsRoot() const override { return root_; }
  std::optional<std::string> Variable(std::string_view name) const override {
    auto it = variables.find(std::string(name));
    if (it == variables.end()) return std::nullopt;
    return it->second;
  }
  void SetVariable(std::string_view name, std::string_view value) override {
    variables[std::string(name)] = std::string(value);
  }
  std::map<std::string, std::string> variables;

 private:
  bool root_;
};

}  // namespace testing_support
