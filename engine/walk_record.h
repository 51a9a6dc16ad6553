#pragma once
// What the counting walk learned of the tree, kept for the check walk of the
// same run, so that the metadata of the disk is read once: the listing of
// every folder the counting walk entered, with the names, kinds and sizes of
// its entries, in walk order. After its listing, a folder's record holds one
// mark for each of its sub-folders, in listing order: either the sub-folder's
// own record (it was entered and listed) or a mark that it was not walked.
//
// The record lives in a stream of fixed memory that goes to a temporary file
// when it grows (platform::SpillStream). When it cannot be kept, or cannot be
// read back, the check walk lists the folders itself from there on.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_io.h"
#include "platform/spill_stream.h"

namespace engine {

class WalkRecord {
 public:
  explicit WalkRecord(std::unique_ptr<platform::SpillStream> stream = nullptr);

  // Writing, by the counting walk. A folder's listing, read whole or broken
  // off (listedWhole false) after the entries it holds; folders, files and
  // links that lead nowhere are kept, other entries are never walked.
  void PutFolder(const std::vector<platform::DirEntry>& entries, bool listedWhole);
  // A sub-folder the counting walk did not enter or list.
  void PutNotWalked();

  // Reading, by the check walk. Starts (again) from the first mark; false
  // when the record cannot be read back (the check walk then lists for
  // itself).
  bool StartReading();
  enum class Mark { kFolder, kNotWalked, kNone };
  // The next mark. kNone: nothing (more) to replay, from here on the check
  // walk lists the folders itself.
  Mark TakeMark();
  // After kFolder: the folder's listing. False when it cannot be read back.
  bool TakeFolder(std::vector<platform::DirEntry>* entries, bool* listedWhole);
  // After kFolder: passes over the folder's record and all records below it
  // (a folder the check walk could not enter).
  void SkipFolder();
  // No more replay for the rest of the walk.
  void Drop() { usable_ = false; }

  bool Usable() const { return usable_; }

 private:
  void Put(const void* data, std::size_t n);
  void PutNumber(uint64_t v);
  bool Get(void* data, std::size_t n);
  bool GetNumber(uint64_t* v);

  std::unique_ptr<platform::SpillStream> stream_;
  bool usable_ = true;
};

}  // namespace engine
