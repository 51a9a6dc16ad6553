#pragma once
// How a file is read: in blocks of 32,768 bytes from its start; with fast
// checking, 65,536 bytes are passed over after each block while more than
// that remains. The reader and the read-ahead both go by these steps, so that
// the read-ahead asks for exactly the blocks the reader will. A rescue reads
// the same blocks, and a block that fails again sector by sector.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/file_io.h"

namespace engine {

inline constexpr int kBlockSize = 32768;
inline constexpr int kFastSkip = 65536;

// The buffer a reader reads its blocks into.
struct alignas(4096) Block {
  char data[kBlockSize];
};

// The length of the block that begins at done in a file of size bytes
// (0 once done has reached the size).
inline long BlockLength(int64_t size, int64_t done) {
  return static_cast<long>(std::min<int64_t>(size - done, kBlockSize));
}
// The bytes passed over after a block that ended at done.
inline int64_t PassedOver(int64_t size, int64_t done, bool fastCheck) {
  return fastCheck && size - done > kFastSkip ? kFastSkip : 0;
}
// Every range of a file that the reader asks for, in order, adjacent blocks
// joined.
std::vector<platform::ByteRange> BlocksRead(int64_t size, bool fastCheck);

// The blocks (as BlockLength cuts them, from the file's start) that cover the
// bytes [begin, end) of a file of size bytes, each cut to that range.
std::vector<platform::ByteRange> BlocksOf(int64_t begin, int64_t end, int64_t size);
// The sectors of sectorSize bytes (counted from the file's start) that cover
// [begin, end), each cut to that range and to the file's end.
std::vector<platform::ByteRange> SectorsOf(int64_t begin, int64_t end, int64_t size, int sectorSize);

}  // namespace engine
