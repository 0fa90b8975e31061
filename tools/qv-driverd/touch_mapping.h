#pragma once
// Where a touch lands on the pointer device: a reading r at full precision lands at
// (r − lo) / (hi − lo) of the axis, reversed limits flipping it, then moves by the cursor
// offset while it is enabled, clamped to 0..kPointerMax. A stored limit lo or hi is a whole
// controller unit taken from a reading cut down to its unit, so it stands for the middle
// of that unit: lo + 0.5 and hi + 0.5.
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

// A stored limit stands for the middle of its controller unit: the reading it came from
// lay anywhere in that unit. Taking its start instead put every touch half a unit toward
// the right and bottom edges (about 4 pixels on a 1920-pixel screen).
inline constexpr double kUnitMiddle = 0.5;
AxisLimits storedAxisLimits(std::uint8_t lo, std::uint8_t hi);

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
