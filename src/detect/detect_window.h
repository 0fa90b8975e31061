#pragma once
// A detection window as the Detect flow uses it: given a port name, shown modally,
// its result fields read after it closed. The Qt window and the window-less prober both
// are one.
#include "detect/probe_protocol.h"

#include <string>

namespace qv::detect {

class DetectWindow {
public:
  virtual ~DetectWindow() = default;
  // Comm1's port name; the probe always addresses this name.
  virtual void setPortName(std::string name) = 0;
  // Runs the open step and the probe; returns when the window has closed.
  virtual void showModal() = 0;
  virtual const DetectResult& result() const = 0;
};

}  // namespace qv::detect
