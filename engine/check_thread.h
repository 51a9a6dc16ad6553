#pragma once
// The check thread of a run: the totals (from the disk's resume record or the
// counting walk), the check walk, the saved progress, and the display reset
// at the end.
#include <cstddef>
#include <memory>

namespace engine {

struct EngineContext;
class WalkRecord;

// Room for the walk's recursion down to the deepest folder it enters.
inline constexpr std::size_t kCheckThreadStack = 16 * 1024 * 1024;

// The body of the check thread.
void RunCheckThread(const std::shared_ptr<EngineContext>& ctx);

// A run that continues a remembered disk: bytes done starts from nothing and
// grows by the files passed over; a volume too large for the record's byte
// counts has its totals counted afresh.
void PrepareResumedRun(const std::shared_ptr<EngineContext>& ctx, WalkRecord* record);

}  // namespace engine
