// Touch devices the kernel drives. This build has no reader for them.
#include "touch_device.h"

namespace qv::driverd {

TouchDeviceResult openTouchDevice(const std::string&) {
  return {nullptr, "touch devices not supported in this build", false};
}

}  // namespace qv::driverd
