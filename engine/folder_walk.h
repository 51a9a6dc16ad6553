#pragma once
// The walks of the folder tree: the counting walk (pre-scan) and the check
// walk. Both go depth first through the check thread's current directory, in
// the order the file system lists the entries, and differ only in what they
// do with an entry.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_io.h"

namespace engine {

struct EngineContext;
class HeldFolder;
class WalkRecord;

// Folders nested deeper than this below the root are not walked, and are
// Open errors like folders that cannot be entered: the walk recurses once per
// level and must not run out of stack on a tree built to be endless.
inline constexpr int kMaxFolderDepth = 4096;

class FolderWalk {
 public:
  enum Mode { kCount, kCheck };
  // record: the counting walk writes what it lists into it, and the check
  // walk replays it instead of listing the folders again (null: neither).
  FolderWalk(const std::shared_ptr<EngineContext>& ctx, Mode mode, WalkRecord* record = nullptr)
      : ctx_(ctx), mode_(mode), record_(record) {}
  // Walks the tree at the root path; the current directory is left on it.
  void WalkRoot(const std::string& rootPath);

 private:
  // Walks one folder; replayed: its listing comes from the record. True when
  // the folder was entered and listed.
  bool Walk(const std::string& name, bool root, int depth, bool replayed);
  // Enters a folder and makes it the current path; false (after telling a
  // folder that went unread) when it is not walked.
  bool Enter(const std::string& name, bool root, int depth, bool replayed, std::size_t parentLength);
  // The folder's listing, from the record or from the file system; false
  // when it was broken off.
  bool List(bool& replayed, std::vector<platform::DirEntry>& entries);
  // The counting walk's view of one entry, and the check walk's.
  void Count(const platform::DirEntry& entry, int depth);
  // The files of a folder's listing that the read-ahead was given.
  struct AheadPlan {
    std::shared_ptr<HeldFolder> folder;
    std::size_t start = 0, end = 0;
    bool whole = false;  // it reaches the next sub-folder or the listing's end
  };
  void Check(const std::vector<platform::DirEntry>& entries, std::size_t i, int depth, bool replayed,
             AheadPlan& ahead);
  // Before the file at index i of the listing goes to the reader.
  void ReadAheadOf(const std::vector<platform::DirEntry>& entries, std::size_t i, uint32_t seen, AheadPlan& plan);
  void Publish();
  // Back to the folder above; a way back that fails is found again from the
  // root. Sets lost_ when even that fails.
  void Leave(std::size_t parentLength, bool root);
  bool ReturnToParent();
  // A folder below the root that cannot be entered or listed: its files went
  // unread, so the check walk makes it an Open error.
  void ReportUnreadFolder(const std::string& name, const std::string& holder);

  const std::shared_ptr<EngineContext>& ctx_;
  Mode mode_;
  WalkRecord* record_;
  std::string path_;  // the current folder path, as shown
  std::vector<std::string> names_;  // the folders entered below the root, by name
  bool lost_ = false;  // the walk could not get back to the folder it was in
  std::optional<uint64_t> rootDevice_;  // the device of the walk's root
  std::string rootFolder_;              // the walk's root as the system names it
};

}  // namespace engine
