#pragma once
// The registry: keys holding named values, kept for each user in one text
// file in the registry export format ("REGEDIT4"):
//
//   REGEDIT4
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Quillon\Torvex\203]
//   "Options"=hex:01,01,02,01,01,00,00,01,05,ff,ff,00,03,01,ff,00
//   "Path"="/home/user/torvex"
//
// Every change locks the file against other instances (a lock file beside
// it), reads it afresh, applies the change and replaces the file atomically
// (temporary file, flush, rename): a program killed halfway leaves the old
// file, and two instances saving at once both land. Reads take the file as it
// stands. A file that is malformed in part yields what can be read; the rest
// counts as missing. A change that would drop unreadable lines first keeps the
// old file as "<file>.bak".
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry_text.h"

namespace platform {

// Result codes, numbered as the Windows registry numbers them.
enum RegResult : int {
  kRegOk = 0,
  kRegNotFound = 2,       // no such key or value
  kRegAccessDenied = 5,   // the file cannot be read or written
  kRegBadArgument = 87,
  kRegMoreData = 234,     // the buffer is too small; *size tells the size needed
};

// What creating a key found.
enum RegDisposition : int { kRegCreatedNewKey = 1, kRegOpenedExistingKey = 2 };

inline constexpr std::string_view kHkeyLocalMachine = "HKEY_LOCAL_MACHINE";

class RegistryKey;

// Told of each save of the registry file after the new contents are written
// and flushed to the temporary file, and before that file replaces the old
// one (tests stop the program there).
class SaveObserver {
 public:
  virtual ~SaveObserver() = default;
  virtual void BeforeReplace() = 0;
};

class Registry {
 public:
  // The file of the current user: $TORVEX_REGISTRY_FILE when set, otherwise
  // "torvex/registry.reg" under $XDG_CONFIG_HOME (default ~/.config).
  Registry();
  explicit Registry(std::string filePath, std::shared_ptr<SaveObserver> observer = nullptr);

  static std::string DefaultPath();
  const std::string& FilePath() const { return path_; }

  // Opens the key, creating it when absent. disposition (may be null) tells
  // which happened. A file that exists but cannot be read is never replaced.
  int CreateKey(std::string_view keyPath, RegistryKey* key, int* disposition);
  // Opens an existing key; kRegNotFound when there is none.
  int OpenKey(std::string_view keyPath, RegistryKey* key);

  // Reads the file as it stands. False when it exists but cannot be read;
  // a missing file is an empty document.
  bool Read(RegDocument* doc) const;
  // Under the lock: reads the file afresh, lets change alter it and, when
  // change returns true, replaces the file. Returns a RegResult.
  int Modify(const std::function<bool(RegDocument&)>& change);

  // A file with lines that cannot be read, or cut off inside a line, is
  // damaged: its contents are kept as BackupPath() (before any rewrite can
  // drop what could not be read) and true is returned. False for a sound,
  // missing or unreadable file.
  bool KeepIfDamaged();
  std::string BackupPath() const;

 private:
  std::string path_;
  std::shared_ptr<SaveObserver> observer_;
};

// An open key. Copyable; closing only forgets it.
class RegistryKey {
 public:
  RegistryKey() = default;

  bool IsOpen() const { return registry_ != nullptr; }
  const std::string& Path() const { return path_; }

  // Copies the value into data, at most *size bytes, and sets *size to the
  // value's size and *type (when not null) to its type. A value larger than
  // the buffer fills the buffer and returns kRegMoreData; a null data only
  // learns the size.
  int QueryValue(std::string_view name, uint32_t* type, void* data, uint32_t* size) const;
  int SetValue(std::string_view name, uint32_t type, const void* data, uint32_t size);
  // A REG_SZ value: the text and its terminating zero.
  int SetString(std::string_view name, std::string_view text);
  int SetBinary(std::string_view name, const void* data, uint32_t size);
  // Every value of the key, in file order. False when the key cannot be read.
  bool Values(std::vector<RegValue>* values) const;
  int Close();

 private:
  friend class Registry;
  Registry* registry_ = nullptr;
  std::string path_;
};

}  // namespace platform
