#pragma once
// The arrow buttons' auto-repeat timer. The window uses a Qt timer; tests drive a manual
// one so that the repeat can be checked without waiting.
#include <functional>

namespace qv::app {

class RepeatTimer {
public:
  virtual ~RepeatTimer() = default;
  // Takes effect at once; a running timer starts its new interval from now.
  virtual void setInterval(int milliseconds) = 0;
  virtual int interval() const = 0;
  virtual void start() = 0;  // no change when already running
  virtual void stop() = 0;
  virtual bool isActive() const = 0;
  // Called on every expiry while running.
  void setHandler(std::function<void()> handler) { handler_ = std::move(handler); }

protected:
  void fire() {
    if (handler_) handler_();
  }

private:
  std::function<void()> handler_;
};

}  // namespace qv::app
