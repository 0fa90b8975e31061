#include "platform/posix/posix_line_watch.h"

#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <chrono>
#include <mutex>
#include <system_error>

namespace qv::platform::posix {

namespace {

// Interrupts the blocking wait. SIGURG is ignored by default, so one that reaches any
// other thread does no harm; its handler does nothing and is installed without SA_RESTART,
// so the wait returns EINTR.
constexpr int kInterruptSignal = SIGURG;

void onInterrupt(int) {}

void installInterruptHandler() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    ::sigaction(kInterruptSignal, &action, nullptr);
  });
}

}  // namespace

LineChangeWait LineChangeWatch::modemLines(int fd) {
  return [fd] { return ::ioctl(fd, TIOCMIWAIT, TIOCM_RNG | TIOCM_CD); };
}

LineChangeWatch::LineChangeWatch(LineChangeWait wait) : changed_(WaitEvent::create()), ended_(endedPromise_.get_future()) {
  if (!changed_) return;
  installInterruptHandler();
  try {
    thread_ = std::thread([this, wait = std::move(wait)] { run(wait); });
  } catch (const std::system_error&) {
    // No thread: line changes are then seen only when a read ends.
  }
}

LineChangeWatch::~LineChangeWatch() {
  if (!thread_.joinable()) return;
  stopping_ = true;
  // A signal that lands just before the thread enters its wait is lost, so it is sent
  // again until the thread has ended.
  do {
    ::pthread_kill(thread_.native_handle(), kInterruptSignal);
  } while (ended_.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready);
  thread_.join();
}

void LineChangeWatch::run(const LineChangeWait& wait) {
  // The signal may be blocked in the thread that made the port (threads inherit the mask).
  sigset_t interrupt;
  sigemptyset(&interrupt);
  sigaddset(&interrupt, kInterruptSignal);
  ::pthread_sigmask(SIG_UNBLOCK, &interrupt, nullptr);
  while (!stopping_) {
    if (wait() == 0) {
      changed_->set();
    } else if (errno != EINTR) {
      break;  // the device cannot be waited on: it reports no line changes
    }
  }
  endedPromise_.set_value();
}

}  // namespace qv::platform::posix
