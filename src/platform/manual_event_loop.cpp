#include "platform/manual_event_loop.h"

#include <future>

namespace qv::platform {

void ManualEventLoop::post(std::function<void()> fn) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(fn));
  }
  arrived_.notify_all();
}

void ManualEventLoop::postAndWait(std::function<void()> fn) {
  if (std::this_thread::get_id() == owner_) {
    fn();
    return;
  }
  std::promise<void> done;
  auto finished = done.get_future();
  post([&fn, &done] {
    fn();
    done.set_value();
  });
  finished.wait();
}

int ManualEventLoop::runPending() {
  int ran = 0;
  for (;;) {
    std::function<void()> fn;
    {
      std::lock_guard lock(mutex_);
      if (queue_.empty()) return ran;
      fn = std::move(queue_.front());
      queue_.pop_front();
    }
    fn();
    ++ran;
  }
}

int ManualEventLoop::runFor(std::chrono::milliseconds timeout) {
  {
    std::unique_lock lock(mutex_);
    arrived_.wait_for(lock, timeout, [this] { return !queue_.empty(); });
  }
  return runPending();
}

bool ManualEventLoop::runUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  runPending();
  while (!pred()) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    std::unique_lock lock(mutex_);
    arrived_.wait_until(lock, std::min(deadline, now + std::chrono::milliseconds(10)),
                        [this] { return !queue_.empty(); });
    lock.unlock();
    runPending();
  }
  return true;
}

std::size_t ManualEventLoop::pendingCount() const {
  std::lock_guard lock(mutex_);
  return queue_.size();
}

}  // namespace qv::platform
