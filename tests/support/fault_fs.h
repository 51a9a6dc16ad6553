#pragma once
// A small FUSE file system for tests that serves files which fail the way a
// damaged disc fails: a read error at a chosen offset, a file that refuses to
// open, a read that stalls inside the kernel, a file shorter than its listed
// size, a read interrupted by a signal. Reads are served with direct_io, so
// the file system sees the program's own read requests and their offsets.
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

struct FaultFile {
  enum Fault {
    kNone,
    kEio,     // the read that covers `at` fails with EIO
    kNoOpen,  // open fails with EACCES
    kStall,   // the read that covers `at` does not return until released
    kShort,   // the file holds only `at` bytes, though it lists `size`
    kEintr,   // the first read that covers `at` is interrupted (EINTR)
    kSlow,    // every read takes `at` microseconds, as from a slow device
    kUntyped, // listed without a type, and looking at it fails with EIO
    // Folders (the path names a folder, the size is not used):
    kNoEnter,  // looking the folder up fails with EIO
    kNoList,   // listing the folder fails with EIO
    kNoReturn, // changing into the folder fails (EIO) the second time only:
               // the way back into it from a sub-folder
  };
  std::string path;  // "NAME" or "FOLDER/NAME"
  int64_t size = 0;  // as listed
  Fault fault = kNone;
  int64_t at = 0;
  bool stallClose = false;  // closing the file does not return until released
  // kStall: the first read that covers `at` waits this long (microseconds)
  // and is then served; 0: it waits until released and fails.
  int64_t stallFor = 0;
  // The bytes served: this file's (the path of a real file) instead of a
  // pattern.
  std::string source = {};
};

// The bytes a file without a source serves: byte i is i * 31 + 7.
inline std::string FaultPattern(int64_t size) {
  std::string bytes(static_cast<std::size_t>(size), '\0');
  for (int64_t i = 0; i < size; ++i) bytes[static_cast<std::size_t>(i)] = static_cast<char>(i * 31 + 7);
  return bytes;
}

class FaultFs {
 public:
  explicit FaultFs(std::vector<FaultFile> files);
  ~FaultFs();
  FaultFs(const FaultFs&) = delete;
  FaultFs& operator=(const FaultFs&) = delete;

  // Mounts on a new temporary folder. False, with the reason, where the
  // kernel or the sandbox refuses.
  bool Mount(std::string* why);
  // Mounts on an existing empty folder (which is left in place afterwards).
  bool MountAt(const std::string& folder, std::string* why);
  const std::string& MountPoint() const;

  // (offset, length) of every read request the file got, in order.
  std::vector<std::pair<int64_t, int64_t>> Reads(const std::string& path) const;
  // How often the path was looked up (stat) or opened.
  int Looks(const std::string& path) const;
  // Reads held inside the file system by a stall right now.
  int StalledReads() const;
  // Closes held inside the file system right now, and their release.
  int StalledCloses() const;
  void ReleaseCloses();
  // Forced unmount (umount -f): aborts the connection, which frees every
  // stalled read at once.
  void ForceUnmount();

  struct State;

 private:
  bool MountHere(std::string* why);
  std::shared_ptr<State> state_;
};

}  // namespace testing_support
