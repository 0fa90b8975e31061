#include "calibration/monitor_matrix.h"

#include "settings/monitor_values.h"

namespace qv::calibration {

std::array<float, 9> coordinateTransformationMatrix(const DesktopMonitor& monitor, int rootWidth, int rootHeight) {
  if (rootWidth <= 0 || rootHeight <= 0) return {1, 0, 0, 0, 1, 0, 0, 0, 1};
  // The position on the monitor as it stands, from the unturned one (u, v): the picture
  // turned counter-clockwise by 90 puts the unturned left edge at the top.
  // x = a u + b v + c, y = d u + e v + f.
  double a = 1, b = 0, c = 0, d = 0, e = 1, f = 0;
  switch (settings::normalRotation(monitor.rotation)) {
    case 90: a = 0; b = -1; c = 1; d = 1; e = 0; f = 0; break;
    case 180: a = -1; b = 0; c = 1; d = 0; e = -1; f = 1; break;
    case 270: a = 0; b = 1; c = 0; d = -1; e = 0; f = 1; break;
    default: break;
  }
  const double sx = static_cast<double>(monitor.width) / rootWidth;
  const double sy = static_cast<double>(monitor.height) / rootHeight;
  const double ox = static_cast<double>(monitor.left) / rootWidth;
  const double oy = static_cast<double>(monitor.top) / rootHeight;
  auto f32 = [](double v) { return static_cast<float>(v); };
  return {f32(sx * a), f32(sx * b), f32(sx * c + ox), f32(sy * d), f32(sy * e), f32(sy * f + oy), 0, 0, 1};
}

}  // namespace qv::calibration
