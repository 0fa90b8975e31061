#include "anim/qt/qt_window_timer.h"

#include <QObject>
#include <QTimerEvent>

namespace qv::anim {

namespace {

// A plain QObject timer: startTimer() reports 0 when the system has no timer to give, which
// a QTimer would hide.
class QtWindowTimer final : public QObject, public WindowTimer {
public:
  explicit QtWindowTimer(std::function<void()> onTick) : onTick_(std::move(onTick)) {}
  ~QtWindowTimer() override { stop(); }

  bool start(std::uint32_t intervalMs) override {
    stop();
    id_ = startTimer(static_cast<int>(std::min<std::uint32_t>(intervalMs, INT32_MAX)), Qt::PreciseTimer);
    return id_ != 0;
  }
  void stop() override {
    if (id_ != 0) killTimer(id_);
    id_ = 0;
  }

protected:
  void timerEvent(QTimerEvent* event) override {
    if (event->timerId() == id_ && onTick_) onTick_();
  }

private:
  std::function<void()> onTick_;
  int id_ = 0;
};

}  // namespace

std::unique_ptr<WindowTimer> QtWindowTimerFactory::create(std::function<void()> onTick) {
  return std::make_unique<QtWindowTimer>(std::move(onTick));
}

}  // namespace qv::anim
