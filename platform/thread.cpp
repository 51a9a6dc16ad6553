#include "platform/thread.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

namespace platform {
namespace {

constexpr int kIoprioClassShift = 13;
constexpr int kIoprioClassBe = 2;
constexpr int kIoprioClassIdle = 3;
constexpr int kIoprioWhoProcess = 1;

void* ThreadMain(void* arg) {
  std::unique_ptr<std::function<void()>> fn(static_cast<std::function<void()>*>(arg));
  (*fn)();
  return nullptr;
}

int SetNice(int nice) {
  // On Linux PRIO_PROCESS with id 0 addresses the calling thread only.
  return setpriority(PRIO_PROCESS, 0, nice) == 0 ? 0 : errno;
}

// The lowest nice value RLIMIT_NICE lets an unprivileged thread take.
int NiceLimit() {
  rlimit rl{};
  if (getrlimit(RLIMIT_NICE, &rl) != 0) return 20;
  if (rl.rlim_cur == RLIM_INFINITY) return -20;
  return 20 - static_cast<int>(std::min<rlim_t>(rl.rlim_cur, 40));
}

// The lowest nice value an unprivileged thread may take: it may always go up
// from where it is, and down as far as RLIMIT_NICE allows.
int LowestPermittedNice() { return std::min(NiceLimit(), CurrentThreadNice()); }

// The lowest nice value a fresh thread started by the program could take:
// threads start with the nice value of the one that starts them, which for
// the program's own threads is the main thread's.
int FreshThreadFloor() {
  errno = 0;
  const int mainNice = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
  return std::min(NiceLimit(), (mainNice == -1 && errno != 0) ? 0 : mainNice);
}

}  // namespace

int StartDetachedThread(std::function<void()> fn, std::size_t stackSize) {
  pthread_attr_t attr;
  if (int rc = pthread_attr_init(&attr); rc != 0) return rc;
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  if (stackSize != 0) pthread_attr_setstacksize(&attr, std::max<std::size_t>(stackSize, PTHREAD_STACK_MIN));
  auto* heap = new (std::nothrow) std::function<void()>(std::move(fn));
  if (heap == nullptr) {
    pthread_attr_destroy(&attr);
    return ENOMEM;
  }
  pthread_t tid;
  int rc = pthread_create(&tid, &attr, ThreadMain, heap);
  pthread_attr_destroy(&attr);
  if (rc != 0) delete heap;
  return rc;
}

PriorityLevel PriorityForPosition(int position) {
  switch (position) {
    case 0: return {true, 19, kIoprioClassIdle, 7};
    case 1: return {false, 10, kIoprioClassBe, 7};
    case 2: return {false, 5, kIoprioClassBe, 6};
    case 4: return {false, -5, kIoprioClassBe, 2};
    case 5: return {false, -10, kIoprioClassBe, 1};
    case 6: return {false, -20, kIoprioClassBe, 0};
    default: return {false, 0, kIoprioClassBe, 4};
  }
}

int SetCurrentThreadPriority(int position) {
  const PriorityLevel level = PriorityForPosition(position);
  int result = kPriorityExact;
  bool keptLower = false;

  sched_param sp{};
  sp.sched_priority = 0;
  if (level.idlePolicy) {
    if (pthread_setschedparam(pthread_self(), SCHED_IDLE, &sp) != 0) result = kPriorityNearest;
  } else if (CurrentThreadIsIdlePolicy() && pthread_setschedparam(pthread_self(), SCHED_OTHER, &sp) != 0) {
    // Leaving the idle policy needs a nice value within RLIMIT_NICE.
    keptLower = true;
  }
  int err = SetNice(level.nice);
  if (err == EACCES || err == EPERM) {
    const int nearest = std::max(level.nice, LowestPermittedNice());
    err = SetNice(nearest);
    result = kPriorityNearest;
    if (nearest > std::max(level.nice, FreshThreadFloor())) keptLower = true;
  }
  if (err != 0) return kPriorityFailed;
  if (!level.idlePolicy && CurrentThreadIsIdlePolicy()) {
    // Now that the nice value may permit it.
    keptLower = pthread_setschedparam(pthread_self(), SCHED_OTHER, &sp) != 0;
  }

  // The I/O priority follows as far as it is permitted; where it is not, the
  // nice value still orders the reading, so this is best effort.
  const int ioprio = (level.ioClass << kIoprioClassShift) | level.ioLevel;
  if (syscall(SYS_ioprio_set, kIoprioWhoProcess, 0, ioprio) != 0) {
    const int fallback = (kIoprioClassBe << kIoprioClassShift) | std::max(level.ioLevel, 4);
    syscall(SYS_ioprio_set, kIoprioWhoProcess, 0, fallback);
  }
  return keptLower ? kPriorityKeptLower : result;
}

namespace {

// The processors a thread (0: the calling one) may run on.
std::vector<int> ThreadCpus(pid_t tid) {
  std::vector<int> cpus;
  for (int count = 1024; count <= (1 << 16); count *= 2) {
    cpu_set_t* set = CPU_ALLOC(count);
    if (set == nullptr) break;
    const std::size_t size = CPU_ALLOC_SIZE(count);
    CPU_ZERO_S(size, set);
    const int rc = sched_getaffinity(tid, size, set);
    if (rc == 0) {
      for (int i = 0; i < count; ++i) {
        if (CPU_ISSET_S(i, size, set)) cpus.push_back(i);
      }
    }
    CPU_FREE(set);
    if (rc == 0 || errno != EINVAL) break;
  }
  return cpus;
}

// Lets the calling thread run on these processors only. 0, or an error number.
int SetCurrentThreadCpus(const std::vector<int>& cpus) {
  if (cpus.empty()) return EINVAL;
  const int count = *std::max_element(cpus.begin(), cpus.end()) + 1;
  cpu_set_t* set = CPU_ALLOC(count);
  if (set == nullptr) return ENOMEM;
  const std::size_t size = CPU_ALLOC_SIZE(count);
  CPU_ZERO_S(size, set);
  for (int cpu : cpus) CPU_SET_S(cpu, size, set);
  // On Linux pid 0 addresses the calling thread only.
  const int rc = sched_setaffinity(0, size, set) == 0 ? 0 : errno;
  CPU_FREE(set);
  return rc;
}

}  // namespace

int KeepCurrentThreadOnItsCpu() {
  const int cpu = sched_getcpu();
  return cpu >= 0 && SetCurrentThreadCpus({cpu}) == 0 ? cpu : -1;
}

std::vector<int> CurrentThreadCpus() { return ThreadCpus(0); }

// The main thread's id is the process id.
int FreeCurrentThreadCpus() { return SetCurrentThreadCpus(ThreadCpus(getpid())); }

int CurrentThreadNice() {
  errno = 0;
  const int nice = getpriority(PRIO_PROCESS, 0);
  return (nice == -1 && errno != 0) ? 0 : nice;
}

int CurrentThreadIoPriority() {
  constexpr int kIoprioWhoProcessGet = 1;
  return static_cast<int>(syscall(SYS_ioprio_get, kIoprioWhoProcessGet, 0));
}

bool CurrentThreadIsIdlePolicy() {
  int policy = 0;
  sched_param sp{};
  return pthread_getschedparam(pthread_self(), &policy, &sp) == 0 && policy == SCHED_IDLE;
}

}  // namespace platform
