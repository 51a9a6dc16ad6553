#include "platform/registry.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/ascii.h"
#include "platform/file_io.h"
#include "platform/whole_file.h"

namespace platform {
namespace {

// A registry file larger than this is not read past this point.
constexpr std::size_t kMaxFileSize = 16u << 20;
// Lines of hexadecimal data are wrapped near this width, as exports do.
constexpr std::size_t kWrapWidth = 76;

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

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
std::string NormalKeyPath(std::string_view path) {
  while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  return std::string(path);
}

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

void SetKeyValue(RegKeyData& key, RegValue value) {
  for (RegValue& v : key.values) {
    if (SameName(v.name, value.name)) {
      v = std::move(value);
      return;
    }
  }
  key.values.push_back(std::move(value));
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

// The current directory when the program started, taken before main runs
// and before any walk can move it.
const std::string& StartDirectory() {
  static const std::string dir = CurrentDirectory();
  return dir;
}
[[maybe_unused]] const std::string& g_takenAtStart = StartDirectory();

std::string ConfigHome() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') return xdg;
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return std::string(home) + "/.config";
  if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr) {
    return std::string(pw->pw_dir) + "/.config";
  }
  return "/tmp";
}

// Creates the folders of path's parent, like mkdir -p.
void MakeParentFolders(const std::string& path) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return;
  }
}

