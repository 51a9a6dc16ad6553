#pragma once
// The readiness sequence of a run: a readable disk must be in the selected
// device, it must not be an audio disc, and a whole CD-ROM disk that an
// earlier check remembered is checked again or continued as the user
// chooses. The device may take long to answer, so it runs on the check
// thread before the walks, asking through the window (the program's message
// box); Start itself has already refused a run without a device.
#include <functional>

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
  // Looked at after every question to the device: true once the run is
  // stopped or the window is gone, and nothing more is asked or told (null:
  // never).
  std::function<bool()> halted;
};

// Resets the disk state, fills in the label and serial number, zeroes the
// speed counter and decides on the resume record (resumeActive), whose
// progress it loads into the disk state for the run. Returns true
// for go; without go nothing is started. The run has a device.
bool RunReadiness(const RunSettings& run, ScanState& state, const ReadinessDeps& deps);

// The root whose volume is examined: "%c:\" with the start folder's first
// character, or with the device's letter.
std::string VolumeRoot(const RunSettings& run);

}  // namespace engine
