#pragma once
// The X11 desktop most people see: a window manager (openbox) and a bar (tint2, 30 pixels
// along the bottom, above ordinary windows, reserving its strip of the screen) on the X
// display DISPLAY names. Both end with the object.
#include "support/child_process.h"

#include <chrono>
#include <memory>
#include <string>

namespace qv::test {

class WindowManagerDesktop {
public:
  static constexpr int kBarHeight = 30;
  // Starts both and waits until the window manager runs and the work area ends above the bar.
  explicit WindowManagerDesktop(std::chrono::milliseconds limit = std::chrono::seconds(20));
  // Why the desktop did not come up; empty when it did.
  const std::string& problem() const { return problem_; }

private:
  std::unique_ptr<ChildProcess> windowManager_;
  std::unique_ptr<ChildProcess> bar_;
  std::string problem_;
};

}  // namespace qv::test
