#pragma once
// TTimerThread: the thread that keeps time for a threaded TTimerEx. It sleeps for the
// timer's Interval (read afresh before each sleep) and then hands the tick to the
// user-interface thread and waits until it ran there, or, with ThreadSafe, runs it itself.
// Pausing is a wait on a condition; a pause or resume during a sleep starts a fresh sleep,
// so a new Interval or a re-enabled timer counts from the moment of the change.
#include "anim/timer_priority.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

namespace qv::platform {
class EventLoop;
}

namespace qv::anim {

class TTimerEx;

class TTimerThread {
public:
  // Starts the thread paused.
  TTimerThread(TTimerEx& timer, platform::EventLoop& loop);
  // Sets Stopping, wakes the thread, abandons a tick still waiting for the user-interface
  // thread, and joins: no tick runs after this returns.
  ~TTimerThread();
  TTimerThread(const TTimerThread&) = delete;
  TTimerThread& operator=(const TTimerThread&) = delete;

  void pause();
  void resume(TThreadPriority priority);
  bool paused() const;
  bool stopping() const;

private:
  struct HandOff;
  void run();
  void tick();

  TTimerEx& timer_;
  platform::EventLoop& loop_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool paused_ = true;
  bool stopping_ = false;
  std::uint64_t changes_ = 0;  // bumped by every pause and resume; ends a sleep early
  TThreadPriority priority_ = TThreadPriority::tpNormal;
  std::shared_ptr<HandOff> pending_;  // the tick waiting for the user-interface thread
  std::thread thread_;                // last: starts after everything above is built
};

}  // namespace qv::anim
