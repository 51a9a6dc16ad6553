#include "tests/support/temp_tree.h"

#include "res/text_table.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <vector>

namespace testing_support {

TempTree::TempTree() {
  const char* base = std::getenv("TMPDIR");
  std::string tmpl = std::string(base ? base : "/tmp") + "/torvex-test-XXXXXX";
  if (mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  root_ = tmpl;
}

TempTree::~TempTree() {
  std::error_code ec;
  std::filesystem::remove_all(root_, ec);
}

void TempTree::Folder(const std::string& rel) const {
  std::filesystem::create_directories(Path(rel));
}

void TempTree::File(const std::string& rel, int64_t size) const {
  const std::filesystem::path p = Path(rel);
  std::filesystem::create_directories(p.parent_path());
  const int fd = open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) throw std::runtime_error("cannot create " + p.string());
  std::vector<char> chunk(1 << 16);
  for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>(i * 31 + 7);
  int64_t left = size;
  while (left > 0) {
    const auto n = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(chunk.size())));
    if (write(fd, chunk.data(), n) != static_cast<ssize_t>(n)) {
      close(fd);
      throw std::runtime_error("write failed");
    }
    left -= static_cast<int64_t>(n);
  }
  close(fd);
}

void TempTree::Symlink(const std::string& rel, const std::string& target) const {
  const std::filesystem::path p = Path(rel);
  std::filesystem::create_directories(p.parent_path());
  if (symlink(target.c_str(), p.c_str()) != 0) throw std::runtime_error("symlink failed");
}

void TempTree::Fifo(const std::string& rel) const {
  const std::filesystem::path p = Path(rel);
  std::filesystem::create_directories(p.parent_path());
  if (mkfifo(p.c_str(), 0644) != 0) throw std::runtime_error("mkfifo failed");
}

CwdGuard::CwdGuard() : saved_(std::filesystem::current_path().string()) {}
CwdGuard::~CwdGuard() {
  if (chdir(saved_.c_str()) != 0) std::perror("chdir back");
}

std::string EnglishText(int id) {
  // The English member of the pair, whatever the interface language.
  const char* text = res::TextResource(id + 1);
  return text != nullptr ? text : "";
}

}  // namespace testing_support
