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

namespace {

std::vector<platform::ByteRange> Cut(int64_t begin, int64_t end, int64_t size, int64_t unit) {
  std::vector<platform::ByteRange> ranges;
  end = std::min(end, size);
  for (int64_t at = begin; at < end;) {
    const int64_t next = std::min((at / unit + 1) * unit, end);
    ranges.push_back({at, next - at});
    at = next;
  }
  return ranges;
}

}  // namespace

std::vector<platform::ByteRange> BlocksOf(int64_t begin, int64_t end, int64_t size) {
  return Cut(begin, end, size, kBlockSize);
}

std::vector<platform::ByteRange> SectorsOf(int64_t begin, int64_t end, int64_t size, int sectorSize) {
  return Cut(begin, end, size, sectorSize > 0 ? sectorSize : kBlockSize);
}

}  // namespace engine
