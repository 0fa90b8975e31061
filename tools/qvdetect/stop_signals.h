#pragma once
// SIGTERM and SIGINT as a request to stop the search rather than the end of the process:
// a port held exclusively must be given back before the program ends, or a pseudo-terminal
// keeps refusing other openers for as long as its far end is open.
#include <atomic>
#include <functional>
#include <thread>

namespace qv::tools {

// Blocks SIGTERM and SIGINT for the calling thread and every thread it starts afterwards.
// Call it first thing in main, before any thread exists.
void blockStopSignals();

// Takes the blocked stop signals on a thread of its own (sigwait) and calls onStop once,
// on that thread, for the first of them.
class StopSignalWatch {
public:
  explicit StopSignalWatch(std::function<void()> onStop);
  ~StopSignalWatch();
  StopSignalWatch(const StopSignalWatch&) = delete;
  StopSignalWatch& operator=(const StopSignalWatch&) = delete;

  // The signal that came, or 0.
  int signalled() const { return signal_; }

private:
  std::atomic<int> signal_{0};
  std::atomic<bool> ending_{false};
  std::thread thread_;
};

}  // namespace qv::tools
