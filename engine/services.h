#pragma once
// What the engine needs of the rest of the program besides the window: the
// log writer, the resume store, the sounds and the text table. The main
// window hands real ones in; tests hand in fakes.
#include <functional>
#include <string>
#include <string_view>

#include "engine/scan_state.h"
#include "platform/relaxed.h"

namespace engine {

// The log writer ("Torvex.log"). Results: 0 success, 1..3 failure; the engine
// ignores them, so a log that cannot be written never alters a check.
class LogWriter {
 public:
  virtual ~LogWriter() = default;
  virtual int WriteDiskHeader(std::string_view label) = 0;
  // An empty position is written as an empty field (Open errors).
  virtual int WriteErrorLine(std::string_view fileName, std::string_view kind,
                             std::string_view position, std::string_view folder) = 0;
};

// The resume store ("Torvex.tvd"). Results: 0 success, 1 failure; ignored.
// resumeActive tells the engine that the disk under check has a record that
// it keeps up to date.
class ResumeStore {
 public:
  virtual ~ResumeStore() = default;
  virtual int AddDisk(const DiskState& disk) = 0;
  // Called from the check thread and, on Exit, from the UI thread at the same
  // time: implementations make the two writes not interleave.
  virtual int UpdateDisk(const DiskState& disk) = 0;
  virtual int LoadDisk(DiskState& disk) = 0;

  platform::Relaxed<bool> resumeActive{false};
};

// Given the odd id of a text pair, the text in the interface language.
// Called from the UI thread and the check thread; returns its own copy.
using TextLookup = std::function<std::string(int id)>;

// Sound of an event code (1 read error, 2 open error, 7 end of check).
using SoundPlayer = std::function<void(int event)>;

}  // namespace engine
