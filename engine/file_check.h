#pragma once
// The check of one file: the check thread hands it to the reader, waits for
// it against the delay time, gives a stalled reader up, and reports the
// result (row, log line, counter, sound).
#include <cstdint>
#include <memory>
#include <string>

#include "engine/file_result.h"

namespace engine {

struct EngineContext;

// Checks one file of the current directory on the reader thread. Check
// thread.
FileResult CheckFile(const std::shared_ptr<EngineContext>& ctx, const std::string& name, int64_t size);

// The run is over: the reader that waits for a next file ends. Check thread.
void EndReader(EngineContext& c);

}  // namespace engine
