#pragma once
// A window that records every call the engine makes, for the engine tests.
#include <array>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "engine/window_ops.h"

namespace testing_support {

class RecordingWindow : public engine::WindowOps {
 public:
  struct Message {
    std::string text, caption;
    unsigned type;
  };

  void SetFieldText(int id, const std::string& text) override;
  void SetProgress(int id, int position) override;
  int AddRow(const std::array<std::string, 4>& cells, const engine::RowFile& file) override;
  void ShowButton(int id, bool show) override;
  void EnableButton(int id, bool enable) override;
  void SetTitle(const std::string& title) override;
  int ShowMessage(const std::string& text, const std::string& caption, unsigned type) override;
  void OpenOptions() override;
  int OptionsOpened() const;

  // What the window shows now.
  std::string Field(int id) const;
  int Progress(int id) const;
  bool Visible(int id) const;
  bool Enabled(int id) const;
  std::string Title() const;
  std::vector<std::array<std::string, 4>> Rows() const;
  // The file each row names, row by row.
  std::vector<engine::RowFile> Files() const;
  std::vector<Message> Messages() const;
  // Every text a field was given, in order.
  std::vector<std::string> FieldHistory(int id) const;
  std::vector<int> ProgressHistory(int id) const;
  void ClearStatistics();

  // The answer ShowMessage gives (default: OK).
  std::function<int(const Message&)> answer;
  // Called (outside the recorder's lock) after every SetProgress, on the
  // calling thread: lets a test act at a known point of a read.
  std::function<void(int id, int position)> onProgress;
  // Called (outside the lock) after every EnableButton, on the calling thread.
  std::function<void(int id, bool enable)> onEnable;

 private:
  mutable std::mutex m_;
  std::map<int, std::vector<std::string>> fields_;
  std::map<int, std::vector<int>> progress_;
  std::map<int, bool> visible_, enabled_;
  std::string title_;
  std::vector<std::array<std::string, 4>> rows_;
  std::vector<engine::RowFile> files_;
  int nextRow_ = 0;
  std::vector<Message> messages_;
  int optionsOpened_ = 0;
};

}  // namespace testing_support
