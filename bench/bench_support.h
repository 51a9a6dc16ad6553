#pragma once
// What the benchmarks share: a window and texts that do nothing, a root
// translator onto the benchmark's tree, and the trees themselves.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <chrono>

#include "engine/check_run.h"
#include "engine/system_services.h"

namespace bench {

class NullWindow : public engine::WindowOps {
 public:
  void SetFieldText(int, const std::string&) override {}
  void SetProgress(int, int) override {}
  int AddRow(const std::array<std::string, 4>&, const engine::RowFile&) override { return ++rows; }
  void ShowButton(int, bool) override {}
  void EnableButton(int, bool) override {}
  void SetTitle(const std::string&) override {}
  int ShowMessage(const std::string&, const std::string&, unsigned) override { return engine::kIdOk; }
  void OpenOptions() override {}
  int rows = 0;
};

class NoTexts : public engine::TextLookup {
 public:
  std::string Text(int) const override { return std::string(); }
};

// Every root path is the benchmark's tree.
class TreeRoot : public engine::RootPathTranslator {
 public:
  explicit TreeRoot(std::string root) : root_(std::move(root)) {}
  std::string ToNativePath(const std::string&) override { return root_; }

 private:
  std::string root_;
};

struct Tree {
  std::string root;
  int files = 0;
  int64_t bytes = 0;
};

inline void WriteFile(const std::string& path, int64_t size) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) {
    std::perror(path.c_str());
    std::exit(1);
  }
  std::vector<char> chunk(1 << 20, 'x');
  for (int64_t left = size; left > 0;) {
    const auto n = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(chunk.size())));
    if (write(fd, chunk.data(), n) != static_cast<ssize_t>(n)) std::exit(1);
    left -= static_cast<int64_t>(n);
  }
  close(fd);
}

inline Tree MakeTree(const std::string& base, const std::string& name, int files, int64_t size, int perFolder) {
  Tree t{base + "/" + name, files, files * size};
  for (int i = 0; i < files; ++i) {
    const std::string folder = t.root + "/d" + std::to_string(i / perFolder);
    std::filesystem::create_directories(folder);
    WriteFile(folder + "/f" + std::to_string(i) + ".bin", size);
  }
  return t;
}

// Every file of the tree read by cat, as a baseline; seconds.
inline double CatSeconds(const Tree& t) {
  const std::string cmd = "find '" + t.root + "' -type f -print0 | xargs -0 cat > /dev/null";
  const auto start = std::chrono::steady_clock::now();
  if (std::system(cmd.c_str()) != 0) {
    std::fprintf(stderr, "cat failed\n");
    std::exit(1);
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// What a check of the tree at root needs, with the system's read-ahead.
inline engine::EngineDeps CheckDeps(const std::string& root, bool preScan) {
  engine::EngineDeps deps;
  deps.window = std::make_shared<NullWindow>();
  deps.settings = std::make_shared<engine::Settings>();
  deps.settings->drive = 3;
  deps.settings->preScan = preScan;
  deps.settings->sounds = false;
  deps.panels = std::make_shared<engine::PanelFlags>();
  deps.text = std::make_shared<NoTexts>();
  deps.rootPaths = std::make_shared<TreeRoot>(root);
  deps.prefetcher = std::make_shared<engine::SystemPrefetcher>();
  return deps;
}

}  // namespace bench
