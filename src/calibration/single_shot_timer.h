#pragma once
// A timer that fires once after its interval unless stopped first: the initial-error
// window closes itself with one. The window uses a Qt timer; tests fire a manual one.
#include <functional>

namespace qv::calibration {

class SingleShotTimer {
public:
  virtual ~SingleShotTimer() = default;
  virtual void start(int milliseconds) = 0;  // restarts a running timer
  virtual void stop() = 0;
  virtual bool isActive() const = 0;
  void setHandler(std::function<void()> handler) { handler_ = std::move(handler); }

protected:
  void fire() {
    if (handler_) handler_();
  }

private:
  std::function<void()> handler_;
};

}  // namespace qv::calibration
