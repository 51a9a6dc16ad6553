#pragma once
// Temporary folder trees for tests, removed again at the end.
#include <cstdint>
#include <string>

namespace testing_support {

class TempTree {
 public:
  TempTree();
  ~TempTree();
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  const std::string& Root() const { return root_; }
  std::string Path(const std::string& rel) const { return root_ + "/" + rel; }

  void Folder(const std::string& rel) const;
  // A file of the given size with a recognisable byte pattern.
  void File(const std::string& rel, int64_t size) const;
  void Symlink(const std::string& rel, const std::string& target) const;
  void Fifo(const std::string& rel) const;

 private:
  std::string root_;
};

// The working directory at construction, restored at destruction (the walks
// leave the current directory on the checked tree).
class CwdGuard {
 public:
  CwdGuard();
  ~CwdGuard();

 private:
  std::string saved_;
};

// The English text of a pair of the text table (given its odd id).
std::string EnglishText(int id);

}  // namespace testing_support
