#include "engine/rescue_map.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

namespace engine {
namespace {

std::string Hex(int64_t value) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%08" PRIX64, static_cast<uint64_t>(value));
  return text;
}

// One whitespace-separated word of line, from *at on.
std::string_view Word(std::string_view line, std::size_t* at) {
  std::size_t begin = *at;
  while (begin < line.size() && (line[begin] == ' ' || line[begin] == '\t')) ++begin;
  std::size_t end = begin;
  while (end < line.size() && line[end] != ' ' && line[end] != '\t') ++end;
  *at = end;
  return line.substr(begin, end - begin);
}

// A number as the format writes it: hexadecimal with "0x", else decimal.
std::optional<int64_t> Number(std::string_view word) {
  if (word.empty() || word.size() > 24) return std::nullopt;
  const std::string text(word);
  char* end = nullptr;
  const long long value = std::strtoll(text.c_str(), &end, 0);
  if (end != text.c_str() + text.size() || value < 0) return std::nullopt;
  return value;
}

bool KnownStatus(char c) { return c == '?' || c == '*' || c == '/' || c == '-' || c == '+'; }

}  // namespace

RescueMap::RescueMap(int64_t size) : size_(size) {
  if (size_ > 0) areas_.push_back({0, size_, kNotTried});
}

void RescueMap::Mark(int64_t pos, int64_t size, char status) {
  const int64_t begin = std::max<int64_t>(pos, 0);
  const int64_t end = std::min(pos + size, size_);
  if (begin >= end) return;
  std::vector<Area> out;
  out.reserve(areas_.size() + 2);
  auto put = [&out](int64_t p, int64_t s, char st) {
    if (s <= 0) return;
    if (!out.empty() && out.back().status == st && out.back().pos + out.back().size == p) {
      out.back().size += s;
    } else {
      out.push_back({p, s, st});
    }
  };
  // Areas before the marked bytes are kept whole; the vector is short (one
  // area per run of equal states), so a rebuild is cheap.
  bool placed = false;
  for (const Area& a : areas_) {
    const int64_t aEnd = a.pos + a.size;
    if (aEnd <= begin || a.pos >= end) {
      if (a.pos >= end && !placed) {
        put(begin, end - begin, status);
        placed = true;
      }
      put(a.pos, a.size, a.status);
      continue;
    }
    put(a.pos, begin - a.pos, a.status);
    if (!placed) {
      put(begin, end - begin, status);
      placed = true;
    }
    put(end, aEnd - end, a.status);
  }
  if (!placed) put(begin, end - begin, status);
  areas_ = std::move(out);
}

std::vector<RescueMap::Area> RescueMap::With(char status) const {
  std::vector<Area> out;
  for (const Area& a : areas_) {
    if (a.status == status) out.push_back(a);
  }
  return out;
}

int64_t RescueMap::Bytes(char status) const {
  int64_t total = 0;
  for (const Area& a : areas_) {
    if (a.status == status) total += a.size;
  }
  return total;
}

std::string RescueMap::Text(int64_t currentPos, char currentStatus, int pass, const std::string& comment) const {
  std::string out = "# Mapfile. Created by Torvex\n";
  if (!comment.empty()) out += "# " + comment + "\n";
  out += "# current_pos  current_status  current_pass\n";
  out += Hex(currentPos) + "     " + currentStatus + "               " + std::to_string(pass) + "\n";
  out += "#      pos        size  status\n";
  for (const Area& a : areas_) out += Hex(a.pos) + "  " + Hex(a.size) + "  " + a.status + "\n";
  return out;
}

std::optional<RescueMap> RescueMap::Parse(std::string_view text, int64_t size) {
  RescueMap map(size);
  map.areas_.clear();
  bool statusLine = false;
  int64_t next = 0;
  std::size_t lineStart = 0;
  while (lineStart < text.size()) {
    std::size_t lineEnd = text.find('\n', lineStart);
    if (lineEnd == std::string_view::npos) lineEnd = text.size();
    std::string_view line = text.substr(lineStart, lineEnd - lineStart);
    lineStart = lineEnd + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::size_t at = 0;
    const std::string_view first = Word(line, &at);
    if (first.empty() || first.front() == '#') continue;
    if (!statusLine) {
      // The current position line: nothing of it is needed to go on.
      statusLine = true;
      continue;
    }
    const std::optional<int64_t> pos = Number(first);
    const std::optional<int64_t> length = Number(Word(line, &at));
    const std::string_view status = Word(line, &at);
    if (!pos || !length || status.size() != 1 || !KnownStatus(status[0])) return std::nullopt;
    if (*pos != next || *length <= 0 || *length > size - next) return std::nullopt;
    const char state = status[0] == '*' || status[0] == '/' ? kBad : status[0];
    if (!map.areas_.empty() && map.areas_.back().status == state) {
      map.areas_.back().size += *length;
    } else {
      map.areas_.push_back({*pos, *length, state});
    }
    next += *length;
  }
  if (!statusLine || next != size) return std::nullopt;
  return map;
}

}  // namespace engine
