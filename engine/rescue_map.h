#pragma once
// What a rescue knows of one file: which of its bytes are copied, which could
// not be read, and which were not tried yet. Kept beside a partly copied
// file in GNU ddrescue's mapfile format, so that its viewers and tools read
// it, and read back when a rescue starts again on the same destination.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

class RescueMap {
 public:
  // The states of the format that a rescue uses.
  static constexpr char kNotTried = '?';
  static constexpr char kBad = '-';
  static constexpr char kCopied = '+';

  struct Area {
    int64_t pos = 0;
    int64_t size = 0;
    char status = kNotTried;
    bool operator==(const Area&) const = default;
  };

  // A file of size bytes, none of them tried.
  explicit RescueMap(int64_t size);

  // The map of a file of size bytes from a mapfile's text; none when the text
  // is not a mapfile of exactly that size (then the file is copied afresh).
  // States a rescue does not use (non-trimmed, non-scraped) count as bad.
  static std::optional<RescueMap> Parse(std::string_view text, int64_t size);

  // Marks the bytes [pos, pos + size) (cut to the file) with status.
  void Mark(int64_t pos, int64_t size, char status);

  int64_t Size() const { return size_; }
  const std::vector<Area>& Areas() const { return areas_; }
  // The areas of one status, in order.
  std::vector<Area> With(char status) const;
  int64_t Bytes(char status) const;

  // The mapfile: a comment header, the current position line, then one
  // "pos size status" line per area. currentStatus is the format's state of
  // the rescue ('?' copying, '-' retrying, '+' finished).
  std::string Text(int64_t currentPos, char currentStatus, int pass, const std::string& comment) const;

 private:
  int64_t size_;
  std::vector<Area> areas_;  // in order, touching, covering [0, size_)
};

}  // namespace engine
