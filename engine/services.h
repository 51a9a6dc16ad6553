#pragma once
// What the engine needs of the rest of the program besides the window: the
// log writer, the resume store, the volume query, the sounds, the text table,
// the drive letters, the threads and the read-ahead. The main window hands real
// ones in (the system's threads and read-ahead are in system_services.h);
// tests hand in fakes. Each is an interface of its own.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/scan_state.h"
#include "platform/file_io.h"
#include "platform/relaxed.h"
#include "platform/whole_file.h"

namespace engine {

// The log writer ("Torvex.log"). Results: 0 success, 1..3 failure; a log
// that cannot be written never alters a check, but the user is told once per
// run, with the reason the writer gives.
class LogWriter {
 public:
  virtual ~LogWriter() = default;
  virtual int WriteDiskHeader(std::string_view label) = 0;
  // An empty position is written as an empty field (Open errors).
  virtual int WriteErrorLine(std::string_view fileName, std::string_view kind,
                             std::string_view position, std::string_view folder) = 0;
  // Why the last failed write failed, and the file's path, for the user.
  virtual platform::WriteProblem LastProblem() const { return platform::WriteProblem::kOther; }
  virtual std::string Path() const { return {}; }
};

// A disk's resume record as the disk info file stores it: six 32-bit words,
// the byte counts by their low 32 bits.
struct ResumeRecord {
  uint32_t serial = 0;
  int32_t filesTotal = 0;
  int32_t filesChecked = 0;
  uint32_t bytesTotal = 0;
  uint32_t bytesDone = 0;
  int32_t percent = 0;  // 0..100
};

// The resume store ("Torvex.tvd"). Results: 0 success, 1 failure; a failed
// write never alters a check, but the user is told once per run (see
// LogWriter). resumeActive tells the engine that the disk under check has a record that
// it keeps up to date.
class ResumeStore {
 public:
  virtual ~ResumeStore() = default;
  // Where the record of a serial number lies; 0 when the disk has none or
  // the store cannot be read.
  virtual int64_t FindDisk(uint32_t serial) = 0;
  // The record at an offset FindDisk gave.
  virtual int ReadRecord(int64_t offset, ResumeRecord* record, uint32_t serial) = 0;
  // Adds the disk with zero progress; a disk another run added meanwhile is
  // kept as it is. 0 when the disk has a record now.
  virtual int AddDisk(const DiskState& disk) = 0;
  // Called from the check thread and, on Exit, from the UI thread at the same
  // time: implementations make the two writes not interleave.
  virtual int UpdateDisk(const DiskState& disk) = 0;
  virtual int LoadDisk(DiskState& disk) = 0;
  virtual platform::WriteProblem LastProblem() const { return platform::WriteProblem::kOther; }
  virtual std::string Path() const { return {}; }

  platform::Relaxed<bool> resumeActive{false};
};

// The label and serial number of the volume of a drive root ("D:\"): a
// VolumeFound, kNoVolume (0) when no readable disk is in the drive. A disc
// that can be read through its folder but whose device this user may not
// open is kSerialUnknown: its serial is 0 and names no disc.
class VolumeQuery {
 public:
  enum VolumeFound : int { kNoVolume = 0, kVolume = 1, kSerialUnknown = 2 };
  virtual ~VolumeQuery() = default;
  virtual int Query(const std::string& root, std::string& label, uint32_t& serial) = 0;
};

// Whether the root of a run ("D:\", or a start folder "D:\DATA") can be
// checked: a data disc in its drive that nobody has mounted is mounted first
// where the system offers that, and the root must then be entered and listed.
class RootCheck {
 public:
  enum Result : int {
    kRootReady = 0,
    kRootNotMounted = 1,  // a disc is in the drive, but it is not mounted and cannot be
    kRootUnreadable = 2,  // the root cannot be entered or listed
  };
  virtual ~RootCheck() = default;
  virtual int CheckRoot(const std::string& rootPath) = 0;
};

// Given the odd id of a text pair, the text in the interface language.
// Called from the UI thread and the check thread; returns its own copy.
class TextLookup {
 public:
  virtual ~TextLookup() = default;
  virtual std::string Text(int id) const = 0;
};

// The sound of an event code (1 read error, 2 open error, 7 end of check).
class SoundPlayer {
 public:
  virtual ~SoundPlayer() = default;
  virtual void PlayEventSound(int event) = 0;
};

// Turns the root path of a run ("D:\", "D:\DATA") into the folder to enter,
// by the drives as they are when the run starts; empty when there is none.
class RootPathTranslator {
 public:
  virtual ~RootPathTranslator() = default;
  virtual std::string ToNativePath(const std::string& rootPath) = 0;
};

// The threads of a run: the check thread, the readers and their priority.
class ThreadStarter {
 public:
  virtual ~ThreadStarter() = default;
  // Starts fn on a detached thread; 0, or an error number.
  virtual int StartThread(std::function<void()> fn, std::size_t stackSize) = 0;
  // Gives the calling thread the priority of a slider position (0..6); one of
  // platform::PriorityResult.
  virtual int SetReaderPriority(int position) = 0;
  // Keeps the calling thread on the processor it runs on now; the threads it
  // starts afterwards keep to it too (where the system refuses, they all run
  // wherever it puts them).
  virtual void KeepOnProcessor() = 0;
  // Lets the calling thread run on every processor again.
  virtual void FreeProcessor() = 0;
};

// Brings the files the reader will read next into the system's cache while
// it is busy with the current one, on storage where that pays off. Every call
// but HoldFolder and WorthIt comes from the read-ahead thread, which nobody
// ever waits for.
class FilePrefetcher {
 public:
  virtual ~FilePrefetcher() = default;
  // Holds the current directory so that its files can be opened after the
  // walk has moved on (-1: it cannot be held). Check thread.
  virtual int HoldFolder() = 0;
  // Whether the files of the held folder are worth reading ahead. Check thread.
  virtual bool WorthIt(int folder) = 0;
  // Any thread, once nobody uses the held folder any more.
  virtual void ReleaseFolder(int folder) = 0;
  // Asks for the ranges of a file of the held folder; may wait for the device.
  virtual void Prefetch(int folder, const std::string& name, const std::vector<platform::ByteRange>& ranges) = 0;
  // Gives the calling thread the reader's priority for a slider position;
  // a platform::PriorityResult.
  virtual int TakePriority(int position) = 0;
};

}  // namespace engine
