#pragma once
// The rows of the main window's error list as the user reads them.
#include <array>
#include <string>
#include <vector>

#include "ui/error_list.h"

namespace testing_support {

inline std::vector<std::array<std::string, 4>> ErrorListRows(const ui::CErrorListModel& m) {
  std::vector<std::array<std::string, 4>> rows;
  for (int i = 0; i < m.rowCount(); ++i) {
    const auto& r = m.RowAt(i);
    rows.push_back({r[0].toStdString(), r[1].toStdString(), r[2].toStdString(), r[3].toStdString()});
  }
  return rows;
}

}  // namespace testing_support
