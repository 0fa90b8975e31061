#pragma once
// Touches from an absolute touch device the kernel already drives (/dev/input/eventN):
// ABS_X/ABS_Y with BTN_TOUCH, or slot 0 of ABS_MT_*. Held exclusively (EVIOCGRAB) while
// open, released when closed. Positions are a fraction of the device's axis range × 256
// controller units.
#include "touch_sample.h"

#include <memory>
#include <string>
#include <vector>

namespace qv::driverd {

class TouchDevice {
public:
  virtual ~TouchDevice() = default;  // releases the grab and closes the device
  // Readable when events wait; the driver polls it with its other descriptors.
  virtual int fd() const = 0;
  enum class Status { Ok, Gone };
  // Reads what waits without blocking and appends the samples it makes (one per
  // SYN_REPORT that changed the pen or the position). Gone when the device went away.
  virtual Status read(std::vector<TouchSample>& samples) = 0;
};

struct TouchDeviceResult {
  std::unique_ptr<TouchDevice> device;
  std::string error;  // when device is null: what is wrong, for example what the device lacks
  bool notTouchDevice = false;  // the device opened but is no absolute touch device
};
TouchDeviceResult openTouchDevice(const std::string& path);

}  // namespace qv::driverd
