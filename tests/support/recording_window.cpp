#include "tests/support/recording_window.h"

namespace testing_support {

void RecordingWindow::SetFieldText(int id, const std::string& text) {
  std::lock_guard l(m_);
  fields_[id].push_back(text);
}
void RecordingWindow::SetProgress(int id, int position) {
  {
    std::lock_guard l(m_);
    progress_[id].push_back(position);
  }
  if (onProgress) onProgress(id, position);
}
int RecordingWindow::AddRow(const std::array<std::string, 4>& cells, const engine::RowFile& file) {
  std::lock_guard l(m_);
  rows_.insert(rows_.begin() + nextRow_, cells);
  files_.insert(files_.begin() + nextRow_, file);
  return nextRow_++;
}
void RecordingWindow::ShowButton(int id, bool show) {
  std::lock_guard l(m_);
  visible_[id] = show;
}
void RecordingWindow::EnableButton(int id, bool enable) {
  {
    std::lock_guard l(m_);
    enabled_[id] = enable;
  }
  if (onEnable) onEnable(id, enable);
}
void RecordingWindow::SetTitle(const std::string& title) {
  std::lock_guard l(m_);
  title_ = title;
}
int RecordingWindow::ShowMessage(const std::string& text, const std::string& caption, unsigned type) {
  Message msg{text, caption, type};
  {
    std::lock_guard l(m_);
    messages_.push_back(msg);
  }
  return answer ? answer(msg) : engine::kIdOk;
}

std::string RecordingWindow::Field(int id) const {
  std::lock_guard l(m_);
  auto it = fields_.find(id);
  return it == fields_.end() || it->second.empty() ? std::string() : it->second.back();
}
int RecordingWindow::Progress(int id) const {
  std::lock_guard l(m_);
  auto it = progress_.find(id);
  return it == progress_.end() || it->second.empty() ? 0 : it->second.back();
}
bool RecordingWindow::Visible(int id) const {
  std::lock_guard l(m_);
  auto it = visible_.find(id);
  return it != visible_.end() && it->second;
}
bool RecordingWindow::Enabled(int id) const {
  std::lock_guard l(m_);
  auto it = enabled_.find(id);
  return it != enabled_.end() && it->second;
}
std::string RecordingWindow::Title() const {
  std::lock_guard l(m_);
  return title_;
}
std::vector<std::array<std::string, 4>> RecordingWindow::Rows() const {
  std::lock_guard l(m_);
  return rows_;
}
std::vector<engine::RowFile> RecordingWindow::Files() const {
  std::lock_guard l(m_);
  return files_;
}
std::vector<RecordingWindow::Message> RecordingWindow::Messages() const {
  std::lock_guard l(m_);
  return messages_;
}
std::vector<std::string> RecordingWindow::FieldHistory(int id) const {
  std::lock_guard l(m_);
  auto it = fields_.find(id);
  return it == fields_.end() ? std::vector<std::string>{} : it->second;
}
std::vector<int> RecordingWindow::ProgressHistory(int id) const {
  std::lock_guard l(m_);
  auto it = progress_.find(id);
  return it == progress_.end() ? std::vector<int>{} : it->second;
}
void RecordingWindow::ClearStatistics() {
  std::lock_guard l(m_);
  rows_.clear();
  files_.clear();
  nextRow_ = 0;
}

void RecordingWindow::OpenOptions() {
  std::lock_guard l(m_);
  ++optionsOpened_;
}
int RecordingWindow::OptionsOpened() const {
  std::lock_guard l(m_);
  return optionsOpened_;
}

}  // namespace testing_support
