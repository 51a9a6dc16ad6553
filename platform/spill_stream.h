#pragma once
// A stream of bytes written once and then read back once from its start. It
// is kept in a buffer of fixed size and, once that is full, in an unlinked
// temporary file, so that its memory stays the same however long it grows.
// The file vanishes with the stream, and with the process if it dies.
#include <cstddef>
#include <string>
#include <vector>

namespace platform {

class SpillStream {
 public:
  // tempFolders: where the temporary file may go, tried in order (empty: the
  // folder of $TMPDIR, then /tmp, then /var/tmp).
  explicit SpillStream(std::size_t bufferBytes = 64 * 1024, std::vector<std::string> tempFolders = {});
  ~SpillStream();
  SpillStream(const SpillStream&) = delete;
  SpillStream& operator=(const SpillStream&) = delete;

  // Appends bytes. False once anything could not be kept (no room for the
  // buffer, no temporary file, a failed write): the stream is then broken
  // and stays so.
  bool Write(const void* data, std::size_t n);
  // Ends the writing; reading starts at the first byte. False when broken.
  bool Rewind();
  // Reads exactly n bytes. False at the end of the stream or on an error.
  bool Read(void* data, std::size_t n);

  bool Broken() const { return broken_; }
  // Whether the stream has gone to a temporary file (tests look at it).
  bool Spilled() const { return fd_ >= 0; }

 private:
  bool Spill();
  bool Fill();

  std::size_t capacity_;
  std::vector<std::string> folders_;
  std::vector<char> buffer_;
  std::size_t used_ = 0;  // bytes in the buffer
  std::size_t pos_ = 0;   // next byte to read from the buffer
  bool reading_ = false;
  bool broken_ = false;
  int fd_ = -1;
};

}  // namespace platform
