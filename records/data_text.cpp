#include "records/data_text.h"

namespace records {

std::string FolderWithSeparator(std::string_view folder) {
  std::string out(folder);
  if (!out.empty() && out.back() != '/') out.push_back('/');
  return out;
}

std::string WithCrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 16);
  for (const char c : text) {
    if (c == '\n') out.push_back('\r');
    out.push_back(c);
  }
  return out;
}

}  // namespace records
