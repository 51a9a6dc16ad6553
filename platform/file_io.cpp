#include "platform/file_io.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace platform {

int OpenAtRetrying(int folderFd, const std::string& path, int flags, unsigned mode) {
  int fd;
  do {
    fd = openat(folderFd, path.c_str(), flags | O_CLOEXEC, static_cast<mode_t>(mode));
  } while (fd < 0 && errno == EINTR);
  return fd;
}

int OpenRetrying(const std::string& path, int flags, unsigned mode) {
  return OpenAtRetrying(AT_FDCWD, path, flags, mode);
}

int OpenFileForReading(const std::string& name) { return OpenFileForReadingAt(AT_FDCWD, name, 0); }

int OpenFileForReadingAt(int folderFd, const std::string& name, int extraFlags) {
  // O_NONBLOCK: a FIFO that appeared after the listing must not hang the open.
  const int fd = OpenAtRetrying(folderFd, name, O_RDONLY | O_NOCTTY | O_NONBLOCK | extraFlags);
  if (fd < 0) return -1;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    errno = EINVAL;
    return -1;
  }
  const int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return fd;
}

long ReadBlock(int fd, void* buffer, long length, bool* endOfFile) {
  *endOfFile = false;
  long got = 0;
  auto* out = static_cast<char*>(buffer);
  while (got < length) {
    const ssize_t n = read(fd, out + got, static_cast<size_t>(length - got));
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) {
      *endOfFile = true;
      break;
    }
    got += n;
  }
  return got;
}

int SkipForward(int fd, long bytes) {
  return lseek(fd, bytes, SEEK_CUR) < 0 ? -1 : 0;
}

void CloseFile(int fd) {
  if (fd >= 0) close(fd);
}

int TakeOwnCurrentDirectory() { return unshare(CLONE_FS) == 0 ? 0 : errno; }

int ChangeDirectory(const std::string& path) {
  return chdir(path.c_str()) == 0 ? 0 : -1;
}

int EnterFolder(const std::string& name) {
  const int fd = OpenRetrying(name, O_PATH | O_DIRECTORY | O_NOFOLLOW);
  if (fd < 0) return -1;
  const int r = fchdir(fd);
  close(fd);
  return r == 0 ? 0 : -1;
}

std::optional<uint64_t> FolderDevice(const std::string& name) {
  struct statx st {};
  if (statx(AT_FDCWD, name.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | AT_STATX_DONT_SYNC, STATX_TYPE, &st) != 0) {
    return std::nullopt;
  }
  return static_cast<uint64_t>(st.stx_dev_major) << 32 | st.stx_dev_minor;
}

uint64_t FileSystemBytes(const std::string& folder) {
  struct statvfs st {};
  if (statvfs(folder.c_str(), &st) != 0) return 0;
  return static_cast<uint64_t>(st.f_blocks) * static_cast<uint64_t>(st.f_frsize);
}

std::string CurrentDirectory() {
  std::string buf(PATH_MAX, '\0');
  for (;;) {
    if (getcwd(buf.data(), buf.size()) != nullptr) {
      buf.resize(std::strlen(buf.c_str()));
      return buf;
    }
    if (errno != ERANGE || buf.size() > (1u << 20)) return {};
    buf.resize(buf.size() * 2);
  }
}

int HoldCurrentFolder() { return OpenRetrying(".", O_PATH | O_DIRECTORY); }

bool OnDiscOrDiskFileSystem(int folderFd) {
  struct statfs st {};
  if (fstatfs(folderFd, &st) != 0) return false;
  switch (static_cast<unsigned long>(st.f_type)) {
    case 0x9660:      // ISO 9660
    case 0x15013346:  // UDF
    case 0xEF53:      // ext2, ext3, ext4
    case 0x58465342:  // XFS
    case 0x9123683E:  // btrfs
    case 0x4d44:      // FAT
    case 0x2011BAB0:  // exFAT
    case 0x5346544e:  // NTFS
    case 0x7366746e:  // NTFS (ntfs3)
    case 0xF2F52010:  // F2FS
    case 0x482b:      // HFS+
    case 0x4244:      // HFS
      return true;
    default:
      return false;
  }
}

bool AdviseWillNeed(int folderFd, const std::string& name, const std::vector<ByteRange>& ranges) {
  const int fd = OpenAtRetrying(folderFd, name, O_RDONLY | O_NOCTTY | O_NONBLOCK, 0);
  if (fd < 0) return false;
  struct stat st {};
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    for (const ByteRange& r : ranges) posix_fadvise(fd, r.offset, r.length, POSIX_FADV_WILLNEED);
  }
  close(fd);
  return true;
}

