#include "app/check/terminal_window.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "engine/check_run.h"

namespace check {
namespace {

// Labels of the window's panels, from the text table.
constexpr int kTextFileLabel = 125;
constexpr int kTextEstimatedLabel = 135;
constexpr int kTextSpeedUnit = 137;

void WriteAll(int fd, const std::string& s) {
  std::size_t at = 0;
  while (at < s.size()) {
    const ssize_t n = ::write(fd, s.data() + at, s.size() - at);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;
    }
    at += static_cast<std::size_t>(n);
  }
}

std::string Megabytes(int64_t bytes) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
  return buf;
}

}  // namespace

std::string CutToColumns(const std::string& text, int columns) {
  if (columns <= 0) return std::string();
  int count = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    // Every byte that does not continue a UTF-8 sequence starts a character.
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      if (count == columns) return text.substr(0, i);
      ++count;
    }
  }
  return text;
}

TerminalWindow::TerminalWindow(Config config, std::shared_ptr<const engine::TextLookup> text)
    : config_(config), text_(std::move(text)) {}

void TerminalWindow::SetFieldText(int id, const std::string& text) {
  std::lock_guard lock(m_);
  if (!closed_) fields_[id] = text;
}

void TerminalWindow::SetProgress(int, int) {}

int TerminalWindow::AddRow(const std::array<std::string, 4>& cells, const engine::RowFile& file) {
  std::lock_guard lock(m_);
  if (closed_) return -1;
  rows_.push_back(cells);
  files_.push_back(file);
  if (config_.printRows) {
    ClearStatusLocked();
    std::string line = cells[0] + '\t' + cells[1] + '\t' + cells[2] + '\t' + cells[3] + '\n';
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
  }
  return static_cast<int>(rows_.size()) - 1;
}

void TerminalWindow::ShowButton(int, bool) {}

void TerminalWindow::EnableButton(int id, bool enable) {
  // START comes back last of all when the check thread ends its run.
  if (id == engine::kIdStart && enable && config_.wakeFd >= 0) {
    const char byte = 1;
    WriteAll(config_.wakeFd, std::string(1, byte));
  }
}

void TerminalWindow::SetTitle(const std::string&) {}

int TerminalWindow::ShowMessage(const std::string& text, const std::string& caption, unsigned type) {
  std::unique_lock lock(m_);
  if (closed_) return engine::kIdCancel;
  if (type == engine::kMsgResume) {
    resumeAsked_ = true;
    return config_.resumeAnswer;
  }
  if (type == engine::kMsgInfo && caption == text_->Text(engine::kTextReportTitle)) {
    report_ = text;
    return engine::kIdOk;
  }
  messages_.push_back(text);
  ClearStatusLocked();
  WriteAll(STDERR_FILENO, "torvex-check: " + text + "\n");
  // Nothing is retried: a command line has nobody to insert the disc.
  return (type & engine::kMbRetryCancel) != 0 ? engine::kIdCancel : engine::kIdOk;
}

void TerminalWindow::OpenOptions() {}

void TerminalWindow::Close() {
  std::lock_guard lock(m_);
  closed_ = true;
}

int TerminalWindow::Columns() const {
  winsize ws{};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
  return 80;
}

std::string TerminalWindow::StatusText(const engine::ScanState& state, int columns) const {
  std::map<int, std::string> fields;
  {
    std::lock_guard lock(m_);
    fields = fields_;
  }
  const auto field = [&](int id) {
    const auto it = fields.find(id);
    return it == fields.end() ? std::string() : it->second;
  };
  const engine::DiskState& d = state.disk;
  std::string line;
  if (const std::string percent = field(engine::kIdDiskPercent); !percent.empty()) line += percent + "  ";
  line += Megabytes(d.bytesDone) + "  " + std::to_string(d.filesChecked.load()) +
          (config_.language == 0 ? " файлов" : " files");
  if (const std::string speed = field(engine::kIdSpeed); !speed.empty()) {
    line += "  " + speed + " " + text_->Text(kTextSpeedUnit);
  }
  if (const std::string estimate = field(engine::kIdEstimated); !estimate.empty()) {
    line += "  " + text_->Text(kTextEstimatedLabel) + " " + estimate;
  }
  if (const std::string file = field(engine::kIdCurrentFile); !file.empty()) {
    line += "  " + text_->Text(kTextFileLabel) + " " + file;
  }
  // Control characters of a file name would move the cursor.
  for (char& c : line) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  return CutToColumns(line, columns);
}

void TerminalWindow::DrawStatus(const engine::ScanState& state, std::chrono::steady_clock::time_point now) {
  if (!config_.statusLine) return;
  // The last column stays free: writing into it makes some terminals wrap.
  const std::string text = StatusText(state, Columns() - 1);
  std::lock_guard lock(m_);
  if (closed_ || text == shown_ || now - lastDraw_ < kStatusPeriod) return;
  lastDraw_ = now;
  shown_ = text;
  WriteAll(STDERR_FILENO, "\r" + text + "\033[K");
}

void TerminalWindow::ClearStatus() {
  std::lock_guard lock(m_);
  ClearStatusLocked();
}

void TerminalWindow::ClearStatusLocked() {
  if (!config_.statusLine || shown_.empty()) return;
  shown_.clear();
  WriteAll(STDERR_FILENO, "\r\033[K");
}

void TerminalWindow::PrintError(const std::string& text) {
  std::lock_guard lock(m_);
  ClearStatusLocked();
  WriteAll(STDERR_FILENO, "torvex-check: " + text + "\n");
}

std::vector<std::array<std::string, 4>> TerminalWindow::Rows() const {
  std::lock_guard lock(m_);
  return rows_;
}

std::vector<engine::RowFile> TerminalWindow::Files() const {
  std::lock_guard lock(m_);
  return files_;
}

std::string TerminalWindow::Report() const {
  std::lock_guard lock(m_);
  return report_;
}

std::vector<std::string> TerminalWindow::Messages() const {
  std::lock_guard lock(m_);
  return messages_;
}

bool TerminalWindow::ResumeAsked() const {
  std::lock_guard lock(m_);
  return resumeAsked_;
}

}  // namespace check
