#include "engine/blocks.h"

namespace engine {

std::vector<platform::ByteRange> BlocksRead(int64_t size, bool fastCheck) {
  std::vector<platform::ByteRange> ranges;
  int64_t done = 0;
  int64_t length = BlockLength(size, 0);
  while (length > 0) {
    if (!ranges.empty() && ranges.back().offset + ranges.back().length == done) {
      ranges.back().length += length;
    } else {
      ranges.push_back({done, length});
    }
    done += length;
    done += PassedOver(size, done, fastCheck);
    if (length < kBlockSize) break;
    length = BlockLength(size, done);
  }
  return ranges;
}

}  // namespace engine
