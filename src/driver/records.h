#pragma once
// The byte records exchanged with the driver. All integers little-endian, no gaps.
#include <array>
#include <cstddef>
#include <cstdint>

namespace qv::driver {

enum class RequestCode : std::uint32_t {
  BeginCalibration = 0x01,
  SetCalibration = 0x02,
  InitializeDriver = 0x03,
  SetFixedMode = 0x06,
  SetBeepSound = 0x07,
  ReadRawPoint = 0x09,
  SetCursorOffset = 0x0A,
  ReadLineStatistics = 0x0C,
  SetLongBeep = 0x0D,
};

struct CalibrationRecord {
  std::uint8_t x1 = 0, x2 = 0, y1 = 0, y2 = 0;
  std::array<std::uint8_t, 10> toBytes() const;
  static CalibrationRecord fromBytes(const std::array<std::uint8_t, 10>& bytes);
  bool operator==(const CalibrationRecord&) const = default;
};

// A reading carries raw X and raw Y, so at least the record's first four bytes.
inline constexpr std::size_t kRawPointReadingBytes = 4;

struct RawPoint {
  std::array<std::uint8_t, 10> bytes{};  // as the driver filled it
  std::uint8_t rawX() const { return bytes[1]; }
  std::uint8_t rawY() const { return bytes[3]; }
};

struct CursorOffsetRecord {
  bool enabled = false;
  bool xNegative = false;
  std::uint32_t xMagnitude = 0;
  bool yNegative = false;
  std::uint32_t yMagnitude = 0;
  std::array<std::uint8_t, 11> toBytes() const;
  static CursorOffsetRecord fromBytes(const std::array<std::uint8_t, 11>& bytes);
  bool operator==(const CursorOffsetRecord&) const = default;
};

struct LineStatistics {
  std::uint32_t overrunErrors = 0;
  std::uint32_t framingErrors = 0;
  std::uint32_t penDowns = 0;
  std::uint32_t penUps = 0;
  static LineStatistics fromBytes(const std::array<std::uint8_t, 20>& bytes);
  std::array<std::uint8_t, 20> toBytes() const;
  bool operator==(const LineStatistics&) const = default;
};

std::array<std::uint8_t, 4> beepSoundBuffer(bool on);
std::array<std::uint8_t, 4> fixedModeBuffer();
std::array<std::uint8_t, 1> longBeepBuffer(bool on);

// (65535 div screen pixels) x offset, the division first, in sign-and-magnitude form.
CursorOffsetRecord makeCursorOffsetRecord(bool enabled, std::int32_t dx, std::int32_t dy,
                                          int screenWidth, int screenHeight);

}  // namespace qv::driver
