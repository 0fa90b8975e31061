#pragma once
// Test backend of EventLoop: a queue that the test pumps on its own thread.
#include "platform/event_loop.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace qv::platform {

class ManualEventLoop final : public EventLoop {
public:
  ManualEventLoop() : owner_(std::this_thread::get_id()) {}

  void post(std::function<void()> fn) override;
  void postAndWait(std::function<void()> fn) override;

  // Runs everything queued now and what that queues in turn; returns how many ran.
  int runPending();
  // Waits up to timeout for work to arrive, then runs what is pending. Returns how many ran.
  int runFor(std::chrono::milliseconds timeout);
  // Pumps until pred() holds or timeout passes; returns pred().
  bool runUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout);
  std::size_t pendingCount() const;

private:
  std::thread::id owner_;
  mutable std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<std::function<void()>> queue_;
};

}  // namespace qv::platform
