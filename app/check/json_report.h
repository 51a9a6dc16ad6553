#pragma once
// The --json document of torvex-check (its format is described in the
// README and stays stable: fields are only ever added).
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace check {

// A JSON string literal of text. Bytes that are not UTF-8 become U+FFFD.
std::string JsonString(std::string_view text);

struct JsonRow {
  std::string name;
  std::string kind;      // "read", "open", "skipped", "no-memory"
  std::string kindText;  // as the row shows it
  std::optional<int64_t> position;  // kilobytes; none for open errors
  std::string folder;
};

struct JsonRescueFile {
  std::string path;    // below the destination
  std::string result;  // "whole", "part", "not-opened", "not-written", "not-done", "in-the-way"
  int64_t size = 0;
  std::vector<std::pair<int64_t, int64_t>> missing;  // (position, bytes)
};

struct JsonDocument {
  // volume
  std::string label;
  uint32_t serial = 0;
  bool serialKnown = true;  // false: the device could not be opened (null)
  char letter = 0;  // 0: none
  std::string folder;       // the Linux folder checked
  std::string startFolder;  // "D:\DATA"; "D:\" for a whole disk
  bool wholeDisk = false;
  bool cdrom = false;
  // settings
  int delaySeconds = 5;
  bool fast = false;
  bool preScan = true;
  int priority = 3;
  std::string resume = "none";
  std::string logFile;  // empty: none
  std::string language = "en";
  // the check
  std::vector<JsonRow> rows;
  bool checked = false;  // a check ran
  int32_t filesChecked = 0;
  int32_t filesTotal = 0;  // 0 and no pre-scan: unknown
  bool counted = false;    // the totals are known, even when they are 0
  int32_t filesPassedOver = 0;  // checked by an earlier run, not read now
  int32_t otherVolumes = 0;     // folders where another volume is mounted, not walked
  int32_t readErrors = 0, openErrors = 0, otherErrors = 0;
  int64_t bytesDone = 0, bytesTotal = 0, bytesRead = 0;
  std::optional<int> percent;
  bool resumed = false;
  double elapsedSeconds = 0;
  std::string stoppedBy;  // "", "SIGINT", "SIGTERM"
  std::string report;
  std::vector<std::string> messages;
  // the rescue (--rescue)
  bool rescued = false;
  std::string rescueDestination;
  bool rescueCancelled = false;
  std::vector<JsonRescueFile> rescue;
  std::string rescueReport;
  int exitStatus = 0;
};

std::string FormatJson(const JsonDocument& doc);

}  // namespace check
