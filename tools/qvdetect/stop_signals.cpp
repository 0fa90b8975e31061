#include "stop_signals.h"

#include <pthread.h>
#include <signal.h>

namespace qv::tools {

namespace {

sigset_t stopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  return set;
}

}  // namespace

void blockStopSignals() {
  const sigset_t set = stopSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

StopSignalWatch::StopSignalWatch(std::function<void()> onStop)
    : thread_([this, onStop = std::move(onStop)] {
        const sigset_t set = stopSignals();
        int sig = 0;
        if (sigwait(&set, &sig) != 0 || ending_) return;
        signal_ = sig;
        onStop();
      }) {}

StopSignalWatch::~StopSignalWatch() {
  // The program ends for another reason: wake the waiting thread with a signal meant for
  // it alone. When a signal came already, the thread has ended and this one is dropped.
  ending_ = true;
  if (signal_ == 0) pthread_kill(thread_.native_handle(), SIGTERM);
  thread_.join();
}

}  // namespace qv::tools
