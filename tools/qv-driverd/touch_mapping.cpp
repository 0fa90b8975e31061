#include "touch_mapping.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace qv::driverd {

namespace {

AxisLimits axisLimits(std::uint8_t lo, std::uint8_t hi, bool calibrationMode) {
  if (calibrationMode || lo == hi) return {};
  return storedAxisLimits(lo, hi);
}

std::int64_t signedOffset(bool enabled, bool negative, std::uint32_t magnitude) {
  if (!enabled) return 0;
  return negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
}

// Where a reading lies on the axis in pointer units, before rounding and beyond the edges.
double along(double reading, AxisLimits limits) { return (reading - limits.lo) / (limits.hi - limits.lo) * kPointerMax; }

int placed(double at, std::int64_t offset) {
  // Both terms stay far below 2^53, so the sum is exact before it is clamped.
  const double moved = std::round(at) + static_cast<double>(offset);
  return static_cast<int>(std::clamp(moved, 0.0, static_cast<double>(kPointerMax)));
}

}  // namespace

AxisLimits storedAxisLimits(std::uint8_t lo, std::uint8_t hi) {
  return {lo + kUnitMiddle, hi + kUnitMiddle};
}

int mapAxis(double reading, AxisLimits limits, std::int64_t offset) { return placed(along(reading, limits), offset); }

PointerPosition mapTouch(const TouchSample& sample, const driver::CalibrationRecord& limits, bool calibrationMode,
                         const driver::CursorOffsetRecord& offset, const MappingOrientation& orientation) {
  const double alongX = along(sample.x, axisLimits(limits.x1, limits.x2, calibrationMode));
  const double alongY = along(sample.y, axisLimits(limits.y1, limits.y2, calibrationMode));
  // Calibration mode gives touches where the controller has them, as the readings are.
  double x = alongX, y = alongY;
  if (!calibrationMode) {
    if (orientation.mounting.swapXY) std::swap(x, y);
    if (orientation.rotate) {
      // From the monitor unturned to the picture turned counter-clockwise.
      const double unturnedX = x, unturnedY = y;
      switch (settings::normalRotation(orientation.mounting.rotation)) {
        case 90: x = kPointerMax - unturnedY; y = unturnedX; break;
        case 180: x = kPointerMax - unturnedX; y = kPointerMax - unturnedY; break;
        case 270: x = unturnedY; y = kPointerMax - unturnedX; break;
        default: break;
      }
    }
  }
  return {placed(x, signedOffset(offset.enabled, offset.xNegative, offset.xMagnitude)),
          placed(y, signedOffset(offset.enabled, offset.yNegative, offset.yMagnitude))};
}

}  // namespace qv::driverd
