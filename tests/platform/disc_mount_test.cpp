// Mounting a disc that is in its drive but not mounted, through UDisks2 on
// a bus of our own with a stand-in UDisks2 service; and whether the root of
// a disk can be entered and listed, against real kernel errors.
#include "platform/disc_mount.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>

#include "tests/support/fault_fs.h"
#include "tests/support/temp_tree.h"

extern char** environ;

namespace platform {
namespace {

using testing_support::FaultFile;
using testing_support::FaultFs;

// A bus daemon of the test's own, ended with the test.
class PrivateBus {
 public:
  bool Start(std::string* why) {
    int out[2];
    if (pipe(out) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    char a0[] = "dbus-daemon", a1[] = "--session", a2[] = "--nofork", a3[] = "--print-address=1";
    char* argv[] = {a0, a1, a2, a3, nullptr};
    const int r = posix_spawnp(&pid_, "dbus-daemon", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (r != 0) {
      close(out[0]);
      *why = "dbus-daemon cannot be run (tools/install-deps installs it)";
      pid_ = 0;
      return false;
    }
    char buf[512];
    std::string line;
    ssize_t n;
    while (line.find('\n') == std::string::npos && (n = read(out[0], buf, sizeof buf)) > 0) line.append(buf, n);
    close(out[0]);
    address_ = line.substr(0, line.find('\n'));
    if (address_.empty()) *why = "dbus-daemon gave no address";
    return !address_.empty();
  }
  ~PrivateBus() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  const std::string& Address() const { return address_; }

 private:
  pid_t pid_ = 0;
  std::string address_;
};

// The text value of key in an a{sv} argument, read from the message.
std::string TextOption(sd_bus_message* m, const char* key) {
  std::string value;
  if (sd_bus_message_enter_container(m, 'a', "{sv}") < 0) return value;
  while (sd_bus_message_enter_container(m, 'e', "sv") > 0) {
    const char* name = nullptr;
    sd_bus_message_read(m, "s", &name);
    const char* text = nullptr;
    if (name != nullptr && std::strcmp(name, key) == 0 && sd_bus_message_enter_container(m, 'v', "s") > 0) {
      sd_bus_message_read(m, "s", &text);
      if (text != nullptr) value = text;
      sd_bus_message_exit_container(m);
    } else {
      sd_bus_message_skip(m, "v");
    }
    sd_bus_message_exit_container(m);
  }
  sd_bus_message_exit_container(m);
  return value;
}

// What UDisks2 answers for /dev/sr0, and what it was asked.
class FakeUDisks {
 public:
  std::string mountAnswer = "/media/user/MY DISC";  // or an error name
  std::mutex m;
  std::string askedDevice, askedOptions;

  bool Start(const std::string& address) {
    if (sd_bus_new(&bus_) < 0 || sd_bus_set_address(bus_, address.c_str()) < 0 ||
        sd_bus_set_bus_client(bus_, 1) < 0 || sd_bus_start(bus_) < 0) {
      return false;
    }
    static const sd_bus_vtable manager[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_METHOD("ResolveDevice", "a{sv}a{sv}", "ao", Resolve, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_VTABLE_END};
    static const sd_bus_vtable filesystem[] = {
        SD_BUS_VTABLE_START(0), SD_BUS_METHOD("Mount", "a{sv}", "s", Mount, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_VTABLE_END};
    sd_bus_add_object_vtable(bus_, nullptr, "/org/freedesktop/UDisks2/Manager", "org.freedesktop.UDisks2.Manager",
                             manager, this);
    sd_bus_add_object_vtable(bus_, nullptr, "/org/freedesktop/UDisks2/block_devices/sr0",
                             "org.freedesktop.UDisks2.Filesystem", filesystem, this);
    if (sd_bus_request_name(bus_, "org.freedesktop.UDisks2", 0) < 0) return false;
    loop_ = std::thread([this] {
      while (!stop_) {
        if (sd_bus_process(bus_, nullptr) > 0) continue;
        sd_bus_wait(bus_, 50'000);
      }
    });
    return true;
  }
  ~FakeUDisks() {
    stop_ = true;
    if (loop_.joinable()) loop_.join();
    sd_bus_flush_close_unref(bus_);
  }

 private:
  static int Resolve(sd_bus_message* msg, void* self, sd_bus_error*) {
    auto* f = static_cast<FakeUDisks*>(self);
    const std::string device = TextOption(msg, "path");
    std::lock_guard l(f->m);
    f->askedDevice = device;
    if (device != "/dev/sr0") return sd_bus_reply_method_return(msg, "ao", 0);
    return sd_bus_reply_method_return(msg, "ao", 1, "/org/freedesktop/UDisks2/block_devices/sr0");
  }
  static int Mount(sd_bus_message* msg, void* self, sd_bus_error* error) {
    auto* f = static_cast<FakeUDisks*>(self);
    std::lock_guard l(f->m);
    f->askedOptions = TextOption(msg, "options");
    if (f->mountAnswer.rfind("org.freedesktop.", 0) == 0) {
      return sd_bus_error_set(error, f->mountAnswer.c_str(), "Not authorized to perform operation");
    }
    return sd_bus_reply_method_return(msg, "s", f->mountAnswer.c_str());
  }

  sd_bus* bus_ = nullptr;
  std::thread loop_;
  std::atomic<bool> stop_{false};
};

TEST(DiscMountTest, ADiscIsMountedReadOnlyThroughUDisks2) {
  PrivateBus bus;
  std::string why;
  if (!bus.Start(&why)) GTEST_SKIP() << "no bus of our own: " << why;
  UDisksMounter mounter(bus.Address());
  std::string where;
  // A bus without UDisks2 on it, and no bus at all.
  EXPECT_EQ(mounter.MountReadOnly("/dev/sr0", &where, &why), kMountUnavailable) << why;
  EXPECT_EQ(UDisksMounter("unix:path=/nonexistent/bus").MountReadOnly("/dev/sr0", &where, &why), kMountUnavailable);

  FakeUDisks udisks;
  ASSERT_TRUE(udisks.Start(bus.Address()));
  ASSERT_EQ(mounter.MountReadOnly("/dev/sr0", &where, &why), kMounted) << why;
  EXPECT_EQ(where, "/media/user/MY DISC");
  {
    std::lock_guard l(udisks.m);
    EXPECT_EQ(udisks.askedDevice, "/dev/sr0");
    EXPECT_EQ(udisks.askedOptions, "ro");
  }
  EXPECT_EQ(mounter.MountReadOnly("/dev/sr7", &where, &why), kMountFailed);  // a device it does not know

  {
    std::lock_guard l(udisks.m);
    udisks.mountAnswer = "org.freedesktop.UDisks2.Error.NotAuthorized";
  }
  EXPECT_EQ(mounter.MountReadOnly("/dev/sr0", &where, &why), kMountFailed);
  EXPECT_EQ(why, "Not authorized to perform operation");
  {
    std::lock_guard l(udisks.m);
    udisks.mountAnswer = "org.freedesktop.UDisks2.Error.AlreadyMounted";
  }
  EXPECT_EQ(mounter.MountReadOnly("/dev/sr0", &where, &why), kMounted);
  EXPECT_EQ(where, "");
}

TEST(DiscMountTest, ARootMustBeEnterableAndListable) {
  testing_support::TempTree tree;
  tree.File("F", 10);
  tree.Folder("D");
  EXPECT_EQ(CheckFolderAccess(tree.Path("D")), kFolderReadable);
  EXPECT_EQ(CheckFolderAccess(tree.Path("missing")), kFolderMissing);
  EXPECT_EQ(CheckFolderAccess(tree.Path("F")), kFolderMissing);

  FaultFs fs({{"BROKEN", 0, FaultFile::kNoList}, {"LOCKED", 0, FaultFile::kNoEnter}, {"OK/X", 5}});
  std::string why;
  if (!fs.Mount(&why)) GTEST_SKIP() << "FUSE fault injection unavailable: " << why;
  EXPECT_EQ(CheckFolderAccess(fs.MountPoint() + "/OK"), kFolderReadable);
  EXPECT_EQ(CheckFolderAccess(fs.MountPoint() + "/BROKEN"), kFolderNotListable);
  EXPECT_EQ(CheckFolderAccess(fs.MountPoint() + "/LOCKED"), kFolderNotEnterable);
}

}  // namespace
}  // namespace platform
