#pragma once
// Character helpers that ignore the locale: drive letters, registry names,
// hexadecimal digits. Bytes outside ASCII pass through unchanged.
#include <string>
#include <string_view>

namespace platform {

constexpr char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
constexpr char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// The value of a hexadecimal digit in either case, or -1.
constexpr int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = AsciiLower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// A name or path as the window and the log show it: every control byte
// (below 0x20, and 0x7F) becomes "/" and two upper-case hexadecimal digits,
// so that nothing in a name can start a line or drive a terminal. A "/" never
// stands in a file name and the shown folders are joined with backslashes, so
// the form cannot be taken for a real name; a "/" that does come (a volume
// label) is written as "/2F" for the same reason. Every other byte is kept.
inline std::string VisibleText(std::string_view text) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || c == '/') {
      out += '/';
      out += kDigits[byte >> 4];
      out += kDigits[byte & 0x0F];
    } else {
      out += c;
    }
  }
  return out;
}

// The name VisibleText was made from: every "/" and two hexadecimal digits
// become that byte again. A "/" not followed by two digits stays as it is.
inline std::string FromVisibleText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '/' && i + 2 < text.size() && HexDigitValue(text[i + 1]) >= 0 &&
        HexDigitValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexDigitValue(text[i + 1]) * 16 + HexDigitValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace platform
