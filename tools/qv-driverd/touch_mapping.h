#pragma once
// Where a touch lands on the pointer device: a reading r at full precision lands at
// (r − lo) / (hi − lo) of the axis, reversed limits flipping it, then moves by the cursor
// offset while it is enabled, clamped to 0..kPointerMax. A stored limit lo or hi is a whole
// controller unit taken from a reading cut down to its unit, so it stands for the middle
// of that unit: lo + 0.5 and hi + 0.5.
#include "driver/records.h"
#include "pointer_output.h"
#include "settings/monitor_values.h"
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

// How the panel sits on its monitor (the store's Cfg_SwapXY and Cfg_Rotation), and whether
// the driver turns touches into the rotation itself. Off by default: the display server
// turns a device it maps to a monitor with that monitor (X11's transformation matrix,
// GNOME, KDE, weston), so the driver gives positions on the monitor unturned, and a later
// turn of the monitor needs no new calibration. On for a desktop that maps without
// turning (a wlroots desktop without a calibration matrix, or a device not mapped at all),
// where the monitor stays as turned as it was calibrated.
struct MappingOrientation {
  settings::PanelMounting mounting;
  bool rotate = false;
  bool operator==(const MappingOrientation&) const = default;
};

// The position of a sample under the limits in use (0 and 256 in calibration mode) and
// the cursor offset record as the panel sent it. The limits give the controller's axes;
// swapped, X runs along the monitor's height; turned, the position follows the rotation.
// Calibration mode leaves both out: touches arrive as the controller reads them.
PointerPosition mapTouch(const TouchSample& sample, const driver::CalibrationRecord& limits, bool calibrationMode,
                         const driver::CursorOffsetRecord& offset, const MappingOrientation& orientation = {});

}  // namespace qv::driverd
