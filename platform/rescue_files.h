#pragma once
// What a rescue needs of the system beyond a check: reads at a position, the
// sector size of the volume a file lies on, and the copies it writes, which
// are never reached through a symbolic link.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/whole_file.h"

namespace platform {

// Reads up to length bytes at offset, going on after short reads until the
// length is reached or the file ends. Returns the bytes read (fewer only at
// the end of the file), or -1 on a read error.
long ReadAtOffset(int fd, void* buffer, long length, int64_t offset);

// Asks the system to bring [offset, offset + length) of the open file into
// its cache in the background.
void AdviseAhead(int fd, int64_t offset, int64_t length);

// The smallest unit the volume of the file at path can read: 2,048 bytes on an
// optical disc's file system (iso9660, UDF), the device's logical block size
// on a block device, 512 elsewhere.
int SectorSizeOf(const std::string& path);

// Whether the file at path lies on an optical disc's file system (iso9660,
// UDF), whose sectors are smaller than the pages the system reads files in.
bool OnOpticalFileSystem(const std::string& path);

// Reads a file's sectors from its device one by one, past the system's
// cache. The cache reads a disc's file in 4 KiB pages, two sectors each, and
// a page with one bad sector fails whole; here the good one of the two is
// read on its own: through the file opened past the cache where its file
// system allows that (UDF), else from the device at the place the file system
// maps the sector to, which needs root's right to ask for that place
// (iso9660). Where neither can be done, Read says so. One per reader thread;
// never writes.
class DeviceSectors {
 public:
  DeviceSectors() = default;
  ~DeviceSectors();
  DeviceSectors(const DeviceSectors&) = delete;
  DeviceSectors& operator=(const DeviceSectors&) = delete;

  // Reads length bytes (up to 4,096) of the open file fileFd at offset from
  // the device it lies on (device) into buffer, which is aligned to 4,096
  // bytes and has room for 4,096. Returns the bytes read (length), or -1 with
  // *error EIO when the device could not read them, another errno when they
  // could not be asked of it (then the file itself is worth a try).
  long Read(int fileFd, uint64_t device, int64_t offset, void* buffer, long length, int* error);

 private:
  uint64_t device_ = 0;
  int fd_ = -1;
  int logical_ = 0;  // the device's logical block size
};

// The device the file or folder at path lies on, following links.
std::optional<uint64_t> DeviceOfPath(const std::string& path);

// Whether path (a folder, followed through links) is inside folder or is
// folder itself, compared by device and inode along path's parents.
bool FolderIsWithin(const std::string& path, const std::string& folder);

// Creates every missing folder of path (mode 0755). Existing folders, links
// to folders included, are used as they are. 0 success, else an errno.
int MakeFolders(const std::string& path);

// Opens a copy for writing: created when absent, an existing one kept as it
// is (or emptied when empty is set); refused when the last component is a
// link or not a regular file. Returns the descriptor, or -1 with *problem set.
int OpenCopy(const std::string& path, bool empty, WriteProblem* problem);

// Writes every byte at offset. 0 success, else an errno.
int WriteAtOffset(int fd, const void* data, long length, int64_t offset);

// Gives the open copy its length (holes read as zeros). 0 success, else an
// errno.
int SetCopyLength(int fd, int64_t length);

// Flushes the copy's data to the disk. 0 success, else an errno.
int FlushCopy(int fd);

// Renames from to to (both in the same folder). 0 success, else an errno.
int RenameCopy(const std::string& from, const std::string& to);

// Writes everything of the volume that holds folder to its disk.
void FlushFolderVolume(const std::string& folder);

// Removes the file at path when there is one. 0 success or nothing there.
int RemoveFile(const std::string& path);

}  // namespace platform
