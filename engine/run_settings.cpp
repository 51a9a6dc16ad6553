#include "engine/run_settings.h"

namespace engine {

RunSettings RunSettings::Take(const Settings& settings, const std::string& startFolder) {
  RunSettings run;
  run.drive = settings.drive;
  run.startFolder = startFolder;
  run.preScan = settings.preScan;
  run.createLog = settings.createLog;
  run.resumeEnabled = settings.resumeEnabled;
  run.cdromTarget = settings.cdromTarget;
  return run;
}

std::string RunSettings::RootPath() const {
  return !startFolder.empty() ? startFolder : std::string(1, static_cast<char>('A' + drive)) + ":\\";
}

}  // namespace engine
