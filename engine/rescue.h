#pragma once
// The rescue: copies the readable part of damaged files off a disc. Each file
// is read in the check's blocks; a block that fails is read again sector by
// sector, so that every good sector of it is kept, and a sector that cannot
// be read is left as zeros in the copy and noted in the file's map. A read
// that stalls longer than the delay time is given up as in a check, and a
// fresh reader opens the file again after the stalled place. After the first
// pass, the missing sectors are tried again, last one first, for a number of
// extra passes.
//
// Threads: the rescue thread runs the files one after another and waits for
// the reader of the current file against the delay time; the reader thread
// reads and writes the copy; a ticker thread counts the seconds of the
// watchdog and wakes the rescue thread for progress. The listener hears from
// the rescue thread only. Nothing is ever written to the volume being read:
// the caller checks the destination with DestinationProblem first, and every
// copy is written under a temporary name and renamed when its file is done.
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/rescue_map.h"
#include "engine/services.h"
#include "engine/stuck_readers.h"
#include "engine/window_ops.h"

namespace engine {

struct RescueFile {
  // The file on the volume being read: a folder of this system (the root of
  // the check that found the file), and the path below it as the walk had it,
  // names as the disc gives them joined with '/'. It is reached name by name
  // from the root, however long the path.
  std::string root;
  std::string path;
  std::string relative;  // the copy's path below the destination
};

struct RescueOptions {
  std::string destination;  // an existing folder
  int delaySeconds = 10;    // 3..99
  int priority = 3;         // the reader's slider position, 0..6
  int extraPasses = 2;      // passes over the missing sectors after the first
  int sectorSize = 0;       // 0: the volume's own (2,048 bytes on an optical disc)
  std::string drive;        // the drive as the window names it ("D:"), for the messages
};

// What became of one file.
struct RescueOutcome {
  enum Kind {
    kWhole,      // every byte copied (or already there whole from an earlier rescue)
    kPart,       // copied but for the missing areas (zeros in the copy, listed in its map)
    kNotOpened,  // the file could not be opened at all
    kNotWritten, // the copy could not be written (problem says why)
    kNotDone,    // the rescue was cancelled or stopped before the file was done
    kInTheWay,   // another file of that name is in the destination: left alone
  };
  std::string relative;
  Kind kind = kNotDone;
  int64_t size = 0;
  std::vector<RescueMap::Area> missing;  // kPart: the areas not read
  int64_t MissingBytes() const;
  int problem = 0;  // kNotWritten: a platform::WriteProblem
  // kNotWritten: what stood in the way below the destination.
  enum Obstacle {
    kNoObstacle,
    kLinkInPath,      // a symbolic link where a folder of the copy's path must be: inTheWay names it
    kFileInPath,      // something else than a folder there: inTheWay names it
    kNameNotAllowed,  // the relative path cannot stand below a folder ("..", an empty name)
  };
  Obstacle obstacle = kNoObstacle;
  std::string inTheWay;  // below the destination
};

struct RescueReport {
  std::vector<RescueOutcome> files;
  bool cancelled = false;
  // Every reader of the device was stuck and none came back in time: the
  // rescue stopped.
  bool deviceNotAnswering = false;
  // The destination could not be written: the rescue stopped.
  bool destinationFailed = false;
  std::string drive, destination;  // as the options gave them
};

struct RescueProgress {
  std::string file;        // the relative path of the file being copied
  int fileNumber = 0;      // 1..files
  int files = 0;
  int pass = 1;            // 1 the first pass, then the extra ones
  int passes = 1;          // how many passes this file gets at most
  int64_t recovered = 0;   // bytes copied so far, over every file
  int64_t missing = 0;     // bytes that could not be read so far, over every file
};

class RescueListener {
 public:
  virtual ~RescueListener() = default;
  // Now and then while the rescue runs (rescue thread).
  virtual void Progress(const RescueProgress& progress) = 0;
  // Once, at the end (rescue thread, which then ends).
  virtual void Finished(const RescueReport& report) = 0;
};

// Why a destination cannot take the copies: 0 when it can, else one of
// these.
enum class DestinationProblem { kNone, kMissing, kOnVolume };
DestinationProblem CheckDestination(const std::string& destination, const std::string& volumeRoot);

class RescueRun {
 public:
  // stuck: the program's readers left stuck in the kernel, shared with its
  // checks and every other rescue, so that the bound per device holds
  // across them all.
  RescueRun(std::shared_ptr<ThreadStarter> threads, std::shared_ptr<RescueListener> listener,
            std::shared_ptr<StuckReaders> stuck);
  ~RescueRun();
  RescueRun(const RescueRun&) = delete;
  RescueRun& operator=(const RescueRun&) = delete;

  // Starts the rescue of files on threads of its own. False when a rescue is
  // running or no thread could be started.
  bool Start(std::vector<RescueFile> files, const RescueOptions& options);
  // Asks the rescue to end: what was read is kept, every started copy stays
  // under its temporary name with its map. Returns at once; Finished follows
  // within a second even while a read is stuck. The owner's thread, as Start.
  void Cancel();
  // Whether a rescue is running (Finished not yet heard). The owner's thread.
  bool Running() const;

  struct Shared;

 private:
  std::shared_ptr<ThreadStarter> threads_;
  std::shared_ptr<RescueListener> listener_;
  std::shared_ptr<StuckReaders> stuck_;
  std::shared_ptr<Shared> shared_;  // of the running rescue
};

// The file an error list row names, for a rescue: the file as the walk found
// it, and as the copy's path its path below driveRoot, the folder of the
// row's drive (a start folder's files keep their place below the drive's
// root). None when the row names no file.
std::optional<RescueFile> RescueFileOfRow(const RowFile& row, const std::string& driveRoot);

// The name of a copy while it is written, and of its map (copy: a name or a
// path, whose last name is the copy's). A name too long to carry these
// endings and the map's temporary one is shortened, and made unique again by
// a sum of the whole name.
std::string PartName(const std::string& copy);
std::string MapName(const std::string& copy);

}  // namespace engine
