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

Registry::Registry() : path_(DefaultPath()) {}
Registry::Registry(std::string filePath, std::shared_ptr<SaveObserver> observer)
    : path_(std::move(filePath)), observer_(std::move(observer)) {}

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
  const std::function<void()> beforeReplace = [this] {
    if (observer_) observer_->BeforeReplace();
  };
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
