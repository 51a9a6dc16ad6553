#include "platform/rescue_files.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string>

#include "platform/file_io.h"

namespace platform {
namespace {

constexpr long kIso9660Magic = 0x9660;
constexpr long kUdfMagic = 0x15013346;
constexpr int kOpticalSector = 2048;
constexpr int kDefaultSector = 512;

int ReadNumber(const std::string& path) {
  std::string text;
  bool truncated = false;
  if (ReadWholeFile(path, 32, &text, &truncated) != kFileOk) return 0;
  try {
    return std::stoi(text);
  } catch (...) {
    return 0;
  }
}

// A power of two a sector can be.
bool Plausible(int size) { return size >= 512 && size <= 65536 && (size & (size - 1)) == 0; }

std::string Parent(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

long ReadAtOffset(int fd, void* buffer, long length, int64_t offset) {
  long got = 0;
  auto* out = static_cast<char*>(buffer);
  while (got < length) {
    const ssize_t n = pread(fd, out + got, static_cast<size_t>(length - got), offset + got);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    got += n;
  }
  return got;
}

void AdviseAhead(int fd, int64_t offset, int64_t length) { posix_fadvise(fd, offset, length, POSIX_FADV_WILLNEED); }

int SectorSizeOf(const std::string& path) {
  struct statfs fs {};
  if (statfs(path.c_str(), &fs) == 0 && (fs.f_type == kIso9660Magic || fs.f_type == kUdfMagic)) return kOpticalSector;
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return kDefaultSector;
  const std::string block =
      "/sys/dev/block/" + std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev));
  // A partition keeps the queue of its whole disk one folder up.
  for (const char* queue : {"/queue/logical_block_size", "/../queue/logical_block_size"}) {
    const int size = ReadNumber(block + queue);
    if (Plausible(size)) return size;
  }
  return kDefaultSector;
}

std::optional<uint64_t> DeviceOfPath(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return std::nullopt;
  return static_cast<uint64_t>(st.st_dev);
}

bool FolderIsWithin(const std::string& path, const std::string& folder) {
  struct stat target {};
  if (stat(folder.c_str(), &target) != 0) return false;
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) == nullptr) return false;
  std::string at = resolved;
  for (;;) {
    struct stat st {};
    if (stat(at.c_str(), &st) == 0 && st.st_dev == target.st_dev && st.st_ino == target.st_ino) return true;
    if (at == "/") return false;
    at = Parent(at);
  }
}

int MakeFolders(const std::string& path) {
  if (path.empty()) return EINVAL;
  struct stat st {};
  if (stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
  const std::string parent = Parent(path);
  if (parent != path) {
    const int made = MakeFolders(parent);
    if (made != 0) return made;
  }
  if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) return errno;
  return 0;
}

int OpenCopy(const std::string& path, bool empty, WriteProblem* problem) {
  // A FIFO or device in the copy's place is neither blocked on nor emptied:
  // the type is looked at before anything is cut.
  const int fd = OpenRetrying(path, O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0644);
  if (fd < 0) {
    *problem = ProblemOfError(errno);
    return -1;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    *problem = WriteProblem::kNotAFile;
    return -1;
  }
  if (empty && st.st_size != 0 && ftruncate(fd, 0) != 0) {
    *problem = ProblemOfError(errno);
    close(fd);
    return -1;
  }
  const int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  *problem = WriteProblem::kNone;
  return fd;
}

int WriteAtOffset(int fd, const void* data, long length, int64_t offset) {
  long put = 0;
  const auto* in = static_cast<const char*>(data);
  while (put < length) {
    const ssize_t n = pwrite(fd, in + put, static_cast<size_t>(length - put), offset + put);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return ENOSPC;
    put += n;
  }
  return 0;
}

int SetCopyLength(int fd, int64_t length) {
  struct stat st {};
  if (fstat(fd, &st) != 0) return errno;
  if (st.st_size == length) return 0;
  return ftruncate(fd, length) == 0 ? 0 : errno;
}

int FlushCopy(int fd) { return fdatasync(fd) == 0 ? 0 : errno; }

int RenameCopy(const std::string& from, const std::string& to) {
  return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

void FlushFolderVolume(const std::string& folder) {
  const int fd = OpenRetrying(folder, O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  syncfs(fd);
  close(fd);
}

int RemoveFile(const std::string& path) {
  if (unlink(path.c_str()) != 0 && errno != ENOENT) return errno;
  return 0;
}

}  // namespace platform
