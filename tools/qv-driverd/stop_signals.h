#pragma once
// The signals that stop the driver. Its poll loop takes them through a signalfd, so they
// must be blocked in every thread: blocked first thing, before any thread starts (threads
// inherit the mask), else one that a library or the port's line watch starts may take a
// stop signal and end the process uncleanly.
#include <signal.h>

namespace qv::driverd {

inline sigset_t stopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  return set;
}

// Blocks them for the calling thread and the threads it starts from now on.
inline void blockStopSignals() {
  const sigset_t set = stopSignals();
  ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

}  // namespace qv::driverd
