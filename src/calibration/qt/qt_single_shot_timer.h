#pragma once
// SingleShotTimer over a QTimer of the user-interface thread.
#include "calibration/single_shot_timer.h"

#include <QTimer>

namespace qv::calibration {

class QtSingleShotTimer final : public SingleShotTimer {
public:
  QtSingleShotTimer() {
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, [this] { fire(); });
  }
  void start(int milliseconds) override { timer_.start(milliseconds); }
  void stop() override { timer_.stop(); }
  bool isActive() const override { return timer_.isActive(); }

private:
  QTimer timer_;
};

}  // namespace qv::calibration
