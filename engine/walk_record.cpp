#include "engine/walk_record.h"

#include <new>

namespace engine {
namespace {

constexpr unsigned char kFolderMark = 'B';
constexpr unsigned char kNotWalkedMark = 'S';
constexpr unsigned char kListedWhole = 1;

// Longer names than any file system gives are a broken record.
constexpr uint64_t kMaxName = 4096;

unsigned char KindCode(platform::DirEntry::Kind kind) {
  switch (kind) {
    case platform::DirEntry::kFolder: return 0;
    case platform::DirEntry::kFile: return 1;
    case platform::DirEntry::kOutsideLink: return 3;
    default: return 2;
  }
}

}  // namespace

WalkRecord::WalkRecord(std::unique_ptr<platform::SpillStream> stream)
    : stream_(stream ? std::move(stream) : std::make_unique<platform::SpillStream>()) {}

void WalkRecord::Put(const void* data, std::size_t n) {
  if (usable_ && !stream_->Write(data, n)) usable_ = false;
}

void WalkRecord::PutNumber(uint64_t v) {
  unsigned char bytes[10];
  std::size_t n = 0;
  do {
    bytes[n] = static_cast<unsigned char>(v & 0x7f);
    v >>= 7;
    if (v != 0) bytes[n] |= 0x80;
    ++n;
  } while (v != 0);
  Put(bytes, n);
}

void WalkRecord::PutFolder(const std::vector<platform::DirEntry>& entries, bool listedWhole) {
  if (!usable_) return;
  uint64_t kept = 0;
  for (const platform::DirEntry& e : entries) kept += e.kind != platform::DirEntry::kOther;
  const unsigned char head[2] = {kFolderMark, listedWhole ? kListedWhole : static_cast<unsigned char>(0)};
  Put(head, sizeof head);
  PutNumber(kept);
  for (const platform::DirEntry& e : entries) {
    if (e.kind == platform::DirEntry::kOther) continue;
    const unsigned char kind = KindCode(e.kind);
    Put(&kind, 1);
    if (e.kind == platform::DirEntry::kFile) PutNumber(e.size);
    PutNumber(e.name.size());
    Put(e.name.data(), e.name.size());
  }
}

void WalkRecord::PutNotWalked() { Put(&kNotWalkedMark, 1); }

bool WalkRecord::StartReading() {
  usable_ = !stream_->Broken() && stream_->Rewind();
  return usable_;
}

bool WalkRecord::Get(void* data, std::size_t n) {
  if (usable_ && !stream_->Read(data, n)) usable_ = false;
  return usable_;
}

bool WalkRecord::GetNumber(uint64_t* v) {
  *v = 0;
  for (int shift = 0; shift < 64; shift += 7) {
    unsigned char b = 0;
    if (!Get(&b, 1)) return false;
    *v |= static_cast<uint64_t>(b & 0x7f) << shift;
    if ((b & 0x80) == 0) return true;
  }
  usable_ = false;
  return false;
}

WalkRecord::Mark WalkRecord::TakeMark() {
  unsigned char mark = 0;
  if (!Get(&mark, 1)) return Mark::kNone;
  if (mark == kFolderMark) return Mark::kFolder;
  if (mark == kNotWalkedMark) return Mark::kNotWalked;
  usable_ = false;
  return Mark::kNone;
}

bool WalkRecord::TakeFolder(std::vector<platform::DirEntry>* entries, bool* listedWhole) {
  entries->clear();
  unsigned char flags = 0;
  uint64_t count = 0;
  if (!Get(&flags, 1) || !GetNumber(&count)) return false;
  *listedWhole = (flags & kListedWhole) != 0;
  try {
    for (uint64_t i = 0; i < count; ++i) {
      platform::DirEntry e;
      unsigned char kind = 0;
      uint64_t length = 0;
      if (!Get(&kind, 1)) return false;
      if (kind > 3) {
        usable_ = false;
        return false;
      }
      e.kind = kind == 0   ? platform::DirEntry::kFolder
               : kind == 1 ? platform::DirEntry::kFile
               : kind == 3 ? platform::DirEntry::kOutsideLink
                           : platform::DirEntry::kDanglingLink;
      if (e.kind == platform::DirEntry::kFile && !GetNumber(&e.size)) return false;
      if (!GetNumber(&length)) return false;
      if (length == 0 || length > kMaxName) {
        usable_ = false;
        return false;
      }
      e.name.resize(length);
      if (!Get(e.name.data(), length)) return false;
      entries->push_back(std::move(e));
    }
  } catch (const std::bad_alloc&) {
    usable_ = false;
    entries->clear();
    return false;
  }
  return true;
}

void WalkRecord::SkipFolder() {
  // The records lie in walk order, each folder's listing before the marks of
  // its sub-folders: counting the marks still owed is enough.
  std::vector<platform::DirEntry> entries;
  bool whole = false;
  uint64_t owed = 0;
  for (;;) {
    if (!TakeFolder(&entries, &whole)) return;
    for (const platform::DirEntry& e : entries) owed += e.kind == platform::DirEntry::kFolder;
    Mark mark = Mark::kNotWalked;
    while (owed > 0 && mark != Mark::kFolder) {
      --owed;
      mark = TakeMark();
      if (mark == Mark::kNone) return;
    }
    if (mark != Mark::kFolder) return;
  }
}

}  // namespace engine
