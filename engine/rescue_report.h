#pragma once
// The texts of a rescue as the window and the terminal show them: the end
// report, and the lines of its progress.
#include <string>

#include "engine/rescue.h"
#include "engine/services.h"

namespace engine {

// The end report: how it ended, then the files copied whole, in part (each
// with its missing bytes and places), not opened, not written, left alone and
// not done. At most maxFiles files are named per group.
std::string RescueReportText(const RescueReport& report, const TextLookup& texts, std::size_t maxFiles = 20);

// "File 2 of 5:", "Pass 1 of 3", "Recovered: ...   Still missing: ...".
std::string RescueFileLine(const RescueProgress& progress, const TextLookup& texts);
std::string RescuePassLine(const RescueProgress& progress, const TextLookup& texts);
std::string RescueBytesLine(const RescueProgress& progress, const TextLookup& texts);

// A count of bytes as people read it: "1,234,567" (groups of three digits
// parted by separator).
std::string GroupedNumber(int64_t value, const std::string& separator = ",");

}  // namespace engine
