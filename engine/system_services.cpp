#include "engine/system_services.h"

#include "platform/thread.h"

namespace engine {

int SystemPrefetcher::HoldFolder() { return platform::HoldCurrentFolder(); }
bool SystemPrefetcher::WorthIt(int folder) { return platform::OnDiscOrDiskFileSystem(folder); }
void SystemPrefetcher::ReleaseFolder(int folder) { platform::CloseFile(folder); }
void SystemPrefetcher::Prefetch(int folder, const std::string& name, const std::vector<platform::ByteRange>& ranges) {
  platform::AdviseWillNeed(folder, name, ranges);
}
int SystemPrefetcher::TakePriority(int position) { return platform::SetCurrentThreadPriority(position); }

int SystemThreads::StartThread(std::function<void()> fn, std::size_t stackSize) {
  return platform::StartDetachedThread(std::move(fn), stackSize);
}

int SystemThreads::SetReaderPriority(int position) {
  // A reader thread keeps its priority from file to file: the system is asked
  // only for a new thread, after a failure, or when the slider has moved.
  thread_local int given = -1;
  thread_local int givenResult = platform::kPriorityExact;
  if (position == given) return givenResult;
  const int result = platform::SetCurrentThreadPriority(position);
  given = result == platform::kPriorityFailed ? -1 : position;
  givenResult = result;
  return result;
}

void SystemThreads::KeepOnProcessor() { platform::KeepCurrentThreadOnItsCpu(); }
void SystemThreads::FreeProcessor() { platform::FreeCurrentThreadCpus(); }

}  // namespace engine
