#pragma once
// What a run tells the user: the error rows with their log lines and
// counters, the problems of the records, the device that no longer answers,
// and the report at the end of a check.
#include <string>

#include "engine/file_result.h"

namespace engine {

struct EngineContext;

// An error row of the error list, its log line and its counter (no sound).
// Check thread.
void ReportError(EngineContext& c, FileResult result, const std::string& name, const std::string& position,
                 const std::string& folder);

// A write of the log or of the disk info file failed: keeps the reason for
// the UI thread to tell. Any thread.
void NoteLogProblem(EngineContext& c);
void NoteStoreProblem(EngineContext& c);
// Tells the user, once per run each, that the log or the disk info file
// could not be written and why. UI thread; the check goes on meanwhile.
void TellRecordProblems(EngineContext& c);

// Every reader slot is held by a read stuck in the kernel: the run stops as
// on Stop and the user is told that the device no longer answers. Check
// thread.
void StopUnansweringDevice(EngineContext& c);

// The end sound and the report of the run that ended. UI thread.
void ShowCheckReport(EngineContext& c);

}  // namespace engine
