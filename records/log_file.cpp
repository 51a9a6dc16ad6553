#include "records/log_file.h"

#include <cstdio>

#include "platform/whole_file.h"
#include "records/data_text.h"
#include "engine/settings.h"

namespace records {
namespace {

constexpr std::string_view kHeader =
    ";\n"
    "; Torvex v2.xx LogFile. Every disk check and every file that could not be read.\n"
    "; Torvex disk checker, Quillon.\n"
    ";";

}  // namespace

int LogFile::SetFolder(std::string_view folder) {
  std::lock_guard lock(m_);
  folder_ = FolderWithSeparator(folder);
  return kOk;
}

int LogFile::OpenLog(std::string_view name, int mode) {
  std::lock_guard lock(m_);
  if (name.empty() || folder_.empty()) return kCannotCreate;
  if (mode != engine::kLogAppend && mode != engine::kLogOverwrite) return kCannotCreate;
  const std::string path = folder_ + std::string(name);
  if (!OpenLocked(path, mode)) {
    // A log that is ready stays where it was; one that never opened is
    // tried again at its first record.
    if (!ready_) path_ = path;
    return kCannotCreate;
  }
  ready_ = true;
  path_ = path;
  return kOk;
}

bool LogFile::OpenLocked(const std::string& path, int mode) {
  // Appending creates an empty file when there is none; where that fails the
  // log is made afresh with its header. Neither goes through a link.
  if (mode == engine::kLogAppend && platform::AppendToFile(path, "", &problem_) == 0) return true;
  return platform::OverwriteFile(path, WithCrLf(kHeader), &problem_) == 0;
}

std::tm SystemClock::Now() const {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return tm;
}

int LogFile::WriteDiskHeader(std::string_view label) {
  const std::tm tm = clock_->Now();
  char when[64];
  std::snprintf(when, sizeof when, ", %02d/%02d/%02d, %2d:%02d]", tm.tm_mday, tm.tm_mon + 1, tm.tm_year + 1900,
                tm.tm_hour, tm.tm_min);
  // Composed, not formatted: a percent sign in the label is written as such.
  std::string record = "\n\n[";
  record.append(label);
  record += when;
  return Write(record);
}

int LogFile::WriteErrorLine(std::string_view fileName, std::string_view kind, std::string_view position,
                            std::string_view folder) {
  std::string record = "\n ";
  record.append(fileName);
  record += ", ";
  record.append(kind);
  record += ", ";
  record.append(position);
  record += ", ";
  record.append(folder);
  return Write(record);
}

int LogFile::Write(const std::string& record) {
  std::lock_guard lock(m_);
  if (path_.empty()) return kNotReady;
  // A log that could not be opened is tried again, appending: what another
  // run wrote into it is kept.
  if (!ready_ && !(ready_ = OpenLocked(path_, engine::kLogAppend))) return kNotReady;
  // Opened for appending, written in one request (whole or not at all),
  // closed again.
  return platform::AppendToFile(path_, WithCrLf(record), &problem_) == 0 ? kOk : kCannotWrite;
}

bool LogFile::Ready() const {
  std::lock_guard lock(m_);
  return ready_;
}

platform::WriteProblem LogFile::LastProblem() const {
  std::lock_guard lock(m_);
  return problem_;
}

std::string LogFile::Path() const {
  std::lock_guard lock(m_);
  return path_;
}

}  // namespace records
