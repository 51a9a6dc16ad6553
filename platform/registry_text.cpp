#include "platform/registry_text.h"

#include "platform/ascii.h"

namespace platform {

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

std::string NormalKeyPath(std::string_view path) {
  while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  return std::string(path);
}

void SetKeyValue(RegKeyData& key, RegValue value) {
  for (RegValue& v : key.values) {
    if (SameName(v.name, value.name)) {
      v = std::move(value);
      return;
    }
  }
  key.values.push_back(std::move(value));
}

namespace {

// Lines of hexadecimal data are wrapped near this width, as exports do.
constexpr std::size_t kWrapWidth = 76;

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  return s;
}

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

std::string_view Trim(std::string_view s) { return TrimLeft(TrimRight(s)); }

// A key path without a trailing backslash; empty when it cannot be a key.

// Reads a quoted text at the start of s (s[0] is the opening quote). Only a

// doubled backslash and an escaped quote are escapes. Returns false when the

// text is not closed or has another escape; *rest is what follows the

// closing quote.

bool ParseQuoted(std::string_view s, std::string* out, std::string_view* rest) {
  out->clear();
  std::size_t i = 1;
  while (i < s.size()) {
    const char c = s[i];
    if (c == '"') {
      *rest = s.substr(i + 1);
      return true;
    }
    if (c == '\\') {
      if (i + 1 >= s.size() || (s[i + 1] != '\\' && s[i + 1] != '"')) return false;
      out->push_back(s[i + 1]);
      i += 2;
      continue;
    }
    out->push_back(c);
    ++i;
  }
  return false;
}

// "01,ff, 0a" into bytes; a trailing comma is allowed.

bool ParseHexList(std::string_view s, std::vector<uint8_t>* out) {
  out->clear();
  s = Trim(s);
  if (s.empty()) return true;
  if (s.back() == ',') s.remove_suffix(1);
  while (true) {
    const std::size_t comma = s.find(',');
    const std::string_view item = Trim(s.substr(0, comma));
    if (item.empty() || item.size() > 2) return false;
    int v = 0;
    for (const char c : item) {
      const int d = HexDigitValue(c);
      if (d < 0) return false;
      v = v * 16 + d;
    }
    out->push_back(static_cast<uint8_t>(v));
    if (comma == std::string_view::npos) return true;
    s = s.substr(comma + 1);
  }
}

// The data part of a value line, after "=".

bool ParseData(std::string_view s, RegValue* value) {
  s = Trim(s);
  if (!s.empty() && s.front() == '"') {
    std::string text;
    std::string_view rest;
    if (!ParseQuoted(s, &text, &rest) || !Trim(rest).empty()) return false;
    value->type = kRegSz;
    value->data.assign(text.begin(), text.end());
    value->data.push_back(0);
    return true;
  }
  if (s.size() >= 6 && SameName(s.substr(0, 6), "dword:")) {
    const std::string_view digits = Trim(s.substr(6));
    if (digits.empty() || digits.size() > 8) return false;
    uint32_t v = 0;
    for (const char c : digits) {
      const int d = HexDigitValue(c);
      if (d < 0) return false;
      v = v * 16 + static_cast<uint32_t>(d);
    }
    value->type = kRegDword;
    value->data = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                   static_cast<uint8_t>(v >> 24)};
    return true;
  }
  if (s.size() >= 4 && SameName(s.substr(0, 4), "hex:")) {
    value->type = kRegBinary;
    return ParseHexList(s.substr(4), &value->data);
  }
  if (s.size() >= 5 && SameName(s.substr(0, 4), "hex(")) {
    const std::size_t close = s.find(')');
    if (close == std::string_view::npos || close == 4 || close > 12 || close + 1 >= s.size() || s[close + 1] != ':') {
      return false;
    }
    uint32_t type = 0;
    for (const char c : s.substr(4, close - 4)) {
      const int d = HexDigitValue(c);
      if (d < 0) return false;
      type = type * 16 + static_cast<uint32_t>(d);
    }
    value->type = type;
    return ParseHexList(s.substr(close + 2), &value->data);
  }
  return false;
}

bool ParseValueLine(std::string_view line, RegValue* value) {
  std::string_view rest;
  if (line.front() == '@') {
    value->name.clear();
    rest = line.substr(1);
  } else if (!ParseQuoted(line, &value->name, &rest)) {
    return false;
  }
  rest = TrimLeft(rest);
  if (rest.empty() || rest.front() != '=') return false;
  return ParseData(rest.substr(1), value);
}

