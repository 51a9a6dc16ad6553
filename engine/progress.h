#pragma once
// Progress figures and their texts: percentages, times, speed, estimate and
// the window titles.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace engine {

struct EngineContext;

// part × 100 / whole in floating point, truncated toward zero; 0 when whole is 0.
int PercentOf(int64_t part, int64_t whole);
// The disk percent: as PercentOf, made 100 when greater.
int DiskPercent(int64_t bytesDone, int64_t bytesTotal);

// "N %": a percentage in the file and disk percent fields.
std::string PercentText(int percent);
// "%d:%02d:%02d"; the hours are neither padded nor limited to 24.
std::string TimeText(int64_t seconds);
// "%.2f" of kilobytes per second.
std::string SpeedText(int64_t bytesRead, int32_t elapsedSeconds);
// Expected duration of the whole checking in seconds:
// bytesTotal × elapsed ÷ bytesDone, truncated. -1 while bytesDone is 0.
int64_t EstimatedSeconds(int64_t bytesTotal, int32_t elapsedSeconds, int64_t bytesDone);

// Titles of the main window.
// Minimized during a run: "Torvex - %d%% - [%c:\]" or "Torvex - %d%% - [%s]".
std::string MinimizedTitle(int percent, int drive, const std::string& startFolder);
// Restored: "Torvex", "Torvex - [%s]" or "Torvex - [%c:\]".
std::string RestoredTitle(int drive, const std::string& startFolder);

// Fills the directives of a text from the text table: %d and %ld take the next
// number, %% gives a percent sign; anything else is copied unchanged. A text
// can therefore never make the formatting read arguments it was not given.
// The result is cut to maxBytes (the 256-byte buffers of the reports hold 255).
std::string FormatText(std::string_view format, std::initializer_list<long long> numbers,
                       std::size_t maxBytes = 255);

// Brings the disk percent up to bytes done, and the disk bar and its text with
// it while the progress panel is shown. Called by the one thread that moves
// bytes done at the time: the reader after a block, the file check after a file.
void UpdateDiskPercent(EngineContext& c);

}  // namespace engine
