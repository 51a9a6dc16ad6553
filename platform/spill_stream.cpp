#include "platform/spill_stream.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>

#include "platform/file_io.h"
#include "platform/whole_file.h"

namespace platform {
namespace {

// An unlinked file in folder, readable and writable by this process only.
int OpenTempFile(const std::string& folder) {
  int fd = OpenRetrying(folder, O_TMPFILE | O_RDWR, 0600);
  if (fd >= 0) return fd;
  // File systems without unnamed temporary files: a named one, unlinked at once.
  std::string name = folder + "/torvex-XXXXXX";
  fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd >= 0) unlink(name.c_str());
  return fd;
}

}  // namespace

SpillStream::SpillStream(std::size_t bufferBytes, std::vector<std::string> tempFolders)
    : capacity_(bufferBytes == 0 ? 1 : bufferBytes), folders_(std::move(tempFolders)) {
  if (folders_.empty()) {
    if (const char* tmp = std::getenv("TMPDIR"); tmp != nullptr && *tmp != '\0') folders_.emplace_back(tmp);
    folders_.emplace_back("/tmp");
    folders_.emplace_back("/var/tmp");
  }
}

SpillStream::~SpillStream() {
  if (fd_ >= 0) close(fd_);
}

bool SpillStream::Write(const void* data, std::size_t n) {
  if (broken_ || reading_) return false;
  if (buffer_.size() != capacity_) {
    try {
      buffer_.resize(capacity_);
    } catch (const std::bad_alloc&) {
      broken_ = true;
      return false;
    }
  }
  const auto* in = static_cast<const char*>(data);
  while (n > 0) {
    if (used_ == capacity_ && !Spill()) return false;
    const std::size_t take = std::min(n, capacity_ - used_);
    std::memcpy(buffer_.data() + used_, in, take);
    used_ += take;
    in += take;
    n -= take;
  }
  return true;
}

bool SpillStream::Spill() {
  if (fd_ < 0) {
    for (const std::string& folder : folders_) {
      fd_ = OpenTempFile(folder);
      if (fd_ >= 0) break;
    }
    if (fd_ < 0) {
      broken_ = true;
      return false;
    }
  }
  if (!WriteAll(fd_, std::string_view(buffer_.data(), used_))) {
    broken_ = true;
    return false;
  }
  used_ = 0;
  return true;
}

bool SpillStream::Rewind() {
  if (broken_) return false;
  if (!reading_) {
    reading_ = true;
    if (fd_ >= 0) {
      // What is still in the buffer goes after what the file holds.
      if (used_ > 0 && !Spill()) return false;
    }
  }
  pos_ = 0;
  if (fd_ >= 0) {
    used_ = 0;
    if (lseek(fd_, 0, SEEK_SET) != 0) {
      broken_ = true;
      return false;
    }
  }
  return true;
}

bool SpillStream::Fill() {
  if (fd_ < 0) return false;  // all of it was in the buffer
  bool end = false;
  const long n = ReadBlock(fd_, buffer_.data(), static_cast<long>(capacity_), &end);
  if (n < 0) broken_ = true;
  if (n <= 0) return false;
  used_ = static_cast<std::size_t>(n);
  pos_ = 0;
  return true;
}

bool SpillStream::Read(void* data, std::size_t n) {
  if (broken_ || !reading_) return false;
  auto* out = static_cast<char*>(data);
  while (n > 0) {
    if (pos_ == used_ && !Fill()) return false;
    const std::size_t take = std::min(n, used_ - pos_);
    std::memcpy(out, buffer_.data() + pos_, take);
    pos_ += take;
    out += take;
    n -= take;
  }
  return true;
}

}  // namespace platform
