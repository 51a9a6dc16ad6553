#pragma once
// Files and folders as the walk and the reader see them. Names are bytes and
// are passed through unchanged; a read interrupted by a signal is retried.
#include <dirent.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// open(2) that goes on after an interruption by a signal; the descriptor is
// never inherited by other programs. Returns it, or -1 with errno set.
int OpenRetrying(const std::string& path, int flags, unsigned mode = 0);
// The same, for a name relative to the open folder folderFd.
int OpenAtRetrying(int folderFd, const std::string& path, int flags, unsigned mode = 0);

// Opens a regular file by its name (relative to the current directory) for
// reading. Returns the descriptor, or -1 with errno set. Anything that is not
// a regular file by the time it is opened (a FIFO, a device) is refused
// without blocking.
int OpenFileForReading(const std::string& name);
// The same for a name in the open folder folderFd, with more open flags
// (O_NOFOLLOW, say).
int OpenFileForReadingAt(int folderFd, const std::string& name, int extraFlags);

// Reads up to length bytes into buffer as one request, going on after short
// reads until the length is reached or the file ends. Returns the number of
// bytes read (endOfFile set when the file ended first), or -1 on a read error.
long ReadBlock(int fd, void* buffer, long length, bool* endOfFile);

// Moves the read position forward. Returns 0 on success.
int SkipForward(int fd, long bytes);

void CloseFile(int fd);

// Gives the calling thread a current directory of its own, so that its
// changes of directory (and those of the threads it starts afterwards) no
// longer move the program's: the program's stays where it was. 0, or an
// error number (the thread then shares the program's).
int TakeOwnCurrentDirectory();

// 0 when the folder exists, can be entered and is now the current directory.
int ChangeDirectory(const std::string& path);

// Enters a folder of the current directory by its bare name, never through a
// symbolic link. 0 when it is now the current directory.
int EnterFolder(const std::string& name);

// The device that holds a folder (relative to the current directory, "."
// for the current one), taken from what the system already knows: a
// network share that does not answer is not asked. Nothing when the folder
// cannot be looked at.
std::optional<uint64_t> FolderDevice(const std::string& name);

// The size of the file system that holds the folder, in bytes; 0 when it
// cannot be told.
uint64_t FileSystemBytes(const std::string& folder);

// The current directory, or an empty text when it cannot be read.
std::string CurrentDirectory();

// One entry of a folder listing.
//
// Symbolic links are never followed off the tree being checked. A link is
// followed only when the path it holds, read as written (from the link's
// folder, or from "/" when absolute), lies inside the tree, and what it
// finally leads to lies inside the tree too, on the tree's device: it is then
// the file it leads to (a link to a folder is never walked into). A link
// that holds a path outside the tree (another machine's "/etc/passwd" on a
// disc) is what the disc records for it, a file of no bytes that reads fine,
// and is never opened. A link inside the tree that leads nowhere is a file
// that will not open.
struct DirEntry {
  enum Kind {
    kFolder,         // a real folder (never a symbolic link to one)
    kFile,           // a regular file, or a symbolic link to one inside the tree
    kDanglingLink,   // a file that will not open: a link inside the tree that leads
                     // nowhere, or an entry that cannot be looked at (EIO)
    kOther,          // links to folders, FIFOs, sockets, devices: neither counted nor opened
    kOutsideLink,    // a link out of the tree: a file of no bytes, never opened
  };
  std::string name;
  Kind kind = kOther;
  uint64_t size = 0;  // bytes, for kFile
};

// Lists the current directory in the order the file system returns it,
// leaving out "." and "..". A listing that breaks off on an error (a damaged
// folder sector) ends early and tells so through Failed(). tree is the
// folder of the whole tree being checked (the current directory when empty),
// which decides where links are followed.
class DirListing {
 public:
  DirListing() = default;
  ~DirListing();
  DirListing(const DirListing&) = delete;
  DirListing& operator=(const DirListing&) = delete;

  bool Open(const std::string& tree = {});  // the current directory
  bool Next(DirEntry& entry);
  bool Failed() const { return failed_; }

 private:
  DirEntry::Kind LinkKind(const char* name, uint64_t* size);

  DIR* dir_ = nullptr;
  bool failed_ = false;
  // Read when the first link is met: the tree and the listed folder,
  // canonical (the tree empty when it cannot be told), the tree's device.
  bool looked_ = false;
  std::string tree_;
  std::string here_;
  uint64_t treeDevice_ = 0;
};

// A part of a file: where it starts and how many bytes it holds.
struct ByteRange {
  int64_t offset = 0;
  int64_t length = 0;
  bool operator==(const ByteRange&) const = default;
};

// The current directory held by a descriptor, so that its files can still be
// opened after the walk has moved on; -1 when it cannot be held.
int HoldCurrentFolder();

// Whether the held folder lies on a file system of a disc or a disk (ISO
// 9660, UDF, ext4, XFS, ...), which the system reads from its device through
// its cache. Network, FUSE and memory file systems are not.
bool OnDiscOrDiskFileSystem(int folderFd);

// Opens a file of the held folder (never blocking on a FIFO) and, when it is
// a regular file, asks the system to bring the ranges into its cache without
// waiting for them. The open itself may wait for the device. False when the
// file cannot be opened.
bool AdviseWillNeed(int folderFd, const std::string& name, const std::vector<ByteRange>& ranges);

// The whole listing of the current directory, in listing order, read before
// anything in it is walked, so that a walk holds no descriptor per level.
// False when it cannot be started or breaks off; the entries read until then
// are kept. tree: as for DirListing.
bool ListCurrentFolder(std::vector<DirEntry>* entries, const std::string& tree = {});

}  // namespace platform
