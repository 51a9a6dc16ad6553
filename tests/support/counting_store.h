#pragma once
// The real disk info store ("Torvex.tvd") in a folder of the test's, which
// counts the engine's adds, updates and loads. Header only: a test program
// that uses it links the records library.
#include <atomic>
#include <cstdint>
#include <string>

#include "engine/services.h"
#include "records/disk_info_store.h"

namespace testing_support {

class CountingStore : public engine::ResumeStore {
 public:
  // A disk's progress as the record holds it.
  struct Record {
    int32_t filesTotal = 0, filesChecked = 0;
    int64_t bytesTotal = 0, bytesDone = 0;
    int32_t percent = 0;
  };

  explicit CountingStore(const std::string& folder) {
    store_.SetFolder(folder);
    store_.OpenStore("Torvex.tvd");
  }

  int64_t FindDisk(uint32_t serial) override { return store_.FindDisk(serial); }
  int ReadRecord(int64_t offset, engine::ResumeRecord* record, uint32_t serial) override {
    return store_.ReadRecord(offset, record, serial);
  }
  int AddDisk(const engine::DiskState& disk) override {
    ++adds_;
    return store_.AddDisk(disk);
  }
  int UpdateDisk(const engine::DiskState& disk) override {
    ++updates_;
    return store_.UpdateDisk(disk);
  }
  int LoadDisk(engine::DiskState& disk) override {
    ++loads_;
    return store_.LoadDisk(disk);
  }
  platform::WriteProblem LastProblem() const override { return store_.LastProblem(); }
  std::string Path() const override { return store_.Path(); }

  // An earlier run's progress of the disk with this serial number (a
  // section of its own when it has none yet); not counted.
  void Set(const Record& r, uint32_t serial = 0, const std::string& label = "") {
    engine::DiskState d;
    d.serial = serial;
    d.label = label;
    if (store_.FindDisk(serial) == 0) store_.AddDisk(d);
    d.filesTotal = r.filesTotal;
    d.filesChecked = r.filesChecked;
    d.bytesTotal = r.bytesTotal;
    d.bytesDone = r.bytesDone;
    d.percentShown = r.percent;
    store_.UpdateDisk(d);
  }
  // The record of the disk with this serial number (zeros when it has none).
  Record Get(uint32_t serial = 0) {
    engine::ResumeRecord r;
    if (store_.ReadRecord(0, &r, serial) != 0) return {};
    return {r.filesTotal, r.filesChecked, r.bytesTotal, r.bytesDone, r.percent};
  }

  // The engine's calls so far.
  int Adds() const { return adds_; }
  int Updates() const { return updates_; }
  int Loads() const { return loads_; }

 private:
  records::DiskInfoStore store_;
  std::atomic<int> adds_{0}, updates_{0}, loads_{0};
};

}  // namespace testing_support
