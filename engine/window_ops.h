#pragma once
// What the engine may do to the main window. Every call is synchronous: it
// has taken effect when it returns. The main window carries each call out on
// the UI thread (a direct call when already there); once the window is gone
// the calls do nothing and ShowMessage returns kIdCancel.
//
// Because the engine threads wait for the UI thread here, the UI thread must
// never wait for an engine thread: Stop, Skip and Exit only raise flags.
#include <array>
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

class WindowOps {
 public:
  virtual ~WindowOps() = default;

  virtual void SetFieldText(int id, const std::string& text) = 0;
  virtual void SetProgress(int id, int position) = 0;  // 0..100
  // Adds a row of the error list at the window's next-row index, sets its four
  // cells and advances the index, as one step (Clear statistics may reset the
  // index at any time). Returns the index the row went to.
  virtual int AddRow(const std::array<std::string, 4>& cells) = 0;
  virtual void ShowButton(int id, bool show) = 0;
  virtual void EnableButton(int id, bool enable) = 0;
  virtual void SetTitle(const std::string& title) = 0;
  // The program's message box; blocks the caller until it is answered.
  // An empty caption means none (the box keeps its own title).
  virtual int ShowMessage(const std::string& text, const std::string& caption, unsigned type) = 0;
  // Opens the Options dialog exactly as its command does (Start without a
  // device). UI thread only.
  virtual void OpenOptions() = 0;
};

}  // namespace engine
