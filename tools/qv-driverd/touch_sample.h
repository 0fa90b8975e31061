#pragma once
// One touch sample as the driver takes it from any source (the controller's report
// stream, a touch device the kernel drives, an injected touch): pen state and position in
// controller units at full precision. A reading of 0..255 (the units of the limits and of
// ReadRawPoint) is the integer part; the fraction is kept for the mapping.
namespace qv::driverd {

struct TouchSample {
  bool penDown = false;  // true while touching; false for the last sample of a touch
  double x = 0;          // 0 <= x < 256
  double y = 0;          // 0 <= y < 256
  bool operator==(const TouchSample&) const = default;
};

}  // namespace qv::driverd
