#pragma once
// Runs a desktop's touch-screen mapping on a thread of its own, with its own GLib main
// context (the desktops' settings and D-Bus signals are GLib's): maps at start, again when
// asked (a new calibration), when the kernel reports a change of monitors, and when the
// setting reports that the device came again. Bursts of events map once, shortly after.
#include "cursor_hiding.h"
#include "desktop_touch_mapping.h"

#include <functional>
#include <memory>
#include <thread>

namespace qv::tools {

class DesktopMappingThread {
public:
  // Made on the thread, with its main context the default there; again() asks for a new
  // mapping from there.
  using MakeSetting = std::function<std::unique_ptr<TouchOutputSetting>(std::function<void()> again)>;

  DesktopMappingThread(MakeSetting makeSetting, Say say);
  ~DesktopMappingThread();  // stops and joins the thread
  DesktopMappingThread(const DesktopMappingThread&) = delete;
  DesktopMappingThread& operator=(const DesktopMappingThread&) = delete;

  // Maps again from the store; from any thread.
  void reapply();

private:
  struct Loop;
  void run(MakeSetting makeSetting);

  Say say_;
  std::unique_ptr<Loop> loop_;
  std::thread thread_;
};

}  // namespace qv::tools
