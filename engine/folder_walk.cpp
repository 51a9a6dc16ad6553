#include "engine/folder_walk.h"

#include "engine/engine_context.h"
#include "engine/file_check.h"
#include "engine/read_ahead.h"
#include "engine/reports.h"
#include "engine/walk_record.h"
#include "platform/ascii.h"
#include "platform/file_io.h"

namespace engine {
namespace {

// The read-ahead thread holds a few frames and a list of ranges.
constexpr std::size_t kReadAheadStack = 256 * 1024;

}  // namespace

void FolderWalk::WalkRoot(const std::string& rootPath) {
  path_ = ctx_->state.currentFolder.Get();
  rootDevice_.reset();
  bool replayed = false;
  if (record_ != nullptr && mode_ == kCheck) {
    replayed = record_->StartReading() && record_->TakeMark() == WalkRecord::Mark::kFolder;
  }
  Walk(rootPath, true, 0, replayed);
}

void FolderWalk::Publish() {
  ctx_->state.currentFolder.Set(path_);
}

bool FolderWalk::Walk(const std::string& name, bool root, int depth, bool replayed) {
  const std::size_t parentLength = path_.size();
  if (!Enter(name, root, depth, replayed, parentLength)) return false;

  // The listing is read whole before anything in it is walked: no level
  // holds a descriptor while the levels below it are walked.
  std::vector<platform::DirEntry> entries;
  const bool listedWhole = List(replayed, entries);
  if (!listedWhole && !root) ReportUnreadFolder(name, path_.substr(0, parentLength));
  AheadPlan ahead;
  for (std::size_t i = 0; i < entries.size() && !lost_; ++i) {
    if (mode_ == kCount) {
      Count(entries[i], depth);
    } else {
      Check(entries, i, depth, replayed, ahead);
    }
  }
  if (lost_) {
    // The way back from a sub-folder was lost: the rest of this folder went
    // unread, and the record no longer matches what is walked.
    if (record_ != nullptr) record_->Drop();
    if (!root) ReportUnreadFolder(name, path_.substr(0, parentLength));
  }
  Leave(parentLength, root);
  return true;
}

bool FolderWalk::Enter(const std::string& name, bool root, int depth, bool replayed, std::size_t parentLength) {
  EngineContext& c = *ctx_;
  if (c.Halted()) {
    // Once stopped, nothing below is walked any more: the record is not
    // needed either.
    if (replayed) record_->Drop();
    return false;
  }
  if (depth > kMaxFolderDepth) {
    // Not walked, so its files go unread: an Open error like a folder that
    // cannot be entered.
    if (replayed) record_->SkipFolder();
    if (!root) ReportUnreadFolder(name, path_);
    return false;
  }
  // One file system per check: a folder on another device (a mount point,
  // /proc below /, a network share) is a volume with a letter of its own.
  // A folder the counting walk entered was on the root's device then.
  if (!root && rootDevice_ && !replayed) {
    const std::optional<uint64_t> device = platform::FolderDevice(name);
    if (device && *device != *rootDevice_) {
      if (mode_ == kCheck) ++c.state.disk.otherVolumes;
      return false;
    }
  }

  if (root) {
    path_ = name;
  } else {
    // A drive root ("D:\") already ends in its backslash.
    if (path_.size() != 3) path_ += '\\';
    path_ += name;
  }
  Publish();
  if (c.Panels().showCurrent) c.Window().SetFieldText(kIdFolderPath, platform::VisibleText(path_));

  // The root's folder was found once for the whole run.
  const std::string& target = root ? c.run.nativeRoot : name;
  const int entered = root ? platform::ChangeDirectory(target) : platform::EnterFolder(target);
  if (entered != 0) {
    if (replayed) record_->SkipFolder();
    path_.resize(root ? 0 : parentLength);
    Publish();
    if (!root) ReportUnreadFolder(name, path_);
    return false;
  }
  std::string& below = c.check.folderBelowRoot;
  if (root) {
    rootDevice_ = platform::FolderDevice(".");
    rootFolder_ = platform::CurrentDirectory();
    below.clear();
  } else {
    names_.push_back(name);
    if (!below.empty()) below += '/';
    below += name;
  }
  return true;
}

bool FolderWalk::List(bool& replayed, std::vector<platform::DirEntry>& entries) {
  // The check walk takes the listing from the counting walk's record where
  // there is one.
  bool listedWhole = false;
  if (!replayed || !record_->TakeFolder(&entries, &listedWhole)) {
    replayed = false;
    // Links are followed inside the tree only; a root that cannot be named
    // has none followed.
    listedWhole = platform::ListCurrentFolder(&entries, rootFolder_.empty() ? "/nonexistent/" : rootFolder_);
  }
  if (record_ != nullptr && mode_ == kCount) record_->PutFolder(entries, listedWhole);
  return listedWhole;
}

void FolderWalk::Count(const platform::DirEntry& entry, int depth) {
  DiskState& d = ctx_->state.disk;
  switch (entry.kind) {
    case platform::DirEntry::kFolder:
      if (!Walk(entry.name, false, depth + 1, false) && record_ != nullptr) record_->PutNotWalked();
      break;
    case platform::DirEntry::kFile:
    case platform::DirEntry::kDanglingLink:
      ++d.filesTotal;
      d.bytesTotal += static_cast<int64_t>(entry.size);
      break;
    case platform::DirEntry::kOutsideLink:
      // A file of no bytes (see Check).
      ++d.filesTotal;
      break;
    case platform::DirEntry::kOther:
      // FIFOs, sockets, devices and links to folders: never counted,
      // never opened, never walked into.
      break;
  }
}

void FolderWalk::Check(const std::vector<platform::DirEntry>& entries, std::size_t i, int depth, bool replayed,
                       AheadPlan& ahead) {
  EngineContext& c = *ctx_;
  const platform::DirEntry& entry = entries[i];
  // Files an earlier run of this disk already checked are passed over.
  const auto checkedBefore = [&c](uint32_t seen) {
    return seen <= static_cast<uint32_t>(c.state.disk.filesChecked.load());
  };
  switch (entry.kind) {
    case platform::DirEntry::kFolder: {
      // The read-ahead lets go of this folder: no level holds it while
      // the levels below are walked.
      ahead = AheadPlan{};
      // A sub-folder the counting walk did not walk is looked at afresh.
      const bool again = replayed && record_->Usable() && record_->TakeMark() == WalkRecord::Mark::kFolder;
      Walk(entry.name, false, depth + 1, again);
      break;
    }
    case platform::DirEntry::kFile:
    case platform::DirEntry::kDanglingLink: {
      const auto size = static_cast<int64_t>(entry.size);
      const uint32_t seen = ++c.state.filesSeen;
      if (!checkedBefore(seen)) {
        ReadAheadOf(entries, i, seen, ahead);
        CheckFile(ctx_, entry.name, size);
        if (!c.state.stopRequest) ++c.state.disk.filesChecked;
      } else {
        // Its bytes count as done, so the disk percent of a resumed run is
        // exact.
        c.state.disk.bytesDone += size;
      }
      break;
    }
    case platform::DirEntry::kOutsideLink: {
      // What the disc records for a link out of the tree: a file of no
      // bytes that reads fine. It is never opened.
      const uint32_t seen = ++c.state.filesSeen;
      if (!checkedBefore(seen) && !c.state.stopRequest) ++c.state.disk.filesChecked;
      break;
    }
    case platform::DirEntry::kOther:
      break;
  }
}

void FolderWalk::ReadAheadOf(const std::vector<platform::DirEntry>& entries, std::size_t i, uint32_t seen,
                             AheadPlan& plan) {
  EngineContext& c = *ctx_;
  if (!c.deps.prefetcher || !c.deviceWaits.Seen() || c.check.ahead == CheckThreadOwn::Ahead::kNever || c.Halted()) return;
  // Within the plan; a plan cut short is carried on once the reader is half
  // way through it, so that the window stays full. A read-ahead that ended
  // because its priority could not come back up is replaced at once.
  const bool inPlan = c.check.readAhead && plan.folder && i >= plan.start && i < plan.end;
  if (inPlan && (plan.whole || i - plan.start < ReadAhead::kWindowFiles) && !c.check.readAhead->Ended()) {
    c.check.readAhead->ReaderAt(i - plan.start);
    return;
  }
  const std::size_t carried = inPlan ? i - plan.start : ReadAhead::kNewFolder;
  FilePrefetcher& prefetcher = *c.deps.prefetcher;
  if (!plan.folder) {
    const int fd = prefetcher.HoldFolder();
    if (fd < 0) return;
    plan.folder = std::make_shared<HeldFolder>(c.deps.prefetcher, fd);
  }
  // One file system per check: the first folder tells for all.
  if (c.check.ahead == CheckThreadOwn::Ahead::kUndecided) {
    const bool worth = prefetcher.WorthIt(plan.folder->Fd()) && c.readAheadThreads.load() == 0;
    c.check.ahead = worth ? CheckThreadOwn::Ahead::kOn : CheckThreadOwn::Ahead::kNever;
    if (!worth) return;
  }
  if (c.check.readAhead && c.check.readAhead->Ended()) c.check.readAhead.reset();
  if (!c.check.readAhead) {
    auto readAhead = std::make_shared<ReadAhead>(c.deps.prefetcher, c.deps.settings);
    c.readAheadThreads.fetch_add(1);
    const std::shared_ptr<EngineContext> shared = ctx_;
    const int started = c.Threads().StartThread(
        [readAhead, shared] {
          // Waiting for the device mostly, it need not share the reader's processor.
          shared->Threads().FreeProcessor();
          readAhead->Loop();
          shared->readAheadThreads.fetch_sub(1);
        },
        kReadAheadStack);
    if (started != 0) {
      c.readAheadThreads.fetch_sub(1);
      c.check.ahead = CheckThreadOwn::Ahead::kNever;
      return;
    }
    c.check.readAhead = std::move(readAhead);
  }
  // This file and those after it, up to the next sub-folder (whose files
  // come first in reading order), two windows at most.
  std::vector<ReadAhead::File> files;
  const uint32_t checked = static_cast<uint32_t>(c.state.disk.filesChecked.load());
  std::size_t j = i;
  for (; j < entries.size() && j - i < 2 * ReadAhead::kWindowFiles; ++j) {
    const platform::DirEntry& e = entries[j];
    if (e.kind == platform::DirEntry::kFolder) break;
    const bool counted = e.kind != platform::DirEntry::kOther;
    if (counted && j > i) ++seen;
    files.push_back({e.name, static_cast<int64_t>(e.size), e.kind == platform::DirEntry::kFile && seen > checked});
  }
  plan.start = i;
  plan.end = j;
  plan.whole = j == entries.size() || entries[j].kind == platform::DirEntry::kFolder;
  c.check.readAhead->Plan(plan.folder, std::move(files), carried);
}

void FolderWalk::ReportUnreadFolder(const std::string& name, const std::string& holder) {
  EngineContext& c = *ctx_;
  // The counting walk passes over it; the check walk tells it once, in the
  // run that reaches it (a resumed run has told it already when the folder
  // lies before the point where the run continues).
  if (mode_ != kCheck || c.Halted()) return;
  if (c.state.filesSeen < static_cast<uint32_t>(c.state.disk.filesChecked.load())) return;
  ReportError(c, FileResult::Open, name, "", holder);
  c.PlaySound(static_cast<int>(FileResult::Open));
}

void FolderWalk::Leave(std::size_t parentLength, bool root) {
  if (!root) {
    path_.resize(parentLength);
  } else if (path_.size() > 3) {
    // The root of a start folder: back to its parent, keeping the backslash
    // of a drive root.
    const std::size_t cut = path_.rfind('\\');
    if (cut != std::string::npos) path_.resize(cut == 2 && path_[1] == ':' ? 3 : cut);
  }
  Publish();
  if (!root) {
    names_.pop_back();
    // Names never hold a '/': the last one is cut off at the last.
    std::string& below = ctx_->check.folderBelowRoot;
    const std::size_t slash = below.rfind('/');
    below.resize(slash == std::string::npos ? 0 : slash);
  }
  if (!lost_ && platform::ChangeDirectory("..") == 0) return;
  if (root) return;
  // ".." could not be entered (or the place was lost below): back to the
  // parent from the root, folder by folder. If that fails too, the levels
  // above give up their rest the same way.
  lost_ = !ReturnToParent();
}

bool FolderWalk::ReturnToParent() {
  if (platform::ChangeDirectory(ctx_->run.nativeRoot) != 0) return false;
  for (const std::string& folder : names_) {
    if (platform::EnterFolder(folder) != 0) return false;
  }
  return true;
}

}  // namespace engine
