#pragma once
// What a rescue needs of the system beyond a check: reads at a position, the
// sector size of the volume a file lies on, and the copies it writes, which
// are never reached through a symbolic link.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/whole_file.h"

namespace platform {

// Reads up to length bytes at offset, going on after short reads until the
// length is reached or the file ends. Returns the bytes read (fewer only at
// the end of the file), or -1 on a read error.
long ReadAtOffset(int fd, void* buffer, long length, int64_t offset);

// Asks the system to bring [offset, offset + length) of the open file into
// its cache in the background.
void AdviseAhead(int fd, int64_t offset, int64_t length);

// The smallest unit the volume of the open file or folder fd can read: 2,048
// bytes on an optical disc's file system (iso9660, UDF), the device's logical
// block size on a block device, 512 elsewhere.
int SectorSizeOf(int fd);

// Whether the open file or folder fd lies on an optical disc's file system
// (iso9660, UDF), whose sectors are smaller than the pages the system reads
// files in.
bool OnOpticalFileSystem(int fd);

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
// to folders included, are used as they are: for a folder the user named.
// 0 success, else an errno.
int MakeFolders(const std::string& path);

// A descriptor that is closed with its owner.
class OwnedFd {
 public:
  OwnedFd() = default;
  explicit OwnedFd(int fd) : fd_(fd) {}
  ~OwnedFd();
  OwnedFd(OwnedFd&& other) noexcept : fd_(other.Release()) {}
  OwnedFd& operator=(OwnedFd&& other) noexcept;
  OwnedFd(const OwnedFd&) = delete;
  OwnedFd& operator=(const OwnedFd&) = delete;
  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  int Release();

 private:
  int fd_ = -1;
};

// Opens the folder below (names joined with '/', empty for folderFd itself)
// under the open folder folderFd, one name at a time, each relative to the
// folder before it and never through a symbolic link, so that nothing can
// lead it out of folderFd. With make, a missing folder is created (mode
// 0755). Returns the folder, or none with *error set (ELOOP: a symbolic link
// in the way, ENOTDIR: something else than a folder, ENAMETOOLONG, EINVAL for
// an empty name, "." or "..") and *blocked the path below folderFd of the
// name that could not be passed.
OwnedFd OpenFolderBelow(int folderFd, std::string_view below, bool make, int* error, std::string* blocked);

// Opens the regular file name of the open folder folderFd for reading, as
// OpenFileForReading. A symbolic link is followed only to a file on the
// folder's own device. -1 with errno set.
int OpenFileInFolder(int folderFd, const std::string& name);

// A file of the open folder folderFd, not followed through a link: absent,
// a regular file (*length its length), or anything else.
enum class Entry { kMissing, kFile, kOther };
Entry LookAt(int folderFd, const std::string& name, int64_t* length = nullptr);

// The names in the open folder folderFd ("." and ".." left out).
std::vector<std::string> NamesIn(int folderFd);

// Opens a copy in the open folder folderFd for writing: created when absent,
// an existing one kept as it is (or emptied when empty is set); refused when
// name is a link, not a regular file, or a file with other names (a hard
// link to a file elsewhere). Returns the descriptor, or -1 with *problem set.
int OpenCopyAt(int folderFd, const std::string& name, bool empty, WriteProblem* problem);

// Writes every byte at offset. 0 success, else an errno.
int WriteAtOffset(int fd, const void* data, long length, int64_t offset);

// Gives the open copy its length (holes read as zeros). 0 success, else an
// errno.
int SetCopyLength(int fd, int64_t length);

// Flushes the copy's data to the disk. 0 success, else an errno.
int FlushCopy(int fd);

// Renames from to to, both in the open folder folderFd, unless something
// stands under to already (EEXIST). 0 success, else an errno.
int RenameAt(int folderFd, const std::string& from, const std::string& to);

// Writes everything of the volume that holds the open folder fd to its disk.
void FlushVolume(int fd);

// Removes the file name of the open folder folderFd when there is one (a
// link itself, never what it points to). 0 success or nothing there.
int RemoveAt(int folderFd, const std::string& name);

}  // namespace platform
