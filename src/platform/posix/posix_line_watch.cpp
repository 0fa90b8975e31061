#include "platform/posix/posix_line_watch.h"

#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <chrono>
#include <system_error>

namespace qv::platform::posix {

namespace {

// Interrupts the blocking wait: sent to the watch's own thread only. SIGURG does nothing
// by default, so one that reaches any other thread does no harm.
constexpr int kInterruptSignal = SIGURG;
// How long stopping waits for the thread before leaving it behind, and how often the
// signal is sent meanwhile (one that lands just before the wait begins is lost).
constexpr auto kStopLimit = std::chrono::seconds(1);
constexpr auto kResendEvery = std::chrono::milliseconds(20);

void onInterrupt(int) {}

// The signal interrupts the wait only while a handler catches it. A program's own handler
// is left in place (it runs on the watch's thread, which then sees EINTR as well); where
// the signal is left to its default or ignored (also when something set it back to that
// since), a handler that does nothing is put in, without SA_RESTART so the wait returns.
void ensureInterruptHandler() {
  struct sigaction now {};
  if (::sigaction(kInterruptSignal, nullptr, &now) != 0) return;
  const bool caught = (now.sa_flags & SA_SIGINFO) ? now.sa_sigaction != nullptr
                                                  : now.sa_handler != SIG_DFL && now.sa_handler != SIG_IGN;
  if (caught) return;
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  ::sigaction(kInterruptSignal, &action, nullptr);
}

}  // namespace

LineChangeWait LineChangeWatch::modemLines(int fd) {
  return [fd] { return ::ioctl(fd, TIOCMIWAIT, TIOCM_RNG | TIOCM_CD); };
}

LineChangeWatch::LineChangeWatch(LineChangeWait wait) {
  auto changed = WaitEvent::create();
  if (!changed) return;
  auto shared = std::make_shared<Shared>(std::move(*changed));
  auto ended = shared->endedPromise.get_future();
  ensureInterruptHandler();
  try {
    thread_ = std::thread([shared, wait = std::move(wait)] { run(*shared, wait); });
    shared_ = std::move(shared);
    ended_ = std::move(ended);
  } catch (const std::system_error&) {
    // No thread: line changes are then seen only when a read ends.
  }
}

LineChangeWatch::~LineChangeWatch() {
  if (!thread_.joinable()) return;
  shared_->stopping = true;
  const auto giveUpAt = std::chrono::steady_clock::now() + kStopLimit;
  do {
    ensureInterruptHandler();
    ::pthread_kill(thread_.native_handle(), kInterruptSignal);
  } while (ended_.wait_for(kResendEvery) != std::future_status::ready && std::chrono::steady_clock::now() < giveUpAt);
  if (ended_.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
    thread_.join();
  } else {
    // Something keeps the signal from interrupting the wait (a handler of the program's
    // with SA_RESTART). The thread owns its share of the state and ends at the next line
    // change or hang-up without waiting again; the port is not held up meanwhile.
    thread_.detach();
  }
}

void LineChangeWatch::run(Shared& shared, const LineChangeWait& wait) {
  // The signal may be blocked in the thread that made the port (threads inherit the mask).
  sigset_t interrupt;
  sigemptyset(&interrupt);
  sigaddset(&interrupt, kInterruptSignal);
  ::pthread_sigmask(SIG_UNBLOCK, &interrupt, nullptr);
  while (!shared.stopping) {
    if (wait() == 0) {
      shared.changed.set();
    } else if (errno != EINTR) {
      break;  // the device cannot be waited on: it reports no line changes
    }
  }
  shared.endedPromise.set_value();
}

}  // namespace qv::platform::posix
