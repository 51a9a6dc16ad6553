#pragma once
// A data disc in its drive that nobody has mounted: it is mounted read-only
// the way a desktop's file manager does, by asking UDisks2 on the system bus
// (which also asks the user for permission where the system wants that).
#include <string>

namespace platform {

enum MountResult : int {
  kMounted = 0,           // mounted now, or found mounted already
  kMountUnavailable = 1,  // no system bus, or no UDisks2 on it
  kMountFailed = 2,       // UDisks2 refused or failed; *why tells
};

class DiscMounter {
 public:
  virtual ~DiscMounter() = default;
  // Mounts the file system on device ("/dev/sr0") read-only. On kMounted,
  // *mountPoint is its folder (empty when it was mounted already and the
  // mount table must tell).
  virtual int MountReadOnly(const std::string& device, std::string* mountPoint, std::string* why) = 0;
};

// UDisks2 on the bus at busAddress ("unix:path=..."); empty: the system bus.
class UDisksMounter : public DiscMounter {
 public:
  explicit UDisksMounter(std::string busAddress = {}) : address_(std::move(busAddress)) {}
  int MountReadOnly(const std::string& device, std::string* mountPoint, std::string* why) override;

 private:
  std::string address_;
};

enum FolderAccess : int {
  kFolderReadable = 0,     // it can be entered and its whole listing read
  kFolderMissing = 1,      // nothing there, or no folder
  kFolderNotEnterable = 2, // no permission, or an error on the way in
  kFolderNotListable = 3,  // entered, but its listing cannot be read
};

// Whether the folder (the root of a disk) can be entered and listed. The
// current directory is never changed to find out.
int CheckFolderAccess(const std::string& path);

}  // namespace platform
