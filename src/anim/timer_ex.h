#pragma once
// TTimerEx: calls its OnTimer handler every Interval milliseconds, keeping time either with a
// thread of its own (TTimerThread, the default) or with a window timer on the user-interface
// thread. Every property change, and the destruction, belongs to the user-interface thread: a
// ThreadSafe handler, which runs on the timer thread, must not change the timer.
#include "anim/timer_priority.h"
#include "anim/timer_window.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

namespace qv::platform {
class EventLoop;
}

namespace qv::anim {

class TTimerThread;

// Raised when the platform refuses a window timer.
class EOutOfResources : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

inline constexpr const char* kNoMoreTimersMessage = "No More Timers Available";

class TTimerEx {
public:
  using Handler = std::function<void(TTimerEx& sender)>;
  // Where an error escaping the handler goes; the timer keeps running afterwards.
  using ErrorReport = std::function<void(const std::string& message)>;

  // loop hands threaded ticks to the user-interface thread; windows makes window timers.
  // Both must outlive the timer.
  TTimerEx(platform::EventLoop& loop, WindowTimerFactory& windows);
  virtual ~TTimerEx();
  TTimerEx(const TTimerEx&) = delete;
  TTimerEx& operator=(const TTimerEx&) = delete;

  bool enabled() const { return enabled_.load(); }
  std::uint32_t interval() const { return interval_.load(); }
  bool threaded() const { return threaded_; }
  TThreadPriority threadPriority() const { return priority_.load(); }
  bool threadSafe() const { return threadSafe_.load(); }
  bool hasOnTimer() const;

  // Each setter that changes the time source may throw EOutOfResources in window mode.
  void setEnabled(bool value);
  void setInterval(std::uint32_t value);
  void setThreaded(bool value);
  void setThreadPriority(TThreadPriority value);
  void setThreadSafe(bool value) { threadSafe_ = value; }
  void setOnTimer(Handler handler);
  void setErrorReport(ErrorReport report) { errorReport_ = std::move(report); }

  // The tick: calls OnTimer when Enabled and a handler is set, otherwise nothing.
  virtual void Timer();

  // For tests and diagnostics: which time source exists and whether it runs.
  bool hasThread() const { return thread_ != nullptr; }
  bool hasWindow() const { return window_ != nullptr; }
  bool running() const { return running_; }

private:
  friend class TTimerThread;
  void update();
  void releaseThread();
  // A tick delivered on the user-interface thread: errors go to the error report.
  void tickOnUiThread();

  platform::EventLoop& loop_;
  WindowTimerFactory& windows_;
  // Read by the timer thread without the user-interface thread's involvement.
  std::atomic<bool> enabled_{true};
  std::atomic<std::uint32_t> interval_{1000};
  std::atomic<TThreadPriority> priority_{TThreadPriority::tpNormal};
  std::atomic<bool> threadSafe_{false};
  bool threaded_ = true;
  bool running_ = false;
  mutable std::mutex handlerMutex_;  // the handler may be read on the timer thread
  Handler onTimer_;
  ErrorReport errorReport_;
  std::unique_ptr<WindowTimer> window_;
  std::unique_ptr<TTimerThread> thread_;
};

}  // namespace qv::anim
