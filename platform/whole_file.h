#pragma once
// Whole-file helpers for the program's own small data files: read a file at
// once, append to it, write at an offset, and replace it atomically.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace platform {

enum WholeFileResult : int {
  kFileOk = 0,
  kFileMissing = 1,  // no such file
  kFileError = 2,    // it exists but cannot be opened or read
};

// Reads at most maxSize bytes of the file; *truncated tells whether there was
// more. Returns a WholeFileResult.
int ReadWholeFile(const std::string& path, std::size_t maxSize, std::string* text, bool* truncated);

// Writes every byte, going on after short writes and interruptions.
bool WriteAll(int fd, std::string_view data);

// Opens the file for appending (creating it when absent) and writes the data
// in one request. A FIFO in the file's place fails rather than blocks. 0 success, 1 the file cannot be opened, 2 the write failed.
int AppendToFile(const std::string& path, std::string_view data);

// Creates the file with the given contents; fails if it exists already.
// 0 success, 1 it exists, 2 it cannot be created or written.
int CreateNewFile(const std::string& path, std::string_view data);

// Creates the file, or empties an existing one, and writes the data. A FIFO
// in the file's place fails rather than blocks. 0 success, 1 the file cannot
// be opened, 2 the write failed.
int OverwriteFile(const std::string& path, std::string_view data);

// kFileOk when path is a regular file that can be opened for reading,
// kFileMissing when there is nothing, kFileError for anything else.
int ProbeFile(const std::string& path);

// Reads exactly length bytes at offset; fewer is kFileError.
int ReadAt(const std::string& path, int64_t offset, void* out, std::size_t length);

// Writes the data at offset of an existing file, which is not truncated.
// 0 success, 1 the file cannot be opened, 2 the write failed.
int WriteAt(const std::string& path, int64_t offset, std::string_view data);

// Replaces target with contents: writes tempPath, flushes it to the disk,
// calls beforeReplace (when set), renames it over target and flushes the
// folder. On any failure target is left as it was. 0 success, -1 failure.
int ReplaceFile(const std::string& target, std::string_view contents, const std::string& tempPath,
                const std::function<void()>& beforeReplace);

// Keeps the present contents of path as backupPath (replacing an older one);
// path itself stays. True on success.
bool KeepBackup(const std::string& path, const std::string& backupPath);

}  // namespace platform
