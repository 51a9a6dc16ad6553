#include "platform/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace platform {
namespace {

int OpenRetry(const char* path, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = open(path, flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

int ReadWholeFile(const std::string& path, std::size_t maxSize, std::string* text, bool* truncated) {
  text->clear();
  *truncated = false;
  const int fd = OpenRetry(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return errno == ENOENT ? kFileMissing : kFileError;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return kFileError;
  }
  char buf[65536];
  while (true) {
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      close(fd);
      return kFileError;
    }
    if (n == 0) break;
    const std::size_t room = maxSize - text->size();
    if (static_cast<std::size_t>(n) > room) {
      text->append(buf, room);
      *truncated = true;
      break;
    }
    text->append(buf, static_cast<std::size_t>(n));
  }
  close(fd);
  return kFileOk;
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

int AppendToFile(const std::string& path, std::string_view data) {
  const int fd = OpenRetry(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOCTTY | O_NONBLOCK, 0644);
  if (fd < 0) return 1;
  const bool ok = WriteAll(fd, data);
  return (close(fd) == 0 && ok) ? 0 : 2;
}

int CreateNewFile(const std::string& path, std::string_view data) {
  const int fd = OpenRetry(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY, 0644);
  if (fd < 0) return errno == EEXIST ? 1 : 2;
  const bool ok = WriteAll(fd, data);
  return (close(fd) == 0 && ok) ? 0 : 2;
}

int ReplaceFile(const std::string& target, std::string_view contents, const std::string& tempPath,
                const std::function<void()>& beforeReplace) {
  const int fd = OpenRetry(tempPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOCTTY, 0644);
  if (fd < 0) return -1;
  const bool written = WriteAll(fd, contents) && fsync(fd) == 0;
  if (close(fd) != 0 || !written) {
    unlink(tempPath.c_str());
    return -1;
  }
  if (beforeReplace) beforeReplace();
  if (rename(tempPath.c_str(), target.c_str()) != 0) {
    unlink(tempPath.c_str());
    return -1;
  }
  // The rename itself reaches the disk with the folder.
  const int dir = OpenRetry(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return 0;
}

bool KeepBackup(const std::string& path, const std::string& backupPath) {
  // A second name for the same contents: the replacement then gives path a
  // new file and leaves the old one to the backup name.
  unlink(backupPath.c_str());
  if (link(path.c_str(), backupPath.c_str()) == 0) return true;
  // File systems without hard links: copy.
  std::string text;
  bool truncated = false;
  if (ReadWholeFile(path, static_cast<std::size_t>(1) << 30, &text, &truncated) != kFileOk) return false;
  return ReplaceFile(backupPath, text, backupPath + ".tmp", nullptr) == 0;
}

}  // namespace platform
