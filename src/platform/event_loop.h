#pragma once
// The user-interface thread's queue of work. Worker threads (serial reader and writer,
// timer thread, endpoint listeners) never touch windows or components directly: they
// hand a function to the owning thread through this interface.
#include <functional>
#include <memory>

namespace qv::platform {

class EventLoop {
public:
  virtual ~EventLoop() = default;
  // Runs fn later on the loop thread; calls run in the order they were posted.
  virtual void post(std::function<void()> fn) = 0;
  // Runs fn on the loop thread and returns when it has run. Called on the loop thread
  // itself, it runs fn at once.
  virtual void postAndWait(std::function<void()> fn) = 0;
};

// A guard that a component holds for its lifetime. Work posted through guarded() is
// dropped, never run, once the guard (and so its owner) is gone.
class LifetimeGuard {
public:
  LifetimeGuard() : alive_(std::make_shared<bool>(true)) {}
  ~LifetimeGuard() { *alive_ = false; }
  LifetimeGuard(const LifetimeGuard&) = delete;
  LifetimeGuard& operator=(const LifetimeGuard&) = delete;

  // Wraps fn so that it does nothing once this guard is destroyed. The wrapper must be
  // invoked on the loop thread, where the owner is also destroyed.
  std::function<void()> guarded(std::function<void()> fn) const {
    std::weak_ptr<bool> weak = alive_;
    return [weak, fn = std::move(fn)]() {
      if (auto alive = weak.lock(); alive && *alive) fn();
    };
  }

private:
  std::shared_ptr<bool> alive_;
};

}  // namespace qv::platform
