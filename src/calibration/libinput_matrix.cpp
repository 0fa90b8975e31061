#include "calibration/libinput_matrix.h"

#include "calibration/monitor_matrix.h"

namespace qv::calibration {

std::array<float, 6> libinputRotationMatrix(int rotation) {
  // The X11 matrix of a monitor that fills a desktop of its own size is the rotation alone;
  // its third row (0 0 1) is implied by libinput.
  DesktopMonitor unit;
  unit.width = 1;
  unit.height = 1;
  unit.rotation = rotation;
  const std::array<float, 9> m = coordinateTransformationMatrix(unit, 1, 1);
  return {m[0], m[1], m[2], m[3], m[4], m[5]};
}

}  // namespace qv::calibration
