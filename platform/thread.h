#pragma once
// Threads: detached threads with a small stack, and the reader priority.
#include <cstddef>
#include <functional>
#include <vector>

namespace platform {

// Starts fn on a new detached thread. Returns 0, or the error number when the
// thread cannot be created. stackSize 0 takes the default.
int StartDetachedThread(std::function<void()> fn, std::size_t stackSize = 0);

// What the priority positions 0..6 of the Options slider ask of a thread.
struct PriorityLevel {
  bool idlePolicy;  // SCHED_IDLE: runs only when nothing else wants the CPU
  int nice;         // -20..19
  int ioClass;      // IOPRIO_CLASS_BE (2) or IOPRIO_CLASS_IDLE (3)
  int ioLevel;      // 0..7 within the best-effort class
};
PriorityLevel PriorityForPosition(int position);

enum PriorityResult : int {
  kPriorityExact = 0,    // given as asked
  kPriorityNearest = 1,  // raising was not permitted: the nearest permitted level
  // This thread was lowered before and may not come back up as far as a
  // fresh thread could: it keeps the nearest level it may have, and a fresh
  // thread should take over from it.
  kPriorityKeptLower = 2,
  kPriorityFailed = -1,  // the thread's priority could not be set at all
};

// Gives the calling thread the priority of a slider position, up as well as
// down: a thread under SCHED_IDLE goes back to the normal policy when a
// higher position asks for it.
int SetCurrentThreadPriority(int position);

// Keeps the calling thread on the processor it runs on now; the threads it
// starts afterwards keep to it too. Returns that processor, or -1 when the
// thread cannot be held to it (it then runs wherever the system puts it).
int KeepCurrentThreadOnItsCpu();

// Lets the calling thread run on every processor the program's main thread
// may run on. 0, or an error number.
int FreeCurrentThreadCpus();

// The processors the calling thread may run on (tests look at them).
std::vector<int> CurrentThreadCpus();

// Nice value and I/O priority of the calling thread (tests look at them).
int CurrentThreadNice();
int CurrentThreadIoPriority();  // raw ioprio value, class << 13 | level
bool CurrentThreadIsIdlePolicy();

}  // namespace platform
