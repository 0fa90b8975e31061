#pragma once
// Keeps the driver's touch screen on the monitor its calibration ran on, on sway and other
// wlroots desktops: over the desktop's IPC it maps the device to that output
// (map_to_output) and turns its touches with the output's rotation (calibration_matrix),
// at start, after every change of outputs (plugged, moved, turned), when the device comes
// again and after each notification (a new calibration, the calibration screen shown or
// closed). A monitor that is not connected leaves touches on the whole desktop, which it
// says. Runs on a thread of its own with its own connections.
#include "cursor_hiding.h"
#include "platform/posix/unique_fd.h"

#include <atomic>
#include <string>
#include <thread>

namespace qv::tools {

class SwayTouchMapping {
public:
  // socketPath: the desktop's IPC socket (SWAYSOCK).
  SwayTouchMapping(std::string socketPath, Say say);
  ~SwayTouchMapping();  // stops and joins the thread
  SwayTouchMapping(const SwayTouchMapping&) = delete;
  SwayTouchMapping& operator=(const SwayTouchMapping&) = delete;

  // Maps again from the store (a new calibration); from any thread.
  void reapply();

private:
  void wake();
  void run();

  std::string socketPath_;
  Say say_;
  platform::UniqueFd wake_;  // eventfd: reapply or stop
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace qv::tools