// The lock that keeps other instances out while this one changes the file.
class FileLock {
 public:
  explicit FileLock(const std::string& path) {
    // Never through a link, and only a regular file of its own: a name
    // planted in the lock's place is neither created nor written.
    fd_ = OpenRetrying(path, O_RDWR | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd_ < 0) return;
    struct stat st {};
    if (fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
      close(fd_);
      fd_ = -1;
      return;
    }
    while (flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) {
        close(fd_);
        fd_ = -1;
        return;
      }
    }
  }
  ~FileLock() {
    if (fd_ >= 0) close(fd_);  // releases the lock
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  bool Held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

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

Registry::Registry() : path_(DefaultPath()) {}
Registry::Registry(std::string filePath) : path_(std::move(filePath)) {}

std::string Registry::DefaultPath() {
  const char* file = std::getenv("TORVEX_REGISTRY_FILE");
  if (file != nullptr && file[0] != '\0') {
    // A relative name means the folder the program was started in, not
    // wherever a walk has left the current directory since.
    if (file[0] == '/' || StartDirectory().empty()) return file;
    return StartDirectory() + "/" + file;
  }
  return ConfigHome() + "/torvex/registry.reg";
}

bool Registry::Read(RegDocument* doc) const {
  std::string text;
  bool truncated = false;
  const int r = ReadWholeFile(path_, kMaxFileSize, &text, &truncated);
  if (r == kFileMissing) {
    *doc = RegDocument{};
    return true;
  }
  if (r != kFileOk) return false;
  *doc = ParseRegistryText(text);
  if (truncated) ++doc->unreadableLines;
  return true;
}

// A settings file that is a symbolic link is read where it points, but never
// written there: a save renames a fresh file over the link itself.
std::string Registry::BackupPath() const { return path_ + ".bak"; }

bool Registry::KeepIfDamaged() {
  std::string text;
  bool truncated = false;
  if (ReadWholeFile(path_, kMaxFileSize, &text, &truncated) != kFileOk) return false;
  const RegDocument doc = ParseRegistryText(text);
  if (!truncated && doc.unreadableLines == 0 && !doc.cutShort) return false;
  KeepBackup(path_, BackupPath());
  return true;
}

int Registry::Modify(const std::function<bool(RegDocument&)>& change) {
  MakeParentFolders(path_);
  FileLock lock(path_ + ".lock");
  if (!lock.Held()) return kRegAccessDenied;

  RegDocument doc;
  std::string text;
  bool truncated = false;
  const int r = ReadWholeFile(path_, kMaxFileSize, &text, &truncated);
  if (r != kFileOk && r != kFileMissing) return kRegAccessDenied;
  if (r == kFileOk) {
    doc = ParseRegistryText(text);
    if (truncated) ++doc.unreadableLines;
  }
  if (!change(doc)) return kRegOk;

  // Lines that the rewrite drops stay readable in the backup.
  if (r == kFileOk && (doc.unreadableLines > 0 || doc.commentLines > 0 || doc.cutShort)) {
    KeepBackup(path_, BackupPath());
  }

  // Whoever holds the lock owns the temporary file: one left by a killed
  // instance is simply written over.
  if (ReplaceFile(path_, FormatRegistryText(doc), path_ + ".tmp", beforeReplace) != 0) return kRegAccessDenied;
  return kRegOk;
}

int Registry::CreateKey(std::string_view keyPath, RegistryKey* key, int* disposition) {
  const std::string path = NormalKeyPath(keyPath);
  if (path.empty() || key == nullptr) return kRegBadArgument;
  RegDocument doc;
  if (!Read(&doc)) return kRegAccessDenied;
  bool created = false;
  if (!doc.KeyExists(path)) {
    const int r = Modify([&](RegDocument& d) {
      if (d.KeyExists(path)) return false;  // another instance made it meanwhile
      d.keys.push_back(RegKeyData{path, {}});
      created = true;
      return true;
    });
    if (r != kRegOk) return r;
  }
  key->registry_ = this;
  key->path_ = path;
  if (disposition != nullptr) *disposition = created ? kRegCreatedNewKey : kRegOpenedExistingKey;
  return kRegOk;
}

int Registry::OpenKey(std::string_view keyPath, RegistryKey* key) {
  const std::string path = NormalKeyPath(keyPath);
  if (path.empty() || key == nullptr) return kRegBadArgument;
  RegDocument doc;
  if (!Read(&doc)) return kRegAccessDenied;
  if (!doc.KeyExists(path)) return kRegNotFound;
  key->registry_ = this;
  key->path_ = path;
  return kRegOk;
}

int RegistryKey::QueryValue(std::string_view name, uint32_t* type, void* data, uint32_t* size) const {
  if (registry_ == nullptr || size == nullptr) return kRegBadArgument;
  RegDocument doc;
  if (!registry_->Read(&doc)) return kRegAccessDenied;
  const RegKeyData* key = doc.FindKey(path_);
  if (key == nullptr) return kRegNotFound;
  for (const RegValue& v : key->values) {
    if (!SameName(v.name, name)) continue;
    if (type != nullptr) *type = v.type;
    const auto needed = static_cast<uint32_t>(v.data.size());
    if (data == nullptr) {
      *size = needed;
      return kRegOk;
    }
    const uint32_t copied = needed < *size ? needed : *size;
    if (copied > 0) std::memcpy(data, v.data.data(), copied);
    const uint32_t room = *size;
    *size = needed;
    return needed > room ? kRegMoreData : kRegOk;
  }
  return kRegNotFound;
}

int RegistryKey::SetValue(std::string_view name, uint32_t type, const void* data, uint32_t size) {
  if (registry_ == nullptr || (data == nullptr && size != 0)) return kRegBadArgument;
  RegValue value;
  value.name = std::string(name);
  value.type = type;
  if (size > 0) value.data.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
  return registry_->Modify([&](RegDocument& doc) {
    RegKeyData* key = doc.FindKey(path_);
    if (key == nullptr) {
      // Gone from the file meanwhile (edited by hand): the open key lives on.
      doc.keys.push_back(RegKeyData{path_, {}});
      key = &doc.keys.back();
    }
    SetKeyValue(*key, value);
    return true;
  });
}

int RegistryKey::SetString(std::string_view name, std::string_view text) {
  std::string data(text);
  data.push_back('\0');
  return SetValue(name, kRegSz, data.data(), static_cast<uint32_t>(data.size()));
}

int RegistryKey::SetBinary(std::string_view name, const void* data, uint32_t size) {
  return SetValue(name, kRegBinary, data, size);
}

bool RegistryKey::Values(std::vector<RegValue>* values) const {
  values->clear();
  if (registry_ == nullptr) return false;
  RegDocument doc;
  if (!registry_->Read(&doc)) return false;
  if (const RegKeyData* key = doc.FindKey(path_); key != nullptr) *values = key->values;
  return true;
}

int RegistryKey::Close() {
  if (registry_ == nullptr) return kRegBadArgument;
  registry_ = nullptr;
  path_.clear();
  return kRegOk;
}

}  // namespace platform
