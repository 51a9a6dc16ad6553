#pragma once
// What the engine may do to the main window. The main window carries each
// call out on the UI thread (a direct call when already there), in the order
// the calls were made; once the window is gone the calls do nothing and
// ShowMessage returns kIdCancel.
//
// A row, a message box, the Options and HandOver have taken effect when they
// return. Field texts, positions, buttons and the title may still be on their
// way to the UI thread: a thread that changes what the UI thread acts on
// after them (the end of a run, which raises idle) does so through HandOver.
//
// Because the engine threads wait for the UI thread here, the UI thread must
// never wait for an engine thread: Stop, Skip and Exit only raise flags.
#include <array>
#include <functional>
#include <string>

#include "engine/message_box.h"

namespace engine {

// Controls of the main window that the engine touches.
enum ControlId : int {
  kIdFileBar = 1004,
  kIdDiskBar = 1005,
  kIdCurrentFile = 1006,
  kIdFolderPath = 1007,
  kIdFilePercent = 1009,
  kIdDiskPercent = 1010,
  kIdStart = 1050,
  kIdSkip = 1063,
  kIdStop = 1064,
  kIdElapsed = 1071,
  kIdEstimated = 1072,
  kIdVolumeLabel = 1073,
  kIdSpeed = 1074,
};

// The file an error row names, as the walk reached it: the folder the run
// walked from, and the file's path below it, its names the bytes the disc
// gives joined with '/'. Both empty for a row that names no file.
struct RowFile {
  std::string root;
  std::string path;
};

class WindowOps {
 public:
  virtual ~WindowOps() = default;

  virtual void SetFieldText(int id, const std::string& text) = 0;
  virtual void SetProgress(int id, int position) = 0;  // 0..100
  // Adds a row of the error list at the window's next-row index, sets its four
  // cells and advances the index, as one step (Clear statistics may reset the
  // index at any time). file is what the row names, kept with it so that the
  // file can be found again by its bytes, never by the row's text. Returns
  // the index the row went to.
  virtual int AddRow(const std::array<std::string, 4>& cells, const RowFile& file) = 0;
  virtual void ShowButton(int id, bool show) = 0;
  virtual void EnableButton(int id, bool enable) = 0;
  virtual void SetTitle(const std::string& title) = 0;
  // The program's message box; blocks the caller until it is answered.
  // An empty caption means none (the box keeps its own title).
  virtual int ShowMessage(const std::string& text, const std::string& caption, unsigned type) = 0;
  // Opens the Options dialog exactly as its command does (Start without a
  // device). UI thread only.
  virtual void OpenOptions() = 0;
  // Runs fn where the window's calls are carried out, once every call made
  // before it has taken effect, and returns when fn has run. Once the window
  // is gone fn runs at once on the calling thread. A window whose calls all
  // take effect before they return runs fn at once.
  virtual void HandOver(const std::function<void()>& fn) { fn(); }
};

}  // namespace engine
