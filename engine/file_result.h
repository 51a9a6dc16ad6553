#pragma once

namespace engine {

// The result of checking one file. Read (1) and Open (2) are also the sound
// events of a read error and an open error.
enum class FileResult : int {
  Ok = 0,
  Read = 1,
  Open = 2,
  NoMemory = 3,
  Skipped = 4,
  Stopped = 5,
  InternalError = 6,
};

}  // namespace engine