DirListing::~DirListing() {
  if (dir_ != nullptr) closedir(dir_);
}

namespace {

// The path with "." and ".." and repeated slashes taken out as written,
// following no link.
std::string Lexical(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t i = 0;
  while (i <= path.size()) {
    std::size_t j = path.find('/', i);
    if (j == std::string::npos) j = path.size();
    const std::string part = path.substr(i, j - i);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    i = j + 1;
  }
  std::string out;
  for (const std::string& p : parts) out += "/" + p;
  return out.empty() ? "/" : out;
}

// Whether a canonical path lies inside the tree (or is it).
bool Inside(const std::string& path, const std::string& tree) {
  if (tree.empty() || path.empty()) return false;
  if (tree == "/") return path[0] == '/';
  return path.compare(0, tree.size(), tree) == 0 && (path.size() == tree.size() || path[tree.size()] == '/');
}

std::string Canonical(const char* path) {
  char* real = realpath(path, nullptr);
  if (real == nullptr) return {};
  std::string out = real;
  free(real);
  return out;
}

}  // namespace

bool DirListing::Open(const std::string& tree) {
  dir_ = opendir(".");
  failed_ = dir_ == nullptr;
  if (dir_ == nullptr) return false;
  tree_ = tree;
  looked_ = false;
  return true;
}

DirEntry::Kind DirListing::LinkKind(const char* name, uint64_t* size) {
  const int fd = dirfd(dir_);
  if (!looked_) {
    // Where this folder and the tree are, once per listing that holds a
    // link. A tree that cannot be told has no link followed.
    looked_ = true;
    here_ = Canonical(".");
    tree_ = Canonical(tree_.empty() ? "." : tree_.c_str());
    struct stat st {};
    if (tree_.empty() || here_.empty() || stat(tree_.c_str(), &st) != 0) tree_.clear();
    treeDevice_ = st.st_dev;
  }
  std::string text(PATH_MAX, '\0');
  const ssize_t n = readlinkat(fd, name, text.data(), text.size());
  if (n < 0) return DirEntry::kDanglingLink;
  text.resize(static_cast<std::size_t>(n));
  const std::string written = Lexical(text[0] == '/' ? text : here_ + "/" + text);
  if (!Inside(written, tree_)) return DirEntry::kOutsideLink;
  struct stat st {};
  if (fstatat(fd, name, &st, 0) != 0) return DirEntry::kDanglingLink;
  const std::string target = Canonical(name);
  if (target.empty()) return DirEntry::kDanglingLink;
  if (!Inside(target, tree_) || st.st_dev != treeDevice_) return DirEntry::kOutsideLink;
  if (!S_ISREG(st.st_mode)) return DirEntry::kOther;
  *size = static_cast<uint64_t>(st.st_size);
  return DirEntry::kFile;
}

bool ListCurrentFolder(std::vector<DirEntry>* entries, const std::string& tree) {
  entries->clear();
  DirListing listing;
  if (!listing.Open(tree)) return false;
  DirEntry e;
  while (listing.Next(e)) entries->push_back(std::move(e));
  return !listing.Failed();
}

bool DirListing::Next(DirEntry& entry) {
  if (dir_ == nullptr) return false;
  for (;;) {
    errno = 0;
    const dirent* d = readdir(dir_);
    if (d == nullptr) {
      if (errno != 0) failed_ = true;
      return false;
    }
    if (std::strcmp(d->d_name, ".") == 0 || std::strcmp(d->d_name, "..") == 0) continue;
    entry.name = d->d_name;
    entry.size = 0;
    const int fd = dirfd(dir_);
    struct stat st {};
    unsigned char type = d->d_type;
    if (type == DT_UNKNOWN) {
      // Disc file systems list no types: the entry itself is looked at.
      if (fstatat(fd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        // Gone since the listing, it is left out; one that cannot be looked
        // at (a damaged file entry) is a file that will not open.
        entry.kind = errno == ENOENT ? DirEntry::kOther : DirEntry::kDanglingLink;
        return true;
      }
      type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : S_ISLNK(st.st_mode) ? DT_LNK : DT_FIFO;
    }
    switch (type) {
      case DT_DIR:
        entry.kind = DirEntry::kFolder;
        return true;
      case DT_REG:
        if (fstatat(fd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
          // Listed but gone or unreadable: the reader will report it.
          entry.kind = DirEntry::kDanglingLink;
          return true;
        }
        entry.kind = DirEntry::kFile;
        entry.size = static_cast<uint64_t>(st.st_size);
        return true;
      case DT_LNK:
        entry.kind = LinkKind(d->d_name, &entry.size);
        return true;
      default:
        entry.kind = DirEntry::kOther;
        return true;
    }
  }
}

}  // namespace platform
