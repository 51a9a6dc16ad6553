#pragma once
// The program's options, kept in the registry as the 16-byte value "Options".
// Fields that the Options dialog may change while a check runs are read by the
// engine threads at the same time, so every field is a relaxed shared word.
#include <cstdint>
#include <string>

#include "platform/relaxed.h"

namespace engine {

using platform::Relaxed;

enum LogMode : int { kLogAppend = 1, kLogOverwrite = 2 };

struct Settings {
  Relaxed<bool> showCdromOnly{true};   // byte 0
  Relaxed<bool> createLog{true};       // byte 1
  Relaxed<int> logMode{kLogOverwrite}; // byte 2
  Relaxed<bool> resumeEnabled{true};   // byte 3
  Relaxed<bool> sounds{true};          // byte 4
  Relaxed<bool> internalSpeaker{false};// byte 5
  Relaxed<bool> fastCheck{false};      // byte 6
  Relaxed<bool> preScan{true};         // byte 7
  Relaxed<int> delaySeconds{5};        // byte 8
  Relaxed<int> driveListIndex{-1};     // byte 9
  Relaxed<int> drive{-1};              // byte 10: 0..25 for A..Z, -1 none
  Relaxed<bool> cdromTarget{false};    // byte 11
  Relaxed<int> priority{3};            // byte 12: reader priority position 0..6
  Relaxed<int> language{1};            // byte 13: 0 Russian, other English
  Relaxed<int> servicePack{0};         // byte 15
};

// The stored bytes may hold anything (a file of an older version, a hand
// edit); the options are read through these wherever they are used, so that
// no stored value can break a run.

// The delay time in seconds: 3..99, a value outside taken as the nearest end.
inline constexpr int kMinDelaySeconds = 3;
inline constexpr int kMaxDelaySeconds = 99;
inline int DelaySeconds(const Settings& s) {
  const int delay = s.delaySeconds;
  return delay < kMinDelaySeconds ? kMinDelaySeconds : (delay > kMaxDelaySeconds ? kMaxDelaySeconds : delay);
}
// The reader priority position 0..6; anything else is the normal one (3).
inline int PriorityPosition(const Settings& s) {
  const int position = s.priority;
  return position >= 0 && position <= 6 ? position : 3;
}
// The log mode: only 2 overwrites; anything else appends.
inline int LogModeOf(const Settings& s) { return s.logMode == kLogOverwrite ? kLogOverwrite : kLogAppend; }

}  // namespace engine
