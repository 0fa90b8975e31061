#pragma once
// Window timers on the Qt event loop of the creating (user-interface) thread.
#include "anim/timer_window.h"

namespace qv::anim {

class QtWindowTimerFactory final : public WindowTimerFactory {
public:
  std::unique_ptr<WindowTimer> create(std::function<void()> onTick) override;
};

}  // namespace qv::anim
