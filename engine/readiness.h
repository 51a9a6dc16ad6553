#pragma once
// The readiness sequence of Start: a device must be selected, a readable disk
// must be in it, it must not be an audio disc, and a whole CD-ROM disk that
// an earlier check remembered is checked again or continued as the user
// chooses. Runs on the UI thread before the check thread exists, with the
// program's message box.
#include "engine/check_run.h"

namespace engine {

struct ReadinessDeps {
  WindowOps& window;
  const TextLookup& text;
  VolumeQuery* volumes;  // null: every query gives an empty label and serial 0
  ResumeStore* store;    // null: no disk is remembered
  RootCheck* roots = nullptr;  // null: every root is ready
  // Set when the record that "Check again" rewrites could not be written.
  bool* recordNotWritten = nullptr;
};

// Resets the disk state, fills in the label and serial number, zeroes the
// speed counter and decides on the resume record (resumeActive), whose
// progress it loads into the disk state for the run. Returns true
// for go; without go nothing is started.
bool RunReadiness(const RunSettings& run, ScanState& state, const ReadinessDeps& deps);

// The root whose volume is examined: "%c:\" with the start folder's first
// character, or with the device's letter.
std::string VolumeRoot(const RunSettings& run);

}  // namespace engine
