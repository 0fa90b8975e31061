#pragma once
// The controller's touch report on its serial line, five bytes a sample: byte 0 is 0xC1
// (pen down) or 0xC0 (pen up, the last report of a touch), then X and Y as 14-bit
// readings, each as its seven high and seven low bits. Only byte 0 has its top bit set.
#include <array>
#include <cstddef>
#include <cstdint>

namespace qv::driver {

inline constexpr std::size_t kControllerReportSize = 5;
inline constexpr std::uint8_t kPenDownHead = 0xC1;
inline constexpr std::uint8_t kPenUpHead = 0xC0;

using ControllerReport = std::array<std::uint8_t, kControllerReportSize>;

// The report of one sample; bits of x14 and y14 above the 14 are dropped.
constexpr ControllerReport encodeControllerReport(bool penDown, std::uint16_t x14, std::uint16_t y14) {
  return {penDown ? kPenDownHead : kPenUpHead, static_cast<std::uint8_t>((x14 >> 7) & 0x7F),
          static_cast<std::uint8_t>(x14 & 0x7F), static_cast<std::uint8_t>((y14 >> 7) & 0x7F),
          static_cast<std::uint8_t>(y14 & 0x7F)};
}

}  // namespace qv::driver
