#include "records/disk_info_store.h"

#include <algorithm>
#include <cstdio>

#include "platform/whole_file.h"
#include "records/data_text.h"

namespace records {
namespace {

constexpr std::string_view kHeader =
    ";\n"
    "; Torvex v2.xx DiskInfoFile. How far the check of each disk got, to continue it later.\n"
    "; Torvex disk checker, Quillon.\n"
    ";\n"
    "; Please, don't edit this file !\n"
    ";";

// A disk info file larger than this is looked through only this far.
constexpr std::size_t kMaxScan = std::size_t{1} << 30;

void PutWord(unsigned char* p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}

uint32_t GetWord(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

std::string SerialKey(uint32_t serial) {
  char key[16];
  std::snprintf(key, sizeof key, "%08lx", static_cast<unsigned long>(serial));
  return key;
}

}  // namespace

void EncodeResumeRecord(const ResumeRecord& r, unsigned char out[kResumeRecordSize]) {
  PutWord(out, r.serial);
  PutWord(out + 4, static_cast<uint32_t>(r.filesTotal));
  PutWord(out + 8, static_cast<uint32_t>(r.filesChecked));
  PutWord(out + 12, r.bytesTotal);
  PutWord(out + 16, r.bytesDone);
  PutWord(out + 20, static_cast<uint32_t>(r.percent));
}

ResumeRecord DecodeResumeRecord(const unsigned char in[kResumeRecordSize]) {
  ResumeRecord r;
  r.serial = GetWord(in);
  r.filesTotal = static_cast<int32_t>(GetWord(in + 4));
  r.filesChecked = static_cast<int32_t>(GetWord(in + 8));
  r.bytesTotal = GetWord(in + 12);
  r.bytesDone = GetWord(in + 16);
  r.percent = static_cast<int32_t>(GetWord(in + 20));
  return r;
}

std::string SectionLabel(std::string_view label) {
  std::string out(label);
  for (char& c : out) {
    if (c == '[') c = '(';
    if (c == ']') c = ')';
  }
  return out;
}

int64_t FindDiskInText(std::string_view file, uint32_t serial) {
  const std::string key = SerialKey(serial);
  const auto* bytes = reinterpret_cast<const unsigned char*>(file.data());
  for (std::size_t bracket = file.find('['); bracket != std::string_view::npos; bracket = file.find('[', bracket + 1)) {
    if (file.size() - bracket - 1 < key.size()) return 0;
    // A "[" that does not start this key may stand anywhere, inside a binary
    // record too: the search goes on with the very next byte, so that a
    // section header close behind such a byte is not passed over.
    if (file.compare(bracket + 1, key.size(), key) != 0) continue;
    // The header line ends at the first "]" followed by its line end; the
    // record there starts with the serial it belongs to.
    for (std::size_t close = file.find(']', bracket + 1 + key.size()); close != std::string_view::npos;
         close = file.find(']', close + 1)) {
      const std::size_t p = close + 1;
      if (file.size() - p < 2 || file[p] != '\r' || file[p + 1] != '\n') continue;
      if (file.size() - p - 2 >= kResumeRecordSize && GetWord(bytes + p + 2) == serial) {
        return static_cast<int64_t>(p + 2);
      }
      break;
    }
  }
  return 0;
}

int DiskInfoStore::SetFolder(std::string_view folder) {
  std::lock_guard lock(m_);
  folder_ = FolderWithSeparator(folder);
  return 0;
}

std::size_t WholeSectionsEnd(std::string_view file) {
  constexpr std::string_view kStart = "\r\n\r\n[";
  std::size_t pos = file.find(kStart);
  if (pos == std::string_view::npos) {
    // No section yet: a torn start of the first one is the only thing cut.
    for (std::size_t n = kStart.size() - 1; n > 0; --n) {
      if (file.size() >= n && file.substr(file.size() - n) == kStart.substr(0, n)) return file.size() - n;
    }
    return file.size();
  }
  while (pos < file.size()) {
    const std::string_view rest = file.substr(pos);
    if (rest.size() < kStart.size()) return kStart.substr(0, rest.size()) == rest ? pos : file.size();
    if (rest.substr(0, kStart.size()) != kStart) return file.size();  // not ours to judge
    // The header line ends at its "]" and line end: labels hold no brackets.
    const std::size_t close = rest.find("]\r\n", kStart.size());
    if (close == std::string_view::npos) return pos;
    const std::size_t next = close + 3 + kResumeRecordSize;
    if (next > rest.size()) return pos;
    pos += next;
  }
  return file.size();
}

int DiskInfoStore::OpenStore(std::string_view name) {
  std::lock_guard lock(m_);
  if (name.empty() || folder_.empty()) return 1;
  const std::string path = folder_ + std::string(name);
  if (ready_ && path == path_) return 0;
  // A store that is ready stays where it was when another one cannot be
  // opened; one that never opened is tried again at the next new disk.
  const std::string was = path_;
  path_ = path;
  if (OpenLocked()) {
    ready_ = true;
    return 0;
  }
  if (ready_) path_ = was;
  return 1;
}

bool DiskInfoStore::OpenLocked() {
  const int present = platform::ProbeFile(path_);
  if (present == platform::kFileError) {
    // There, but no regular file of its own that can be read (a link, a
    // folder, a FIFO): never written over.
    problem_ = platform::ProblemOfPath(path_);
    if (problem_ == platform::WriteProblem::kNone) problem_ = platform::WriteProblem::kOther;
    return false;
  }
  // A new file is made empty and gets its header below, under the lock, so
  // that another program making it at the same moment never adds a second.
  bool created = false;
  if (present == platform::kFileMissing) {
    const int made = platform::CreateNewFile(path_, "", &problem_);
    if (made == 2) return false;
    created = made == 0;
  }
  const platform::LockedFile lock(path_);
  std::string file;
  bool truncated = false;
  if (platform::ReadWholeFile(path_, kMaxScan, &file, &truncated) != platform::kFileOk) {
    problem_ = platform::WriteProblem::kOther;
    return false;
  }
  // A file left empty by a disk that was full gets its header now, whole or
  // not at all.
  if (file.empty()) {
    if (platform::WriteAt(path_, 0, WithCrLf(kHeader), &problem_) == 0) return true;
    // A file made just now is not left behind empty.
    if (created) {
      std::remove(path_.c_str());
    } else {
      platform::CutFile(path_, 0, nullptr);
    }
    return false;
  }
  if (!truncated) {
    const std::size_t whole = WholeSectionsEnd(file);
    if (whole < file.size() && platform::CutFile(path_, static_cast<int64_t>(whole), &problem_) != 0) return false;
  }
  problem_ = platform::WriteProblem::kNone;
  return true;
}

int64_t DiskInfoStore::FindLocked(uint32_t serial) const {
  if (!ready_) return 0;
  std::string file;
  bool truncated = false;
  if (platform::ReadWholeFile(path_, kMaxScan, &file, &truncated) != platform::kFileOk) return 0;
  return FindDiskInText(file, serial);
}

int64_t DiskInfoStore::FindDisk(uint32_t serial) {
  std::lock_guard lock(m_);
  return FindLocked(serial);
}

int DiskInfoStore::AddDisk(const engine::DiskState& disk) {
  std::lock_guard lock(m_);
  if (path_.empty()) return 1;
  if (!ready_ && !(ready_ = OpenLocked())) return 1;
  // The lookup and the append are one step under the file's lock: of two
  // programs adding the same new disc at once, the second finds the first
  // one's section and keeps it up to date with it, rather than adding one
  // that would never be found.
  const platform::LockedFile fileLock(path_);
  if (FindLocked(disk.serial) != 0) {
    problem_ = platform::WriteProblem::kNone;
    return 0;
  }
  ResumeRecord r;
  r.serial = disk.serial;
  r.filesTotal = disk.filesTotal;
  r.bytesTotal = static_cast<uint32_t>(disk.bytesTotal.load());
  unsigned char record[kResumeRecordSize];
  EncodeResumeRecord(r, record);
  // The section header and its record go out in one write, so that no
  // header is ever left without its record.
  std::string section = WithCrLf("\n\n[" + SerialKey(r.serial) + ", " + SectionLabel(disk.label) + "]\n");
  section.append(reinterpret_cast<const char*>(record), sizeof record);
  // Whole or not at all: a short write is cut off again.
  return platform::AppendToFile(path_, section, &problem_) == 0 ? 0 : 1;
}

int DiskInfoStore::UpdateDisk(const engine::DiskState& disk) {
  // One lock for the lookup and the write: two calls at once write one after
  // the other, and the record holds the whole of the last one.
  std::lock_guard lock(m_);
  const platform::LockedFile fileLock(path_);
  const uint32_t serial = disk.serial;
  const int64_t offset = FindLocked(serial);
  if (offset == 0) {
    problem_ = platform::ProblemOfPath(path_);
    if (problem_ == platform::WriteProblem::kNone) problem_ = platform::WriteProblem::kOther;
    return 1;
  }
  ResumeRecord r;
  r.serial = serial;
  r.filesTotal = disk.filesTotal;
  r.filesChecked = disk.filesChecked;
  const int64_t bytesTotal = disk.bytesTotal;
  r.bytesTotal = static_cast<uint32_t>(bytesTotal);
  // Stopped while a resumed run still passes over what an earlier one
  // checked: the record keeps the larger count, which other readers of the
  // file take as it stands.
  r.bytesDone = static_cast<uint32_t>(std::max(disk.bytesDone.load(), disk.bytesDoneBefore.load()));
  // Taken from the whole 64-bit counts, so that it is right beyond 4 GiB
  // too. Without a byte total there is none, unless the counting found the
  // disc holds no bytes (100 once it is checked).
  r.percent = bytesTotal != 0 || disk.counted ? disk.percentShown.load() : 0;
  unsigned char record[kResumeRecordSize];
  EncodeResumeRecord(r, record);

  const std::string_view bytes(reinterpret_cast<const char*>(record), sizeof record);
  return platform::WriteAt(path_, offset, bytes, &problem_) == 0 ? 0 : 1;
}

int DiskInfoStore::ReadLocked(int64_t offset, ResumeRecord* record) const {
  if (!ready_) return 1;
  unsigned char buf[kResumeRecordSize];
  if (platform::ReadAt(path_, offset, buf, sizeof buf) != platform::kFileOk) return 1;
  *record = DecodeResumeRecord(buf);
  return 0;
}

int DiskInfoStore::ReadRecord(int64_t offset, ResumeRecord* record, uint32_t serial) {
  std::lock_guard lock(m_);
  if (offset == 0) offset = FindLocked(serial);
  if (offset <= 0) return 1;
  return ReadLocked(offset, record);
}

int DiskInfoStore::LoadDisk(engine::DiskState& disk) {
  ResumeRecord r;
  if (ReadRecord(0, &r, disk.serial) != 0) return 1;
  disk.filesTotal = r.filesTotal;
  disk.filesChecked = r.filesChecked;
  // Unsigned on file: counts up to 4 GiB come back whole.
  disk.bytesTotal = static_cast<int64_t>(r.bytesTotal);
  disk.bytesDone = static_cast<int64_t>(r.bytesDone);
  disk.percentShown = r.percent;
  return 0;
}

bool DiskInfoStore::Ready() const {
  std::lock_guard lock(m_);
  return ready_;
}

platform::WriteProblem DiskInfoStore::LastProblem() const {
  std::lock_guard lock(m_);
  return problem_;
}

std::string DiskInfoStore::Path() const {
  std::lock_guard lock(m_);
  return path_;
}

}  // namespace records
