#pragma once
// Whole-file helpers for the program's own small data files: read a file at
// once, append to it, write at an offset, and replace it atomically.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace platform {

// Why the program's own file could not be written, for telling the user.
enum class WriteProblem : int {
  kNone = 0,
  kLink,      // the name is a symbolic link: never written through
  kNotAFile,  // a folder, a FIFO, a device in the file's place
  kFull,      // no room left on the disk (or over a quota)
  kDenied,    // no permission, a read-only disk or an immutable file
  kOther,
};

// The problem an errno from open or write stands for.
WriteProblem ProblemOfError(int error);

enum WholeFileResult : int {
  kFileOk = 0,
  kFileMissing = 1,  // no such file
  kFileError = 2,    // it exists but cannot be opened or read
};

// Reads at most maxSize bytes of the file; *truncated tells whether there was
// more. Returns a WholeFileResult.
int ReadWholeFile(const std::string& path, std::size_t maxSize, std::string* text, bool* truncated);
// The same for a name in the open folder folderFd, never through a symbolic
// link.
int ReadWholeFileAt(int folderFd, const std::string& name, std::size_t maxSize, std::string* text, bool* truncated);

// Writes every byte, going on after short writes and interruptions.
bool WriteAll(int fd, std::string_view data);

// Every writing function below writes only a regular file reached without a
// symbolic link in its last component: a link, a folder, a FIFO or a device
// in the file's place is refused (and never blocks). Where problem is given
// it tells why a call failed (kNone on success).

// Opens the file for appending (creating it when absent) and writes the data
// in one request. The data goes in whole or not at all: after a short write
// (a full disk) the file is cut back to its old length. 0 success, 1 the file
// cannot be opened, 2 the write failed.
int AppendToFile(const std::string& path, std::string_view data, WriteProblem* problem = nullptr);

// Creates the file with the given contents; fails if it exists already. A
// file that could not be filled is removed again. 0 success, 1 it exists, 2
// it cannot be created or written.
int CreateNewFile(const std::string& path, std::string_view data, WriteProblem* problem = nullptr);

// Creates the file, or empties an existing one, and writes the data. 0
// success, 1 the file cannot be opened, 2 the write failed.
int OverwriteFile(const std::string& path, std::string_view data, WriteProblem* problem = nullptr);

// Cuts an existing regular file to length bytes. 0 success, else failure.
int CutFile(const std::string& path, int64_t length, WriteProblem* problem = nullptr);

// kFileOk when path is a regular file (not reached through a symbolic link)
// that can be opened for reading, kFileMissing when there is nothing,
// kFileError for anything else.
int ProbeFile(const std::string& path);

// The length of the regular file at path (a link is not followed), or -1
// when there is none.
int64_t RegularFileLength(const std::string& path);

// Why path cannot serve as one of the program's own data files: a link, not
// a regular file, or no permission; kNone when it looks usable or is absent.
WriteProblem ProblemOfPath(const std::string& path);

// Reads exactly length bytes at offset; fewer is kFileError.
int ReadAt(const std::string& path, int64_t offset, void* out, std::size_t length);

// Writes the data at offset of an existing file, which is not truncated.
// 0 success, 1 the file cannot be opened, 2 the write failed.
int WriteAt(const std::string& path, int64_t offset, std::string_view data, WriteProblem* problem = nullptr);

// Replaces target with contents: writes a fresh file named tempPath plus a
// random suffix (created exclusively, never through a link), flushes it to the
// disk, calls beforeReplace (when set), renames it over target and flushes
// the folder. On any failure target is left as it was. 0 success, -1 failure.
int ReplaceFile(const std::string& target, std::string_view contents, const std::string& tempPath,
                const std::function<void()>& beforeReplace);
// The same for names in the open folder folderFd (flushed as a whole after the
// rename); AT_FDCWD flushes no folder. Without flush nothing is flushed: for a
// caller that flushes the whole volume afterwards.
int ReplaceFileAt(int folderFd, const std::string& target, std::string_view contents, const std::string& tempPath,
                  const std::function<void()>& beforeReplace, bool flush = true);

// An exclusive lock (flock) on an existing regular file of the program's own,
// held until the object goes: other programs that take it on the same file
// wait meanwhile. The file is opened for reading only, never through a
// symbolic link and never blocking on a FIFO; where it cannot be opened or
// locked nothing is held.
class LockedFile {
 public:
  explicit LockedFile(const std::string& path);
  ~LockedFile();
  LockedFile(const LockedFile&) = delete;
  LockedFile& operator=(const LockedFile&) = delete;
  bool Held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// Keeps the present contents of path as backupPath (replacing an older one);
// path itself stays. True on success.
bool KeepBackup(const std::string& path, const std::string& backupPath);

}  // namespace platform
