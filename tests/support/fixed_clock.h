#pragma once
// A clock that always tells the same local time, for log headers.
#include <ctime>

#include "records/log_file.h"

namespace testing_support {

class FixedClock : public records::LocalClock {
 public:
  explicit FixedClock(const std::tm& time) : time_(time) {}
  std::tm Now() const override { return time_; }

 private:
  std::tm time_;
};

}  // namespace testing_support
