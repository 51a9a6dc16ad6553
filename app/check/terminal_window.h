#pragma once
// The engine's window on a terminal: error rows printed as lines when they
// come, the program's message boxes answered from the command line (nothing
// is ever asked), and one status line on standard error, redrawn by the main
// loop, when standard error is a terminal.
#include <array>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/scan_state.h"
#include "engine/services.h"
#include "engine/window_ops.h"

namespace check {

class TerminalWindow : public engine::WindowOps {
 public:
  struct Config {
    bool printRows = true;        // rows as lines on standard output
    bool statusLine = false;      // standard error is a terminal
    int resumeAnswer = engine::kIdCheckAgain;  // to the resume question
    int wakeFd = -1;              // written to when the check thread hands the run back
    int language = 1;             // 0 Russian: the few words of our own
  };
  TerminalWindow(Config config, std::shared_ptr<const engine::TextLookup> text);

  void SetFieldText(int id, const std::string& text) override;
  void SetProgress(int id, int position) override;
  int AddRow(const std::array<std::string, 4>& cells, const engine::RowFile& file) override;
  void ShowButton(int id, bool show) override;
  void EnableButton(int id, bool enable) override;
  void SetTitle(const std::string& title) override;
  int ShowMessage(const std::string& text, const std::string& caption, unsigned type) override;
  void OpenOptions() override;

  // From here on every call does nothing and ShowMessage cancels.
  void Close();

  // Redraws the status line from the fields and the run state, at most once
  // in kStatusPeriod and only when its text changed. Main thread.
  void DrawStatus(const engine::ScanState& state, std::chrono::steady_clock::time_point now);
  // Takes the status line off the terminal.
  void ClearStatus();
  // A line of our own on standard error (the status line makes room).
  void PrintError(const std::string& text);

  // The text of the status line, cut to columns (UTF-8 characters).
  std::string StatusText(const engine::ScanState& state, int columns) const;

  std::vector<std::array<std::string, 4>> Rows() const;
  // The file each row names, row by row.
  std::vector<engine::RowFile> Files() const;
  // The end-of-check report, empty until it was shown.
  std::string Report() const;
  // Every other message the engine showed, in order.
  std::vector<std::string> Messages() const;
  // The resume question was asked (and answered).
  bool ResumeAsked() const;

  static constexpr std::chrono::milliseconds kStatusPeriod{100};

 private:
  void ClearStatusLocked();
  int Columns() const;

  Config config_;
  std::shared_ptr<const engine::TextLookup> text_;
  mutable std::mutex m_;
  bool closed_ = false;
  std::map<int, std::string> fields_;
  std::vector<std::array<std::string, 4>> rows_;
  std::vector<engine::RowFile> files_;
  std::string report_;
  std::vector<std::string> messages_;
  bool resumeAsked_ = false;
  // The status line as it stands on the terminal (empty: none).
  std::string shown_;
  std::chrono::steady_clock::time_point lastDraw_{};
};

// The first bytes of text that make up at most columns characters.
std::string CutToColumns(const std::string& text, int columns);

}  // namespace check
