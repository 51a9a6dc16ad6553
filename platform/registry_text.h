#pragma once
// The registry export format ("REGEDIT4") that the registry file is kept in:
// keys in brackets, each followed by its values as quoted texts, dword: or
// hex: data, with CR LF line ends.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum RegType : uint32_t {
  kRegNone = 0,
  kRegSz = 1,
  kRegExpandSz = 2,
  kRegBinary = 3,
  kRegDword = 4,
  kRegMultiSz = 7,
};

struct RegValue {
  std::string name;  // empty: the key's default value ("@")
  uint32_t type = kRegNone;
  std::vector<uint8_t> data;  // strings with their terminating zero
};

struct RegKeyData {
  std::string path;  // "HKEY_LOCAL_MACHINE\SOFTWARE\..."
  std::vector<RegValue> values;
};

// The contents of a registry file.
struct RegDocument {
  std::vector<RegKeyData> keys;
  int unreadableLines = 0;  // lines that were neither understood nor blank
  int commentLines = 0;     // ";" lines, which a rewrite does not keep
  bool cutShort = false;    // the text ends inside a line (a save cut off)

  RegKeyData* FindKey(std::string_view path);
  const RegKeyData* FindKey(std::string_view path) const;
  // The key itself, or a key below it, is present.
  bool KeyExists(std::string_view path) const;
};

// Reads registry export text. Never fails: what cannot be read is counted in
// unreadableLines and left out.
RegDocument ParseRegistryText(std::string_view text);
// Writes the contents as registry export text with CR LF line ends.
std::string FormatRegistryText(const RegDocument& doc);

// Key and value names compare without regard to ASCII case.
bool SameName(std::string_view a, std::string_view b);
// A key path without a trailing backslash; empty when it cannot be a key.
std::string NormalKeyPath(std::string_view path);
// Sets a value of a key, replacing one of the same name.
void SetKeyValue(RegKeyData& key, RegValue value);

}  // namespace platform
