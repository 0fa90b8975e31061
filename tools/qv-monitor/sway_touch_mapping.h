#pragma once
// Keeps the driver's touch screen on the monitor its calibration ran on, on sway and other
// wlroots desktops: over the desktop's IPC it maps the device to that output
// (map_to_output), whose rotation the desktop gives its touches (its calibration_matrix
// stays the identity),
// at start, after every change of outputs (plugged, moved, turned), when the device comes
// again and after each notification (a new calibration, the calibration screen shown or
// closed). A monitor that is not connected leaves touches on the whole desktop, which it
// says. Runs on a thread of its own with its own connections.
#include "cursor_hiding.h"
#include "mapping_thread.h"

#include <string>

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
  void run();

  std::string socketPath_;
  Say say_;
  MappingThread thread_{[this] { run(); }};  // last: run() uses the members above
};

}  // namespace qv::tools
