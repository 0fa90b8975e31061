#pragma once
// The time source of a timer in window mode: a periodic platform timer that delivers its
// ticks on the user-interface thread. The Qt side implements it with a QObject timer; tests
// implement it with a fake that can refuse to start.
#include <cstdint>
#include <functional>
#include <memory>

namespace qv::anim {

class WindowTimer {
public:
  virtual ~WindowTimer() = default;
  // Starts (or restarts) the periodic timer; false when the platform has no timer to give.
  virtual bool start(std::uint32_t intervalMs) = 0;
  virtual void stop() = 0;
};

class WindowTimerFactory {
public:
  virtual ~WindowTimerFactory() = default;
  // onTick runs on the user-interface thread for every period that elapses while started.
  virtual std::unique_ptr<WindowTimer> create(std::function<void()> onTick) = 0;
};

}  // namespace qv::anim
