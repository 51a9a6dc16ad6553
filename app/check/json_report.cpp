#include "app/check/json_report.h"

#include <cstdio>

namespace check {
namespace {

// The length of the UTF-8 sequence at text[i], or 0 when none starts there.
std::size_t Utf8Length(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char c = byte(i);
  std::size_t n = 0;
  uint32_t cp = 0;
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) { n = 2; cp = c & 0x1F; }
  else if (c >= 0xE0 && c <= 0xEF) { n = 3; cp = c & 0x0F; }
  else if (c >= 0xF0 && c <= 0xF4) { n = 4; cp = c & 0x07; }
  else return 0;
  if (i + n > text.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(i + k) & 0x3F);
  }
  // Overlong forms, surrogates and code points beyond U+10FFFF are no UTF-8.
  if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF)) {
    return 0;
  }
  return n;
}

std::string Bool(bool b) { return b ? "true" : "false"; }

}  // namespace

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const std::size_t n = Utf8Length(text, i);
    if (n == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
      continue;
    }
    if (n > 1) {
      out.append(text.substr(i, n));
      i += n;
      continue;
    }
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7f) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
    ++i;
  }
  return out + "\"";
}

std::string FormatJson(const JsonDocument& d) {
  const auto num = [](long long v) { return std::to_string(v); };
  const auto orNull = [](bool known, const std::string& v) { return known ? v : std::string("null"); };
  char serial[16];
  std::snprintf(serial, sizeof serial, "%08x", d.serial);
  char elapsed[32];
  std::snprintf(elapsed, sizeof elapsed, "%.3f", d.elapsedSeconds);

  std::string o = "{\n";
  o += "  \"format\": \"torvex-check\",\n  \"version\": 1,\n";
  o += "  \"volume\": {\"label\": " + JsonString(d.label) + ", \"serial\": " +
       orNull(d.checked && d.serialKnown, JsonString(serial)) + ", \"letter\": " +
       orNull(d.letter != 0, JsonString(std::string(1, d.letter))) + ", \"folder\": " + JsonString(d.folder) +
       ", \"path\": " + JsonString(d.startFolder) + ", \"whole_disk\": " + Bool(d.wholeDisk) +
       ", \"cdrom\": " + Bool(d.cdrom) + "},\n";
  o += "  \"settings\": {\"delay\": " + num(d.delaySeconds) + ", \"fast\": " + Bool(d.fast) +
       ", \"prescan\": " + Bool(d.preScan) + ", \"priority\": " + num(d.priority) + ", \"resume\": " +
       JsonString(d.resume) + ", \"log\": " + orNull(!d.logFile.empty(), JsonString(d.logFile)) +
       ", \"language\": " + JsonString(d.language) + "},\n";
  o += "  \"rows\": [";
  for (std::size_t i = 0; i < d.rows.size(); ++i) {
    const JsonRow& r = d.rows[i];
    o += i == 0 ? "\n" : ",\n";
    o += "    {\"name\": " + JsonString(r.name) + ", \"kind\": " + JsonString(r.kind) + ", \"kind_text\": " +
         JsonString(r.kindText) + ", \"position\": " + orNull(r.position.has_value(), num(r.position.value_or(0))) +
         ", \"folder\": " + JsonString(r.folder) + "}";
  }
  o += d.rows.empty() ? "],\n" : "\n  ],\n";
  o += "  \"totals\": {\"files_checked\": " + num(d.filesChecked) + ", \"files_total\": " +
       orNull(d.counted || d.filesTotal != 0 || d.bytesTotal != 0, num(d.filesTotal)) +
       ", \"files_passed_over\": " + num(d.filesPassedOver) + ", \"other_volumes\": " + num(d.otherVolumes) +
       ", \"read_errors\": " +
       num(d.readErrors) + ", \"open_errors\": " + num(d.openErrors) + ", \"other_errors\": " +
       num(d.otherErrors) + ", \"bytes_done\": " + num(d.bytesDone) + ", \"bytes_total\": " +
       orNull(d.counted || d.bytesTotal != 0, num(d.bytesTotal)) + ", \"bytes_read\": " + num(d.bytesRead) +
       ", \"percent\": " + orNull(d.percent.has_value(), num(d.percent.value_or(0))) + "},\n";
  o += "  \"resumed\": " + Bool(d.resumed) + ",\n";
  o += "  \"elapsed_seconds\": " + std::string(elapsed) + ",\n";
  o += "  \"stopped_by\": " + orNull(!d.stoppedBy.empty(), JsonString(d.stoppedBy)) + ",\n";
  o += "  \"report\": " + JsonString(d.report) + ",\n";
  o += "  \"messages\": [";
  for (std::size_t i = 0; i < d.messages.size(); ++i) o += (i == 0 ? "" : ", ") + JsonString(d.messages[i]);
  o += "],\n";
  if (d.rescued) {
    o += "  \"rescue\": {\"destination\": " + JsonString(d.rescueDestination) +
         ", \"cancelled\": " + Bool(d.rescueCancelled) + ", \"files\": [";
    for (std::size_t i = 0; i < d.rescue.size(); ++i) {
      const JsonRescueFile& f = d.rescue[i];
      o += i == 0 ? "\n" : ",\n";
      o += "      {\"path\": " + JsonString(f.path) + ", \"result\": " + JsonString(f.result) +
           ", \"size\": " + num(f.size) + ", \"missing\": [";
      for (std::size_t m = 0; m < f.missing.size(); ++m) {
        o += (m == 0 ? "[" : ", [") + num(f.missing[m].first) + ", " + num(f.missing[m].second) + "]";
      }
      o += "]}";
    }
    o += d.rescue.empty() ? "]" : "\n    ]";
    o += ", \"report\": " + JsonString(d.rescueReport) + "},\n";
  }
  o += "  \"exit_status\": " + num(d.exitStatus) + "\n}\n";
  return o;
}

}  // namespace check
