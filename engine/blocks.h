#pragma once
// How a file is read: in blocks of 32,768 bytes from its start; with fast
// checking, 65,536 bytes are passed over after each block while more than
// that remains. The reader and the read-ahead both go by these steps, so that
// the read-ahead asks for exactly the blocks the reader will.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/file_io.h"

namespace engine {

inline constexpr int kBlockSize = 32768;
inline constexpr int kFastSkip = 65536;

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

}  // namespace engine
