#pragma once
// What a run freezes, taken by Start before anything else: the Options
// dialog may change the settings while the run counts its files, and only
// the live options (sounds, speaker, fast checking, delay, priority) are
// read afresh during a run.
#include <cstdint>
#include <string>

#include "engine/settings.h"

namespace engine {

struct RunSettings {
  int drive = -1;            // 0..25 for A..Z; anything else: none
  std::string startFolder;   // empty: the whole disk
  bool preScan = false;
  bool createLog = false;
  bool resumeEnabled = false;
  bool cdromTarget = false;

  static RunSettings Take(const Settings& settings, const std::string& startFolder);
  bool HasDevice() const { return drive >= 0 && drive <= 25; }
  // The run checks a whole disk: no start folder, or a drive root ("D:").
  bool WholeDisk() const { return startFolder.empty() || startFolder.size() == 3; }
  // Where the walk begins: the start folder, or "%c:\" of the device.
  std::string RootPath() const;

  // Set by the check thread as it begins, and touched by it alone: the
  // root's own folder, translated once for the whole run (a volume mounted
  // meanwhile cannot move a letter under it), and the device it lies on.
  std::string nativeRoot;
  uint64_t rootDevice = 0;
};

}  // namespace engine
