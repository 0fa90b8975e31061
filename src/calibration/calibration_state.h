#pragma once
// The calibration screen's state. It lives as long as the program, not as long as one
// showing: the next showing starts where completion or Cancel left it, and the 900 ms
// gap between touches also holds across showings.
#include "driver/records.h"
#include "settings/conversions.h"

#include <array>
#include <cstdint>
#include <string>

namespace qv::calibration {

struct CalibrationState {
  int TargetIndex = 0;                  // 0 top, 1 right, 2 bottom, 3 left
  std::uint32_t LastAcceptedTick = 0;   // tick count of the last accepted touch
  bool CalibrationCancelled = false;    // true after Cancel, false after a completed run
  // The stored limits as the calibration procedure read them before calibration mode
  // began: what Cancel, or a store that refuses the new limits, gives the driver back.
  driver::CalibrationRecord limitsBefore;
  driver::RawPoint rawPoint;            // the last reading the driver returned
  // The reading taken at each target so far (top, right, bottom, left): on a turned
  // monitor every limit may come from another target's reading.
  std::array<driver::RawPoint, 4> targetReadings{};
  driver::CalibrationRecord newLimits;  // X1, X2, Y1, Y2 as taken so far
  std::array<std::string, 4> limitTexts;          // text forms of X1, X2, Y1, Y2
  std::array<settings::TwoBytes, 4> limitPairs{};  // two-byte forms of X1, X2, Y1, Y2
  // Set when Cancel could not reach the driver during this showing: the screen says so
  // and the next Cancel closes it anyway.
  bool cancelUnreachable = false;
};

}  // namespace qv::calibration
