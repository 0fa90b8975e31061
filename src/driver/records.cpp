#include "driver/records.h"

#include "platform/little_endian.h"

#include <cstdlib>

namespace qv::driver {

namespace {

// Absolute value of a signed 32-bit value as unsigned, defined also for INT32_MIN.
std::uint32_t magnitude(std::int64_t v) { return static_cast<std::uint32_t>(v < 0 ? -v : v); }

}  // namespace

std::array<std::uint8_t, 10> CalibrationRecord::toBytes() const {
  return {x1, x2, y1, y2, 0, 0, 0, 0, 0, 0};
}

CalibrationRecord CalibrationRecord::fromBytes(const std::array<std::uint8_t, 10>& b) {
  return {b[0], b[1], b[2], b[3]};
}

std::array<std::uint8_t, 11> CursorOffsetRecord::toBytes() const {
  std::array<std::uint8_t, 11> b{};
  b[0] = enabled ? 1 : 0;
  b[1] = xNegative ? 1 : 0;
  platform::putLe32(&b[2], xMagnitude);
  b[6] = yNegative ? 1 : 0;
  platform::putLe32(&b[7], yMagnitude);
  return b;
}

CursorOffsetRecord CursorOffsetRecord::fromBytes(const std::array<std::uint8_t, 11>& b) {
  return {b[0] != 0, b[1] != 0, platform::getLe32(&b[2]), b[6] != 0, platform::getLe32(&b[7])};
}

LineStatistics LineStatistics::fromBytes(const std::array<std::uint8_t, 20>& b) {
  return {platform::getLe32(&b[0]), platform::getLe32(&b[4]), platform::getLe32(&b[8]), platform::getLe32(&b[12])};
}

std::array<std::uint8_t, 20> LineStatistics::toBytes() const {
  std::array<std::uint8_t, 20> b{};
  platform::putLe32(&b[0], overrunErrors);
  platform::putLe32(&b[4], framingErrors);
  platform::putLe32(&b[8], penDowns);
  platform::putLe32(&b[12], penUps);
  return b;
}

std::array<std::uint8_t, 4> beepSoundBuffer(bool on) { return {static_cast<std::uint8_t>(on ? 1 : 0), 0, 0, 0}; }
std::array<std::uint8_t, 4> fixedModeBuffer() { return {1, 0, 0, 0}; }
std::array<std::uint8_t, 1> longBeepBuffer(bool on) { return {static_cast<std::uint8_t>(on ? 1 : 0)}; }

CursorOffsetRecord makeCursorOffsetRecord(bool enabled, std::int32_t dx, std::int32_t dy,
                                          int screenWidth, int screenHeight) {
  // The division comes first and truncates toward zero; a screen of no size gives no offset.
  const std::int64_t unitX = screenWidth > 0 ? 65535 / screenWidth : 0;
  const std::int64_t unitY = screenHeight > 0 ? 65535 / screenHeight : 0;
  // Wraps like the 32-bit multiplication the driver expects.
  const auto x = static_cast<std::int32_t>(static_cast<std::uint32_t>(unitX * dx));
  const auto y = static_cast<std::int32_t>(static_cast<std::uint32_t>(unitY * dy));
  CursorOffsetRecord r;
  r.enabled = enabled;
  r.xNegative = x < 0;
  r.xMagnitude = magnitude(x);
  r.yNegative = y < 0;
  r.yMagnitude = magnitude(y);
  return r;
}

}  // namespace qv::driver
