#include "platform/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/file_io.h"

namespace platform {
namespace {

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
  const int fd = OpenRetrying(path, O_RDONLY | O_NOCTTY | O_NONBLOCK);
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
  const int fd = OpenRetrying(path, O_WRONLY | O_APPEND | O_CREAT | O_NOCTTY | O_NONBLOCK, 0644);
  if (fd < 0) return 1;
  const bool ok = WriteAll(fd, data);
  return (close(fd) == 0 && ok) ? 0 : 2;
}

int CreateNewFile(const std::string& path, std::string_view data) {
  const int fd = OpenRetrying(path, O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY, 0644);
  if (fd < 0) return errno == EEXIST ? 1 : 2;
  const bool ok = WriteAll(fd, data);
  return (close(fd) == 0 && ok) ? 0 : 2;
}

int OverwriteFile(const std::string& path, std::string_view data) {
  const int fd = OpenRetrying(path, O_WRONLY | O_CREAT | O_TRUNC | O_NOCTTY | O_NONBLOCK, 0644);
  if (fd < 0) return 1;
  const bool ok = WriteAll(fd, data);
  return (close(fd) == 0 && ok) ? 0 : 2;
}

int ProbeFile(const std::string& path) {
  const int fd = OpenRetrying(path, O_RDONLY | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return errno == ENOENT ? kFileMissing : kFileError;
  struct stat st {};
  const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  close(fd);
  return regular ? kFileOk : kFileError;
}

int ReadAt(const std::string& path, int64_t offset, void* out, std::size_t length) {
  const int fd = OpenRetrying(path, O_RDONLY | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return errno == ENOENT ? kFileMissing : kFileError;
  auto* bytes = static_cast<char*>(out);
  std::size_t got = 0;
  while (got < length) {
    const ssize_t n = pread(fd, bytes + got, length - got, static_cast<off_t>(offset) + static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  close(fd);
  return got == length ? kFileOk : kFileError;
}

int WriteAt(const std::string& path, int64_t offset, std::string_view data) {
  const int fd = OpenRetrying(path, O_WRONLY | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return 1;
  std::size_t put = 0;
  bool ok = true;
  while (put < data.size()) {
    const ssize_t n =
        pwrite(fd, data.data() + put, data.size() - put, static_cast<off_t>(offset) + static_cast<off_t>(put));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    put += static_cast<std::size_t>(n);
  }
  return (close(fd) == 0 && ok) ? 0 : 2;
}

int ReplaceFile(const std::string& target, std::string_view contents, const std::string& tempPath,
                const std::function<void()>& beforeReplace) {
  const int fd = OpenRetrying(tempPath, O_WRONLY | O_CREAT | O_TRUNC | O_NOCTTY, 0644);
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
  const int dir = OpenRetrying(FolderOf(target), O_RDONLY | O_DIRECTORY);
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
