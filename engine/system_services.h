#pragma once
// The system's own threads and read-ahead, as the programs hand them to the
// engine. (The volume query, the root check and the drive letters go by the
// drive table: they are in records/drive_list.h.)
#include "engine/services.h"

namespace engine {

// Read-ahead through the system's cache.
class SystemPrefetcher : public FilePrefetcher {
 public:
  int HoldFolder() override;
  bool WorthIt(int folder) override;
  void ReleaseFolder(int folder) override;
  void Prefetch(int folder, const std::string& name, const std::vector<platform::ByteRange>& ranges) override;
  int TakePriority(int position) override;
};

// The system's threads.
class SystemThreads : public ThreadStarter {
 public:
  int StartThread(std::function<void()> fn, std::size_t stackSize) override;
  int SetReaderPriority(int position) override;
  void KeepOnProcessor() override;
  void FreeProcessor() override;
};

}  // namespace engine
