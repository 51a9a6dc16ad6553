// The program's folders are layers, and an include may only point down:
// app -> dialogs -> ui -> records -> engine -> platform. res (texts,
// templates, pictures) lies beside them: anyone may include it, and it
// includes only itself.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kLayers = {"platform", "engine", "records", "ui", "dialogs", "app"};

int Level(const std::string& folder) {
  for (std::size_t i = 0; i < kLayers.size(); ++i) {
    if (kLayers[i] == folder) return static_cast<int>(i);
  }
  return -1;
}

bool Allowed(const std::string& from, const std::string& to) {
  if (to == "res") return true;
  if (from == "res") return false;
  const int a = Level(from), b = Level(to);
  return a >= 0 && b >= 0 && b <= a;
}

TEST(Layers, EveryIncludePointsDown) {
  const fs::path top = TORVEX_SOURCE_DIR;
  const std::regex include(R"re(^\s*#\s*include\s+"([a-z_]+)/)re");
  std::vector<std::string> wrong;
  int seen = 0;
  for (const std::string folder : {"platform", "engine", "records", "ui", "dialogs", "app", "res"}) {
    for (const auto& entry : fs::recursive_directory_iterator(top / folder)) {
      const std::string ext = entry.path().extension().string();
      if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp")) continue;
      std::ifstream in(entry.path());
      std::string line;
      for (int n = 1; std::getline(in, line); ++n) {
        std::smatch m;
        if (!std::regex_search(line, m, include)) continue;
        ++seen;
        if (!Allowed(folder, m[1].str())) {
          wrong.push_back(fs::relative(entry.path(), top).string() + ":" + std::to_string(n) + " " + line);
        }
      }
    }
  }
  EXPECT_GT(seen, 100) << "the sources were not found under " << top;
  for (const std::string& w : wrong) ADD_FAILURE() << "an include that points up: " << w;
}

}  // namespace
