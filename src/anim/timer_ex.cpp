#include "anim/timer_ex.h"

#include "anim/timer_thread.h"

#include <exception>
#include <iostream>

namespace qv::anim {

TTimerEx::TTimerEx(platform::EventLoop& loop, WindowTimerFactory& windows)
    : loop_(loop), windows_(windows) {
  // The thread starts paused rather than ticking without a handler until the first update:
  // such ticks would do nothing anyway.
  thread_ = std::make_unique<TTimerThread>(*this, loop_);
}

TTimerEx::~TTimerEx() {
  enabled_ = false;
  try {
    update();
  } catch (...) {
    // Stopping a timer never needs a new one; nothing to report while going away.
  }
  releaseThread();
  window_.reset();
}

bool TTimerEx::hasOnTimer() const {
  std::lock_guard lock(handlerMutex_);
  return static_cast<bool>(onTimer_);
}

void TTimerEx::setEnabled(bool value) {
  if (value == enabled_) return;
  enabled_ = value;
  update();
}

void TTimerEx::setInterval(std::uint32_t value) {
  if (value == interval_) return;
  interval_ = value;
  update();
}

void TTimerEx::setThreaded(bool value) {
  if (value == threaded_) return;
  threaded_ = value;
  update();
}

void TTimerEx::setThreadPriority(TThreadPriority value) {
  if (value == priority_) return;
  priority_ = value;
  if (threaded_) update();
}

void TTimerEx::setOnTimer(Handler handler) {
  {
    std::lock_guard lock(handlerMutex_);
    onTimer_ = std::move(handler);
  }
  update();
}

void TTimerEx::Timer() {
  if (!enabled_) return;
  Handler handler;
  {
    std::lock_guard lock(handlerMutex_);
    handler = onTimer_;
  }
  // A copy: the handler may replace itself while it runs.
  if (handler) handler(*this);
}

void TTimerEx::tickOnUiThread() {
  try {
    Timer();
  } catch (const std::exception& error) {
    if (errorReport_) errorReport_(error.what());
    else std::cerr << error.what() << '\n';
  } catch (...) {
    if (errorReport_) errorReport_("Unknown error in timer handler");
    else std::cerr << "Unknown error in timer handler\n";
  }
}

void TTimerEx::releaseThread() {
  thread_.reset();  // sets Stopping, wakes and joins
}

void TTimerEx::update() {
  running_ = false;
  if (thread_ && !thread_->paused()) thread_->pause();
  if (window_) window_->stop();
  if (threaded_) {
    window_.reset();
    if (!thread_) thread_ = std::make_unique<TTimerThread>(*this, loop_);
  } else {
    releaseThread();
    if (!window_) window_ = windows_.create([this] { tickOnUiThread(); });
  }
  if (interval_ == 0 || !enabled_ || !hasOnTimer()) return;
  if (threaded_) {
    thread_->resume(priority_);
  } else {
    if (!window_->start(interval_)) throw EOutOfResources(kNoMoreTimersMessage);
  }
  running_ = true;
}

}  // namespace qv::anim
