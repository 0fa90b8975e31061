#pragma once
// The X11 coordinate transformation matrix that puts the touch screen on its monitor: the
// device gives positions on the monitor unturned, as fractions of its axes; the X server
// multiplies them (x, y, 1) by this matrix and takes the result as fractions of the whole
// desktop (the root window). The matrix turns the position with the monitor's rotation
// now, then scales and moves it onto the monitor's place.
#include "calibration/monitor_matching.h"

#include <array>

namespace qv::calibration {

// Row by row, as the device property "Coordinate Transformation Matrix" takes it. A root
// window without size gives the identity (the whole desktop).
std::array<float, 9> coordinateTransformationMatrix(const DesktopMonitor& monitor, int rootWidth, int rootHeight);

}  // namespace qv::calibration
