#include "platform/disc_mount.h"

#include <dirent.h>
#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/file_io.h"

namespace platform {
namespace {

constexpr const char* kService = "org.freedesktop.UDisks2";
// A mount may wait for the user to give permission.
constexpr uint64_t kMountTimeoutUsec = 60ull * 1000 * 1000;

// Frees what sd-bus hands out when the scope ends.
struct BusScope {
  sd_bus* bus = nullptr;
  sd_bus_message* request = nullptr;
  sd_bus_message* reply = nullptr;
  sd_bus_error error = SD_BUS_ERROR_NULL;
  ~BusScope() {
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
    sd_bus_message_unref(request);
    sd_bus_flush_close_unref(bus);
  }
  void Reset() {
    sd_bus_error_free(&error);
    error = SD_BUS_ERROR_NULL;
    reply = sd_bus_message_unref(reply);
    request = sd_bus_message_unref(request);
  }
};

int OpenBus(const std::string& address, sd_bus** bus) {
  if (address.empty()) return sd_bus_open_system(bus);
  int r = sd_bus_new(bus);
  if (r < 0) return r;
  if ((r = sd_bus_set_address(*bus, address.c_str())) < 0 || (r = sd_bus_set_bus_client(*bus, 1)) < 0 ||
      (r = sd_bus_start(*bus)) < 0) {
    *bus = sd_bus_flush_close_unref(*bus);
  }
  return r;
}

bool ServiceMissing(const sd_bus_error& e) {
  return sd_bus_error_has_name(&e, SD_BUS_ERROR_SERVICE_UNKNOWN) ||
         sd_bus_error_has_name(&e, SD_BUS_ERROR_NAME_HAS_NO_OWNER) ||
         sd_bus_error_has_name(&e, SD_BUS_ERROR_UNKNOWN_OBJECT) ||
         sd_bus_error_has_name(&e, SD_BUS_ERROR_UNKNOWN_INTERFACE) ||
         sd_bus_error_has_name(&e, SD_BUS_ERROR_UNKNOWN_METHOD);
}

std::string Describe(const sd_bus_error& e, int r) {
  if (e.message != nullptr) return e.message;
  if (e.name != nullptr) return e.name;
  return std::strerror(r < 0 ? -r : r);
}

}  // namespace

int UDisksMounter::MountReadOnly(const std::string& device, std::string* mountPoint, std::string* why) {
  mountPoint->clear();
  BusScope s;
  int r = OpenBus(address_, &s.bus);
  if (r < 0) {
    *why = "no system bus: " + std::string(std::strerror(-r));
    return kMountUnavailable;
  }

  // The UDisks2 object of the device.
  r = sd_bus_call_method(s.bus, kService, "/org/freedesktop/UDisks2/Manager", "org.freedesktop.UDisks2.Manager",
                         "ResolveDevice", &s.error, &s.reply, "a{sv}a{sv}", 1, "path", "s", device.c_str(), 0);
  if (r < 0) {
    *why = Describe(s.error, r);
    return ServiceMissing(s.error) ? kMountUnavailable : kMountFailed;
  }
  const char* object = nullptr;
  if (sd_bus_message_enter_container(s.reply, 'a', "o") < 0 || sd_bus_message_read(s.reply, "o", &object) <= 0) {
    *why = "UDisks2 does not know " + device;
    return kMountFailed;
  }
  const std::string path = object;
  s.Reset();

  r = sd_bus_message_new_method_call(s.bus, &s.request, kService, path.c_str(), "org.freedesktop.UDisks2.Filesystem",
                                     "Mount");
  if (r >= 0) r = sd_bus_message_append(s.request, "a{sv}", 1, "options", "s", "ro");
  if (r >= 0) r = sd_bus_call(s.bus, s.request, kMountTimeoutUsec, &s.error, &s.reply);
  if (r < 0) {
    if (sd_bus_error_has_name(&s.error, "org.freedesktop.UDisks2.Error.AlreadyMounted")) return kMounted;
    *why = Describe(s.error, r);
    return kMountFailed;
  }
  const char* where = nullptr;
  if (sd_bus_message_read(s.reply, "s", &where) <= 0 || where == nullptr) {
    *why = "UDisks2 gave no mount point";
    return kMountFailed;
  }
  *mountPoint = where;
  return kMounted;
}

int CheckFolderAccess(const std::string& path) {
  const int fd = OpenRetrying(path, O_RDONLY | O_DIRECTORY);
  if (fd < 0) return (errno == ENOENT || errno == ENOTDIR) ? kFolderMissing : kFolderNotEnterable;
  if (faccessat(fd, ".", X_OK, 0) != 0) {
    close(fd);
    return kFolderNotEnterable;
  }
  DIR* dir = fdopendir(fd);
  if (dir == nullptr) {
    close(fd);
    return kFolderNotListable;
  }
  bool failed = false;
  for (;;) {
    errno = 0;
    if (readdir(dir) != nullptr) continue;
    failed = errno != 0;
    break;
  }
  closedir(dir);
  return failed ? kFolderNotListable : kFolderReadable;
}

}  // namespace platform
