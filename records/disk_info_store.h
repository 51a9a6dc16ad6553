#pragma once
// The disk info file "Torvex.tvd": how far the check of each whole CD-ROM
// disk got, so that a later check can continue. After a six-line text header
// come sections, one per disk in the order the disks were first added:
// "\r\n\r\n[%08lx, %s]\r\n" with the serial number and the label, then the
// 24-byte ResumeRecord. Records are rewritten in place; nothing is ever
// removed, so the file only grows. The file is never held open but for its
// lock while it is written. The byte counts are kept by their low 32 bits
// (the layout has no room for more); the percent is taken from the whole
// counts, and a continued run of a disc of 4 GiB or more counts its totals
// afresh.
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "engine/scan_state.h"
#include "engine/services.h"

namespace records {

// Six 32-bit little-endian words on file.
using ResumeRecord = engine::ResumeRecord;

inline constexpr std::size_t kResumeRecordSize = 24;

void EncodeResumeRecord(const ResumeRecord& record, unsigned char out[kResumeRecordSize]);
ResumeRecord DecodeResumeRecord(const unsigned char in[kResumeRecordSize]);

class DiskInfoStore : public engine::ResumeStore {
 public:
  // Results: 0 success, 1 failure.
  int SetFolder(std::string_view folder);
  // Creates the file with its header when there is none (or an empty one);
  // an existing file is left as it is, except that a section torn off at its
  // end (a full disk, a kill during a write) is cut away. A store that could
  // not be opened is tried again at the next AddDisk. No file is ever
  // written through a symbolic link, and only a regular file is written.
  int OpenStore(std::string_view name);
  // The offset of the disk's record in the file, or 0 when the disk has no
  // section or the file cannot be read. The first section of the serial wins.
  int64_t FindDisk(uint32_t serial) override;
  // Appends a section for the disk with zero progress, unless the file has
  // one for its serial already (another program added it meanwhile), which
  // is then the disk's. The lookup and the append are made under an
  // exclusive lock of the file (flock), which every writer of it takes.
  int AddDisk(const engine::DiskState& disk) override;
  // Rewrites the disk's record in place from the disk state, under the
  // file's lock. Safe to call from two threads at once: each call writes the
  // whole record.
  int UpdateDisk(const engine::DiskState& disk) override;
  // The record at offset; offset 0 looks the serial up first.
  int ReadRecord(int64_t offset, ResumeRecord* record, uint32_t serial) override;
  // The totals, the progress and the percent from the disk's record.
  int LoadDisk(engine::DiskState& disk) override;

  bool Ready() const;
  // The path of the file once a name was given, opened or not.
  std::string Path() const override;
  platform::WriteProblem LastProblem() const override;

 private:
  bool OpenLocked();
  int64_t FindLocked(uint32_t serial) const;
  int ReadLocked(int64_t offset, ResumeRecord* record) const;

  mutable std::mutex m_;
  bool ready_ = false;
  std::string folder_;
  std::string path_;
  platform::WriteProblem problem_ = platform::WriteProblem::kNone;
};

// Where the record of serial lies in the bytes of a disk info file, or 0. A
// section whose record is not whole is not found.
int64_t FindDiskInText(std::string_view file, uint32_t serial);

// Where the whole sections of a disk info file end: the length the file keeps
// when a torn section at its end is cut away. The file's length when nothing
// is torn, or when its sections cannot be followed (they are left alone).
std::size_t WholeSectionsEnd(std::string_view file);

// The label as written into a section header: brackets become parentheses,
// so that neither a "]" nor a "[" in a label can mislead the lookup.
std::string SectionLabel(std::string_view label);

}  // namespace records
