#pragma once
// Where a touch lands on the pointer device: a reading r at full precision lands at
// (r − lo) / (hi − lo) of the axis, reversed limits flipping it, then moves by the cursor
// offset while it is enabled, clamped to 0..kPointerMax.
#include "driver/records.h"
#include "pointer_output.h"
#include "touch_sample.h"

#include <cstdint>

namespace qv::driverd {

// The span of readings the controller gives: the limits calibration mode uses, and those
// an axis whose two limits are equal uses instead of dividing by zero.
inline constexpr double kReadingSpan = 256;

struct AxisLimits {
  double lo = 0;
  double hi = kReadingSpan;
};

// round((r − lo) / (hi − lo) × kPointerMax) plus offset, clamped to 0..kPointerMax.
int mapAxis(double reading, AxisLimits limits, std::int64_t offset);

struct PointerPosition {
  int x = 0;
  int y = 0;
  bool operator==(const PointerPosition&) const = default;
};

// The position of a sample under the limits in use (0 and 256 in calibration mode) and
// the cursor offset record as the panel sent it.
PointerPosition mapTouch(const TouchSample& sample, const driver::CalibrationRecord& limits, bool calibrationMode,
                         const driver::CursorOffsetRecord& offset);

}  // namespace qv::driverd