std::string Quote(std::string_view s) {
  std::string out = "\"";
  for (const char c : s) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

// A text that a quoted value can hold: ends in its only zero, no line breaks.

bool IsPlainText(const std::vector<uint8_t>& data) {
  if (data.empty() || data.back() != 0) return false;
  for (std::size_t i = 0; i + 1 < data.size(); ++i) {
    if (data[i] == 0 || data[i] == '\r' || data[i] == '\n') return false;
  }
  return true;
}

void AppendHexList(std::string& out, std::size_t lineStart, const std::vector<uint8_t>& data) {
  static const char kDigits[] = "0123456789abcdef";
  for (std::size_t i = 0; i < data.size(); ++i) {
    out.push_back(kDigits[data[i] >> 4]);
    out.push_back(kDigits[data[i] & 15]);
    if (i + 1 < data.size()) {
      out.push_back(',');
      if (out.size() - lineStart >= kWrapWidth) {
        out += "\\\r\n  ";
        lineStart = out.size() - 2;
      }
    }
  }
}

std::string FormatValue(const RegValue& v) {
  std::string out = v.name.empty() ? "@" : Quote(v.name);
  out.push_back('=');
  if (v.type == kRegSz && IsPlainText(v.data)) {
    out += Quote(std::string_view(reinterpret_cast<const char*>(v.data.data()), v.data.size() - 1));
    return out;
  }
  if (v.type == kRegDword && v.data.size() == 4) {
    char buf[16];
    const uint32_t d = static_cast<uint32_t>(v.data[0]) | static_cast<uint32_t>(v.data[1]) << 8 |
                       static_cast<uint32_t>(v.data[2]) << 16 | static_cast<uint32_t>(v.data[3]) << 24;
    std::snprintf(buf, sizeof buf, "dword:%08x", d);
    return out + buf;
  }
  const std::size_t lineStart = 0;
  if (v.type == kRegBinary) {
    out += "hex:";
  } else {
    char buf[24];
    std::snprintf(buf, sizeof buf, "hex(%x):", v.type);
    out += buf;
  }
  AppendHexList(out, lineStart, v.data);
  return out;
}

}  // namespace

RegKeyData* RegDocument::FindKey(std::string_view path) {
  for (RegKeyData& k : keys) {
    if (SameName(k.path, path)) return &k;
  }
  return nullptr;
}

const RegKeyData* RegDocument::FindKey(std::string_view path) const {
  return const_cast<RegDocument*>(this)->FindKey(path);
}

bool RegDocument::KeyExists(std::string_view path) const {
  for (const RegKeyData& k : keys) {
    if (SameName(k.path, path)) return true;
    if (k.path.size() > path.size() && k.path[path.size()] == '\\' && SameName(k.path.substr(0, path.size()), path)) {
      return true;
    }
  }
  return false;
}

RegDocument ParseRegistryText(std::string_view text) {
  RegDocument doc;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);

  RegKeyData* key = nullptr;
  bool headerSeen = false;
  std::size_t pos = 0;
  while (pos < text.size()) {
    // One logical line: a line ending in a backslash goes on in the next one.
    std::string line;
    while (pos < text.size()) {
      const std::size_t end = text.find('\n', pos);
      std::string_view part = TrimRight(text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos));
      pos = end == std::string_view::npos ? text.size() : end + 1;
      if (!line.empty()) part = TrimLeft(part);
      if (!part.empty() && part.back() == '\\' && part.front() != ';' && part.front() != '[') {
        part.remove_suffix(1);
        line.append(part);
        continue;
      }
      line.append(part);
      break;
    }
    const std::string_view l = Trim(line);
    if (l.empty()) continue;
    if (!headerSeen) {
      headerSeen = true;
      if (l == "REGEDIT4" || l == "Windows Registry Editor Version 5.00") continue;
      // No header: go on and read what can be read.
    }
    if (l.front() == ';') {
      ++doc.commentLines;
      continue;
    }
    if (l.front() == '[') {
      key = nullptr;
      if (l.back() != ']' || l.size() < 3 || l[1] == '-') {
        ++doc.unreadableLines;
        continue;
      }
      const std::string path = NormalKeyPath(l.substr(1, l.size() - 2));
      if (path.empty() || path.find_first_of("[]") != std::string::npos) {
        ++doc.unreadableLines;
        continue;
      }
      key = doc.FindKey(path);
      if (key == nullptr) {
        doc.keys.push_back(RegKeyData{path, {}});
        key = &doc.keys.back();
      }
      continue;
    }
    RegValue value;
    if (key == nullptr || (l.front() != '"' && l.front() != '@') || !ParseValueLine(l, &value)) {
      ++doc.unreadableLines;
      continue;
    }
    SetKeyValue(*key, std::move(value));
  }
  // Every line this program writes ends with its line end.
  doc.cutShort = !Trim(text).empty() && text.back() != '\n';
  return doc;
}

std::string FormatRegistryText(const RegDocument& doc) {
  std::string out = "REGEDIT4\r\n";
  for (const RegKeyData& k : doc.keys) {
    out += "\r\n[" + k.path + "]\r\n";
    for (const RegValue& v : k.values) out += FormatValue(v) + "\r\n";
  }
  return out;
}

}  // namespace platform
