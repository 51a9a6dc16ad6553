#include "platform/whole_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
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

namespace {

int ReadOpened(int fd, std::size_t maxSize, std::string* text, bool* truncated) {
  text->clear();
  *truncated = false;
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

}  // namespace

int ReadWholeFile(const std::string& path, std::size_t maxSize, std::string* text, bool* truncated) {
  return ReadOpened(OpenRetrying(path, O_RDONLY | O_NOCTTY | O_NONBLOCK), maxSize, text, truncated);
}

int ReadWholeFileAt(int folderFd, const std::string& name, std::size_t maxSize, std::string* text, bool* truncated) {
  return ReadOpened(OpenAtRetrying(folderFd, name, O_RDONLY | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW), maxSize, text,
                    truncated);
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) {
      errno = ENOSPC;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

WriteProblem ProblemOfError(int error) {
  switch (error) {
    case 0:
      return WriteProblem::kNone;
    case ELOOP:
    case EMLINK:
      return WriteProblem::kLink;
    case EISDIR:
    case ENXIO:
    case ENODEV:
    case ETXTBSY:
      return WriteProblem::kNotAFile;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return WriteProblem::kFull;
    case EACCES:
    case EPERM:
    case EROFS:
      return WriteProblem::kDenied;
    default:
      return WriteProblem::kOther;
  }
}

namespace {

void Tell(WriteProblem* problem, WriteProblem value) {
  if (problem != nullptr) *problem = value;
}

// Opens path for writing without following a link in its last component and
// without blocking on a FIFO, and keeps the descriptor only for a regular
// file. Returns -1 with *problem set otherwise.
int OpenForWriting(const std::string& path, int flags, WriteProblem* problem) {
  const int fd = OpenRetrying(path, flags | O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, 0644);
  if (fd < 0) {
    Tell(problem, ProblemOfError(errno));
    return -1;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    Tell(problem, WriteProblem::kNotAFile);
    errno = EINVAL;
    return -1;
  }
  return fd;
}

// Closes fd and tells how the whole operation went.
int Finish(int fd, bool written, WriteProblem* problem) {
  int error = written ? 0 : errno;
  if (close(fd) != 0 && error == 0) error = errno;
  if (error == 0) {
    Tell(problem, WriteProblem::kNone);
    return 0;
  }
  Tell(problem, ProblemOfError(error));
  return 2;
}

}  // namespace

int AppendToFile(const std::string& path, std::string_view data, WriteProblem* problem) {
  const int fd = OpenForWriting(path, O_APPEND | O_CREAT, problem);
  if (fd < 0) return 1;
  struct stat st {};
  const off_t before = fstat(fd, &st) == 0 ? st.st_size : -1;
  bool ok = WriteAll(fd, data);
  if (!ok) {
    // A record goes in whole or not at all: what did go in is cut off again.
    const int error = errno;
    if (before >= 0 && ftruncate(fd, before) != 0) {
      // Nothing more can be done; the reader of the file copes with a torn end.
    }
    errno = error;
  }
  return Finish(fd, ok, problem);
}

int CreateNewFile(const std::string& path, std::string_view data, WriteProblem* problem) {
  const int fd = OpenRetrying(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0644);
  if (fd < 0) {
    const int error = errno;
    Tell(problem, error == EEXIST ? WriteProblem::kOther : ProblemOfError(error));
    return error == EEXIST ? 1 : 2;
  }
  const bool ok = WriteAll(fd, data);
  const int result = Finish(fd, ok, problem);
  // A file that could not be filled is not left half made.
  if (result != 0) unlink(path.c_str());
  return result;
}

int OverwriteFile(const std::string& path, std::string_view data, WriteProblem* problem) {
  // Emptied only once it is known to be a regular file of its own.
  const int fd = OpenForWriting(path, O_CREAT, problem);
  if (fd < 0) return 1;
  if (ftruncate(fd, 0) != 0) {
    Finish(fd, false, problem);
    return 1;
  }
  const bool ok = WriteAll(fd, data);
  if (!ok) {
    // The contents go in whole or not at all: a part is cut off again.
    const int error = errno;
    if (ftruncate(fd, 0) != 0) {
      // Nothing more can be done; the reader of the file copes with a torn end.
    }
    errno = error;
  }
  return Finish(fd, ok, problem);
}

int CutFile(const std::string& path, int64_t length, WriteProblem* problem) {
  const int fd = OpenForWriting(path, 0, problem);
  if (fd < 0) return 1;
  const bool ok = ftruncate(fd, static_cast<off_t>(length)) == 0;
  return Finish(fd, ok, problem);
}

int ProbeFile(const std::string& path) {
  const int fd = OpenRetrying(path, O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? kFileMissing : kFileError;
  struct stat st {};
  const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  close(fd);
  return regular ? kFileOk : kFileError;
}

int64_t RegularFileLength(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<int64_t>(st.st_size);
}

WriteProblem ProblemOfPath(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return errno == ENOENT ? WriteProblem::kNone : ProblemOfError(errno);
  if (S_ISLNK(st.st_mode)) return WriteProblem::kLink;
  if (!S_ISREG(st.st_mode)) return WriteProblem::kNotAFile;
  if (access(path.c_str(), R_OK | W_OK) != 0) return ProblemOfError(errno);
  return WriteProblem::kNone;
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

int WriteAt(const std::string& path, int64_t offset, std::string_view data, WriteProblem* problem) {
  const int fd = OpenForWriting(path, 0, problem);
  if (fd < 0) return 1;
  std::size_t put = 0;
  bool ok = true;
  while (put < data.size()) {
    const ssize_t n =
        pwrite(fd, data.data() + put, data.size() - put, static_cast<off_t>(offset) + static_cast<off_t>(put));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      ok = false;
      break;
    }
    put += static_cast<std::size_t>(n);
  }
  return Finish(fd, ok, problem);
}

int ReplaceFile(const std::string& target, std::string_view contents, const std::string& tempPath,
                const std::function<void()>& beforeReplace) {
  if (ReplaceFileAt(AT_FDCWD, target, contents, tempPath, beforeReplace) != 0) return -1;
  // The rename itself reaches the disk with the folder.
  const int dir = OpenRetrying(FolderOf(target), O_RDONLY | O_DIRECTORY);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return 0;
}

int ReplaceFileAt(int folderFd, const std::string& target, std::string_view contents, const std::string& tempPath,
                  const std::function<void()>& beforeReplace, bool flush) {
  // A fresh name each time, created exclusively: nothing planted under the
  // temporary name (a link above all) is ever written through.
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
    uint32_t random = 0;
    if (getrandom(&random, sizeof random, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof random)) {
      random = static_cast<uint32_t>(getpid()) * 2654435761u + static_cast<uint32_t>(attempt);
    }
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%08x", static_cast<unsigned>(random));
    temp = tempPath + suffix;
    fd = OpenAtRetrying(folderFd, temp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0644);
    if (fd < 0 && errno != EEXIST) return -1;
  }
  if (fd < 0) return -1;
  const bool written = WriteAll(fd, contents) && (!flush || fsync(fd) == 0);
  if (close(fd) != 0 || !written) {
    unlinkat(folderFd, temp.c_str(), 0);
    return -1;
  }
  if (beforeReplace) beforeReplace();
  if (renameat(folderFd, temp.c_str(), folderFd, target.c_str()) != 0) {
    unlinkat(folderFd, temp.c_str(), 0);
    return -1;
  }
  if (flush && folderFd != AT_FDCWD) fsync(folderFd);
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

LockedFile::LockedFile(const std::string& path) {
  fd_ = OpenRetrying(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd_ < 0) return;
  struct stat st {};
  bool locked = fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
  while (locked && flock(fd_, LOCK_EX) != 0) {
    if (errno != EINTR) locked = false;
  }
  if (!locked) {
    close(fd_);
    fd_ = -1;
  }
}

LockedFile::~LockedFile() {
  if (fd_ >= 0) close(fd_);  // lets the lock go
}

}  // namespace platform
