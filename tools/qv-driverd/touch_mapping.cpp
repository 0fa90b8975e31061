#include "touch_mapping.h"

#include <algorithm>
#include <cmath>

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

}  // namespace

AxisLimits storedAxisLimits(std::uint8_t lo, std::uint8_t hi) {
  return {lo + kUnitMiddle, hi + kUnitMiddle};
}

int mapAxis(double reading, AxisLimits limits, std::int64_t offset) {
  const double at = std::round((reading - limits.lo) / (limits.hi - limits.lo) * kPointerMax);
  // Both terms stay far below 2^53, so the sum is exact before it is clamped.
  const double moved = at + static_cast<double>(offset);
  return static_cast<int>(std::clamp(moved, 0.0, static_cast<double>(kPointerMax)));
}

PointerPosition mapTouch(const TouchSample& sample, const driver::CalibrationRecord& limits, bool calibrationMode,
                         const driver::CursorOffsetRecord& offset) {
  return {mapAxis(sample.x, axisLimits(limits.x1, limits.x2, calibrationMode),
                  signedOffset(offset.enabled, offset.xNegative, offset.xMagnitude)),
          mapAxis(sample.y, axisLimits(limits.y1, limits.y2, calibrationMode),
                  signedOffset(offset.enabled, offset.yNegative, offset.yMagnitude))};
}

}  // namespace qv::driverd
