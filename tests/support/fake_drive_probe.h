#pragma once
// A machine made up for drive table tests: its mount table, its optical
// drives, which sources are removable, which paths are no folders, and the
// links that lead from one device name to another.
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/drive_table.h"

namespace testing_support {

class FakeDriveProbe : public platform::DriveProbe {
 public:
  std::string mountTable;
  std::vector<std::string> optical;
  std::set<std::string> removable;   // everything else under /dev is fixed
  std::set<std::string> notFolders;  // every other path is a folder
  std::map<std::string, std::string> links;

  std::string MountTable() const override { return mountTable; }
  std::vector<std::string> OpticalDevices() const override { return optical; }
  int Removable(const std::string& source) const override {
    if (removable.count(source) != 0) return 1;
    return source.rfind("/dev/", 0) == 0 ? 0 : -1;
  }
  bool IsFolder(const std::string& path) const override { return notFolders.count(path) == 0; }
  std::string Canonical(const std::string& path) const override {
    const auto it = links.find(path);
    return it == links.end() ? path : it->second;
  }
};

}  // namespace testing_support
