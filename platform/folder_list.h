#pragma once
// What the folder browser needs of the file system: the entries of a folder,
// listed by its path without entering it, and the label of a drive's volume.
// An abstract interface, so that tests can hand in listings that fail.
#include <string>
#include <vector>

#include "platform/drive_table.h"

namespace platform {

struct FolderEntry {
  std::string name;     // bytes as the file system holds them
  bool folder = false;  // a real folder (a symbolic link to one is not)
};

class FolderLister {
 public:
  virtual ~FolderLister() = default;
  // The entries of a folder (a Linux path), "." and ".." left out, hidden
  // ones included, in the order the file system returns them. False when the
  // folder cannot be listed; entries is then empty. May throw std::bad_alloc.
  virtual bool ListFolder(const std::string& folder, std::vector<FolderEntry>& entries) const = 0;
  // The label of the drive's volume as the system names it, without reading
  // the medium or touching a network mount; empty when none is known.
  virtual std::string VolumeLabel(const Drive& drive) const = 0;
};

class SystemFolderLister : public FolderLister {
 public:
  bool ListFolder(const std::string& folder, std::vector<FolderEntry>& entries) const override;
  std::string VolumeLabel(const Drive& drive) const override;
};

}  // namespace platform
