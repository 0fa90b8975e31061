#pragma once
// Bytes as the driver's log and qv-driverctl write them: two lowercase hex digits a byte,
// nothing between, and "-" for no bytes, so that every field of a line is one word.
#include <cstdint>
#include <span>
#include <string>

namespace qv::driverd {

inline std::string hexText(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return "-";
  static constexpr char digits[] = "0123456789abcdef";
  std::string s;
  s.reserve(bytes.size() * 2);
  for (const std::uint8_t b : bytes) {
    s += digits[b >> 4];
    s += digits[b & 15];
  }
  return s;
}

}  // namespace qv::driverd
