#pragma once
// The log file "Torvex.log": a header, one bracketed line per disk check and
// one line per file with an error. The file is never held open: every record
// opens it for appending, writes and closes it again. Records begin with
// their line end (CR LF), so the file never ends with one.
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "engine/services.h"

namespace records {

// The local time that a disk header records.
class LocalClock {
 public:
  virtual ~LocalClock() = default;
  virtual std::tm Now() const = 0;
};

// The system's local time.
class SystemClock : public LocalClock {
 public:
  std::tm Now() const override;
};

class LogFile : public engine::LogWriter {
 public:
  explicit LogFile(std::shared_ptr<const LocalClock> clock = std::make_shared<SystemClock>())
      : clock_(std::move(clock)) {}

  // Results of every operation.
  enum Result : int { kOk = 0, kCannotCreate = 1, kCannotWrite = 2, kNotReady = 3 };

  // The folder the log lives in (the program folder).
  int SetFolder(std::string_view folder);
  // mode 1 (kLogAppend): append, creating an empty file when there is none;
  // if that fails, as mode 2. Mode 2
  // (kLogOverwrite): create or truncate the file and write the header. The
  // log is ready after the first success; a log that could not be opened is
  // tried again (appending) at each record. No file is ever written through a
  // symbolic link, and only a regular file is written.
  int OpenLog(std::string_view name, int mode);

  int WriteDiskHeader(std::string_view label) override;
  int WriteErrorLine(std::string_view fileName, std::string_view kind, std::string_view position,
                     std::string_view folder) override;

  bool Ready() const;
  // The path of the log once a name was given, opened or not.
  std::string Path() const override;
  platform::WriteProblem LastProblem() const override;

 private:
  int Write(const std::string& record);
  bool OpenLocked(const std::string& path, int mode);

  std::shared_ptr<const LocalClock> clock_;
  mutable std::mutex m_;
  bool ready_ = false;
  std::string folder_;
  std::string path_;
  platform::WriteProblem problem_ = platform::WriteProblem::kNone;
};

}  // namespace records
