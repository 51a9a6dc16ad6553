#include "platform/rescue_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
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

// Reads [at, at + length) through fd, which reads past the cache in units of
// unit bytes: the whole units around it, into buffer. As DeviceSectors::Read.
long ReadAround(int fd, int64_t at, void* buffer, long length, int unit, int* error) {
  const int64_t from = at / unit * unit;
  const int64_t to = (at + length + unit - 1) / unit * unit;
  if (to - from > 4096) return -1;
  char* out = static_cast<char*>(buffer);
  ssize_t n = -1;
  do {
    n = pread(fd, out, static_cast<size_t>(to - from), from);
  } while (n < 0 && errno == EINTR);
  if (n < 0 && errno == EIO) *error = EIO;
  if (n < at + length - from) return -1;
  *error = 0;
  if (from != at) std::memmove(out, out + (at - from), static_cast<std::size_t>(length));
  return length;
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

bool OnOpticalFileSystem(int fd) {
  struct statfs fs {};
  return fstatfs(fd, &fs) == 0 && (fs.f_type == kIso9660Magic || fs.f_type == kUdfMagic);
}

DeviceSectors::~DeviceSectors() {
  if (fd_ >= 0) close(fd_);
}

long DeviceSectors::Read(int fileFd, uint64_t device, int64_t offset, void* buffer, long length, int* error) {
  *error = ENOTSUP;  // unless the device itself fails the read
  if (offset < 0 || length <= 0 || length > 4096) return -1;

  // The same file opened again past the cache, where its file system allows
  // it (UDF does, iso9660 does not), which any user may do.
  const int direct = OpenRetrying("/proc/self/fd/" + std::to_string(fileFd), O_RDONLY | O_DIRECT | O_CLOEXEC);
  if (direct >= 0) {
    const long got = ReadAround(direct, offset, buffer, length, kOpticalSector, error);
    close(direct);
    if (got >= 0 || *error == EIO) return got;
  }

  // Else the device at the place the file system maps the bytes to; only
  // root may ask for it. The blocks must follow each other there too.
  int blockSize = 0;
  if (ioctl(fileFd, FIGETBSZ, &blockSize) != 0 || !Plausible(blockSize)) return -1;
  const int64_t first = offset / blockSize, last = (offset + length - 1) / blockSize;
  if (last > INT_MAX) return -1;
  int64_t start = 0;
  for (int64_t b = first; b <= last; ++b) {
    int block = static_cast<int>(b);
    if (ioctl(fileFd, FIBMAP, &block) != 0 || block <= 0) return -1;  // refused, or a hole
    if (b == first) {
      start = block;
    } else if (block != start + (b - first)) {
      return -1;
    }
  }
  if (fd_ < 0 || device_ != device) {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    // The device's node, by the name the kernel gives it (no udev needed).
    std::string text;
    bool truncated = false;
    const std::string uevent =
        "/sys/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device)) + "/uevent";
    if (ReadWholeFile(uevent, 4096, &text, &truncated) != kFileOk) return -1;
    const std::size_t key = text.find("DEVNAME=");
    if (key == std::string::npos) return -1;
    const std::string name = text.substr(key + 8, text.find('\n', key) - key - 8);
    if (name.empty() || name.find("..") != std::string::npos) return -1;
    // Read only, past the cache, and without the checks of a drive's tray.
    const int fd = OpenRetrying("/dev/" + name, O_RDONLY | O_DIRECT | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return -1;
    struct stat st {};
    int logical = 0;
    if (fstat(fd, &st) != 0 || !S_ISBLK(st.st_mode) || static_cast<uint64_t>(st.st_rdev) != device ||
        ioctl(fd, BLKSSZGET, &logical) != 0 || !Plausible(logical) || logical > 4096) {
      close(fd);
      return -1;
    }
    fd_ = fd;
    device_ = device;
    logical_ = logical;
  }
  return ReadAround(fd_, start * blockSize + offset % blockSize, buffer, length, logical_, error);
}

int SectorSizeOf(int fd) {
  if (OnOpticalFileSystem(fd)) return kOpticalSector;
  struct stat st {};
  if (fstat(fd, &st) != 0) return kDefaultSector;
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

OwnedFd::~OwnedFd() {
  if (fd_ >= 0) close(fd_);
}

OwnedFd& OwnedFd::operator=(OwnedFd&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = other.Release();
  }
  return *this;
}

int OwnedFd::Release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

OwnedFd OpenFolderBelow(int folderFd, std::string_view below, bool make, int* error, std::string* blocked) {
  *error = 0;
  blocked->clear();
  OwnedFd at(fcntl(folderFd, F_DUPFD_CLOEXEC, 0));
  if (!at.Valid()) {
    *error = errno;
    return {};
  }
  std::size_t begin = 0;
  while (begin < below.size()) {
    std::size_t end = below.find('/', begin);
    if (end == std::string_view::npos) end = below.size();
    const std::string name(below.substr(begin, end - begin));
    const std::string_view passed = below.substr(0, end);
    begin = end + 1;
    const auto fail = [&](int why) {
      *error = why;
      blocked->assign(passed);
      return OwnedFd();
    };
    if (name.empty() || name == "." || name == "..") return fail(EINVAL);
    if (name.size() > NAME_MAX) return fail(ENAMETOOLONG);
    constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NOCTTY;
    int fd = OpenAtRetrying(at.Get(), name, kFlags);
    if (fd < 0 && errno == ENOENT && make) {
      if (mkdirat(at.Get(), name.c_str(), 0755) != 0 && errno != EEXIST) return fail(errno);
      // Whatever stands there now (made by us, or by somebody in between) is
      // looked at as anything else is.
      fd = OpenAtRetrying(at.Get(), name, kFlags);
    }
    if (fd < 0) {
      // O_NOFOLLOW on a link says ELOOP; O_DIRECTORY on a file ENOTDIR.
      const int why = errno;
      struct stat st {};
      if (why == ENOTDIR && fstatat(at.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
        return fail(ELOOP);
      }
      return fail(why);
    }
    at = OwnedFd(fd);
  }
  return at;
}

int OpenFileInFolder(int folderFd, const std::string& name) {
  const int fd = OpenFileForReadingAt(folderFd, name, O_NOFOLLOW);
  if (fd >= 0 || errno != ELOOP) return fd;
  // A link: followed only to a file on the folder's own device.
  const int followed = OpenFileForReadingAt(folderFd, name, 0);
  if (followed < 0) return -1;
  struct stat st {}, folder {};
  if (fstat(followed, &st) != 0 || fstat(folderFd, &folder) != 0 || folder.st_dev != st.st_dev) {
    close(followed);
    errno = EINVAL;
    return -1;
  }
  return followed;
}

Entry LookAt(int folderFd, const std::string& name, int64_t* length) {
  struct stat st {};
  if (fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    return errno == ENOENT ? Entry::kMissing : Entry::kOther;
  }
  if (!S_ISREG(st.st_mode)) return Entry::kOther;
  if (length != nullptr) *length = static_cast<int64_t>(st.st_size);
  return Entry::kFile;
}

std::vector<std::string> NamesIn(int folderFd) {
  std::vector<std::string> names;
  const int fd = OpenAtRetrying(folderFd, ".", O_RDONLY | O_DIRECTORY);
  if (fd < 0) return names;
  DIR* dir = fdopendir(fd);
  if (dir == nullptr) {
    close(fd);
    return names;
  }
  while (const dirent* e = readdir(dir)) {
    const std::string_view name = e->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  closedir(dir);
  return names;
}

int OpenCopyAt(int folderFd, const std::string& name, bool empty, WriteProblem* problem) {
  // A FIFO or device in the copy's place is neither blocked on nor emptied:
  // the type is looked at before anything is cut.
  const int fd = OpenAtRetrying(folderFd, name, O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0644);
  if (fd < 0) {
    *problem = ProblemOfError(errno);
    return -1;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink > 1) {
    close(fd);
    *problem = st.st_nlink > 1 ? WriteProblem::kLink : WriteProblem::kNotAFile;
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

int RenameAt(int folderFd, const std::string& from, const std::string& to) {
  if (renameat2(folderFd, from.c_str(), folderFd, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // A file system that cannot refuse to replace: looked at first.
  struct stat st {};
  if (fstatat(folderFd, to.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return EEXIST;
  return renameat(folderFd, from.c_str(), folderFd, to.c_str()) == 0 ? 0 : errno;
}

void FlushVolume(int fd) { syncfs(fd); }

int RemoveAt(int folderFd, const std::string& name) {
  if (unlinkat(folderFd, name.c_str(), 0) != 0 && errno != ENOENT) return errno;
  return 0;
}

}  // namespace platform
