#include "engine/progress.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "engine/engine_context.h"

namespace engine {
namespace {

// A double to a whole number, truncated toward zero, without overflow.
int64_t Truncate(double v) {
  if (std::isnan(v)) return 0;
  if (v <= -9.0e18) return INT64_MIN;
  if (v >= 9.0e18) return INT64_MAX;
  return static_cast<int64_t>(v);
}

}  // namespace

int PercentOf(int64_t part, int64_t whole) {
  if (whole == 0) return 0;
  const int64_t p = Truncate(static_cast<double>(part) * 100.0 / static_cast<double>(whole));
  if (p > INT32_MAX) return INT32_MAX;
  if (p < INT32_MIN) return INT32_MIN;
  return static_cast<int>(p);
}

int DiskPercent(int64_t bytesDone, int64_t bytesTotal) {
  const int p = PercentOf(bytesDone, bytesTotal);
  return p > 100 ? 100 : p;
}

std::string PercentText(int percent) {
  return std::to_string(percent) + " %";
}

std::string TimeText(int64_t seconds) {
  if (seconds < 0) seconds = 0;
  char buf[48];
  std::snprintf(buf, sizeof buf, "%lld:%02d:%02d", static_cast<long long>(seconds / 3600),
                static_cast<int>((seconds / 60) % 60), static_cast<int>(seconds % 60));
  return buf;
}

std::string SpeedText(int64_t bytesRead, int32_t elapsedSeconds) {
  char buf[64];
  const double kb = static_cast<double>(bytesRead) * (1.0 / 1024.0);
  std::snprintf(buf, sizeof buf, "%.2f", elapsedSeconds > 0 ? kb / elapsedSeconds : 0.0);
  return buf;
}

int64_t EstimatedSeconds(int64_t bytesTotal, int32_t elapsedSeconds, int64_t bytesDone) {
  if (bytesDone <= 0) return -1;
  return Truncate(static_cast<double>(bytesTotal) * elapsedSeconds / static_cast<double>(bytesDone));
}

std::string MinimizedTitle(int percent, int drive, const std::string& startFolder) {
  if (!startFolder.empty()) return "Torvex - " + std::to_string(percent) + "% - [" + startFolder + "]";
  return "Torvex - " + std::to_string(percent) + "% - [" + static_cast<char>('A' + drive) + ":\\]";
}

std::string RestoredTitle(int drive, const std::string& startFolder) {
  if (drive < 0 || drive > 25) return "Torvex";
  if (!startFolder.empty()) return "Torvex - [" + startFolder + "]";
  return std::string("Torvex - [") + static_cast<char>('A' + drive) + ":\\]";
}

std::string FormatText(std::string_view format, std::initializer_list<long long> numbers,
                       std::size_t maxBytes) {
  std::string out;
  auto next = numbers.begin();
  for (std::size_t i = 0; i < format.size(); ++i) {
    const char c = format[i];
    if (c != '%' || i + 1 >= format.size()) {
      out += c;
      continue;
    }
    std::string_view rest = format.substr(i + 1);
    std::size_t len = 0;
    if (rest.starts_with("%")) {
      out += '%';
      len = 1;
    } else if (rest.starts_with("d") || rest.starts_with("ld")) {
      len = rest[0] == 'l' ? 2 : 1;
      if (next != numbers.end()) {
        out += std::to_string(*next++);
      } else {
        out.append(format.substr(i, len + 1));
      }
    } else {
      out += c;
      continue;
    }
    i += len;
  }
  if (out.size() > maxBytes) out.resize(maxBytes);
  return out;
}

void UpdateDiskPercent(EngineContext& c) {
  DiskState& d = c.state.disk;
  if (d.bytesTotal == 0) return;
  const int disk = DiskPercent(d.bytesDone, d.bytesTotal);
  if (!c.Panels().showProgress) {
    d.percentShown = disk;
    return;
  }
  if (disk != d.percentShown) {
    d.percentShown = disk;
    c.Window().SetProgress(kIdDiskBar, disk);
    c.Window().SetFieldText(kIdDiskPercent, PercentText(disk));
  }
}

}  // namespace engine
