#pragma once
// RepeatTimer over a QTimer of the user-interface thread.
#include "app/repeat_timer.h"

#include <QTimer>

namespace qv::app {

class QtRepeatTimer final : public RepeatTimer {
public:
  QtRepeatTimer() {
    QObject::connect(&timer_, &QTimer::timeout, [this] { fire(); });
  }
  void setInterval(int milliseconds) override { timer_.setInterval(milliseconds); }
  int interval() const override { return timer_.interval(); }
  void start() override {
    if (!timer_.isActive()) timer_.start();
  }
  void stop() override { timer_.stop(); }
  bool isActive() const override { return timer_.isActive(); }

private:
  QTimer timer_;
};

}  // namespace qv::app
