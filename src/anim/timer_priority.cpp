#include "anim/timer_priority.h"

#include <algorithm>
#include <cerrno>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace qv::anim {

int niceOffset(TThreadPriority priority) {
  switch (priority) {
    case TThreadPriority::tpIdle: return 19;
    case TThreadPriority::tpLowest: return 10;
    case TThreadPriority::tpLower: return 5;
    case TThreadPriority::tpNormal: return 0;
    case TThreadPriority::tpHigher: return -5;
    case TThreadPriority::tpHighest: return -10;
    case TThreadPriority::tpTimeCritical: return -20;
  }
  return 0;
}

namespace {
// The process's niceness when first asked: tpNormal means "as the rest of the program".
int processNice() {
  static const int base = [] {
    errno = 0;
    const int value = ::getpriority(PRIO_PROCESS, 0);
    return errno == 0 ? value : 0;
  }();
  return base;
}
}  // namespace

bool applyToCurrentThread(TThreadPriority priority) {
  // On Linux the niceness is per thread when addressed by the thread id.
  const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
  const int target = std::clamp(processNice() + niceOffset(priority), -20, 19);
  errno = 0;
  const int current = ::getpriority(PRIO_PROCESS, tid);
  if (errno == 0 && current == target) return true;
  return ::setpriority(PRIO_PROCESS, tid, target) == 0;
}

}  // namespace qv::anim
