#pragma once
// Keeps the driver's touch screen on the monitor its calibration ran on, on an X11 desktop:
// sets the device's "Coordinate Transformation Matrix" from that monitor's place in the
// root window and its rotation, at start, after every change of monitors (RandR: plugged,
// moved, turned), when the device comes again (the driver makes it anew for another
// monitor) and after a new calibration. A monitor that is not connected leaves touches on
// the whole desktop, which it says. Runs on a thread of its own with its own connection.
#include "cursor_hiding.h"
#include "mapping_thread.h"


namespace qv::tools {

class X11TouchMapping {
public:
  explicit X11TouchMapping(Say say);
  ~X11TouchMapping();  // stops and joins the thread
  X11TouchMapping(const X11TouchMapping&) = delete;
  X11TouchMapping& operator=(const X11TouchMapping&) = delete;

  // Maps again from the store (a new calibration); from any thread.
  void reapply();

private:
  void run();

  Say say_;
  MappingThread thread_{[this] { run(); }};  // last: run() uses the members above
};

}  // namespace qv::tools
