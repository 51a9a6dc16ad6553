#include "engine/readiness.h"

#include "engine/progress.h"
#include "platform/ascii.h"

namespace engine {
namespace {

constexpr char kAudioLabel[] = "Audio CD";

bool QueryVolume(const ReadinessDeps& deps, const std::string& root, DiskState& disk) {
  std::string label;
  uint32_t serial = 0;
  const int found = deps.volumes != nullptr ? deps.volumes->Query(root, label, serial) : VolumeQuery::kVolume;
  if (found == VolumeQuery::kNoVolume) return false;
  disk.label = label;
  disk.serial = serial;
  disk.serialKnown = found != VolumeQuery::kSerialUnknown;
  return true;
}

}  // namespace

std::string VolumeRoot(const RunSettings& run) {
  const char letter = !run.startFolder.empty() ? run.startFolder[0] : static_cast<char>('A' + run.drive);
  return std::string(1, letter) + ":\\";
}

bool RunReadiness(const RunSettings& run, ScanState& state, const ReadinessDeps& deps) {
  WindowOps& w = deps.window;
  DiskState& d = state.disk;
  const auto halted = [&deps] { return deps.halted && deps.halted(); };

  for (;;) {
    d.Reset();
    // As often as the user chooses Retry. A Stop while the drive was slow to
    // answer ends it without a word.
    for (;;) {
      if (halted()) return false;
      if (QueryVolume(deps, VolumeRoot(run), d)) break;
      if (halted()) return false;
      if (w.ShowMessage(deps.text.Text(kTextNoDisk), kCaptionWarning, kMsgRetry) != kIdRetry) return false;
    }
    if (halted()) return false;
    w.SetFieldText(kIdVolumeLabel, platform::VisibleText(d.label));

    if (d.label == kAudioLabel) {
      w.ShowMessage(deps.text.Text(kTextAudioDisk), kCaptionWarning, kMsgInfo);
      w.SetFieldText(kIdVolumeLabel, "");
      return false;
    }

    // A disk whose root cannot be read is no run (and gets no record): a
    // check of it would report no errors for files it never saw. Retry
    // examines the disk afresh.
    const int root = deps.roots != nullptr ? deps.roots->CheckRoot(run.RootPath()) : RootCheck::kRootReady;
    if (halted()) {
      w.SetFieldText(kIdVolumeLabel, "");
      return false;
    }
    if (root == RootCheck::kRootReady) break;
    const int text = root == RootCheck::kRootNotMounted ? kTextDiscNotMounted : kTextRootUnreadable;
    if (w.ShowMessage(deps.text.Text(text), kCaptionWarning, kMsgRetry) != kIdRetry) {
      w.SetFieldText(kIdVolumeLabel, "");
      return false;
    }
  }
  state.bytesRead = 0;

  ResumeStore* store = deps.store;
  if (store == nullptr) return true;
  const bool remembered = run.WholeDisk() && run.cdromTarget;
  if (!d.serialKnown) {
    // No serial, no record: a record under serial 0 would stand for every
    // such disc. Said once, where a record would have been kept.
    store->resumeActive = false;
    if (remembered && run.resumeEnabled) w.ShowMessage(deps.text.Text(kTextSerialUnknown), kCaptionWarning, kMsgWarning);
    return true;
  }
  const int64_t offset = remembered ? store->FindDisk(d.serial) : 0;
  if (offset == 0) {
    store->resumeActive = false;
    return true;
  }

  store->resumeActive = true;
  ResumeRecord record;
  if (store->ReadRecord(offset, &record, d.serial) != 0) record = ResumeRecord{};
  const std::string question = FormatText(deps.text.Text(kTextResumeQuestion), {record.percent});
  switch (w.ShowMessage(question, deps.text.Text(kTextResumeTitle), kMsgResume)) {
    case kIdCheckAgain:
      // The record now holds zero progress, so an Exit during the new run
      // saves the new progress. Where it cannot be written the run still
      // starts from zero, and the user is told.
      store->LoadDisk(d);
      d.percentShown = 0;
      d.bytesDone = 0;
      d.filesChecked = 0;
      if (store->UpdateDisk(d) != 0 && deps.recordNotWritten != nullptr) *deps.recordNotWritten = true;
      return true;
    case kIdContinue:
      store->LoadDisk(d);
      return true;
    default:
      // The label stays shown and the resume flag raised until the next Start.
      return false;
  }
}

}  // namespace engine
