#pragma once
// EventLoop over the Qt event loop of the thread that created it.
#include "platform/event_loop.h"

#include <QObject>

namespace qv::platform {

class QtEventLoop final : public EventLoop {
public:
  QtEventLoop();
  ~QtEventLoop() override;
  void post(std::function<void()> fn) override;
  void postAndWait(std::function<void()> fn) override;

private:
  QObject* context_;  // lives on the creating thread; owned here, deleted in the destructor
};

}  // namespace qv::platform
