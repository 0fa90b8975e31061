#pragma once
// Conversions between the stored text forms and the binary copies meant for the driver.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qv::settings {

using TwoBytes = std::array<std::uint8_t, 2>;

// Leading hexadecimal digits as scanf's %X reads them (white space skipped, an optional
// 0x prefix, digits of either case until the first other character), wrapped to 32 bits.
// nullopt when no digit is there.
std::optional<std::uint32_t> scanHex(std::string_view text);
// Leading decimal number (white space and sign allowed); nullopt when there is none.
std::optional<std::int32_t> scanDecimal(std::string_view text);

// `Port`: v div 256, v mod 256 (high byte first) of the I/O address text.
TwoBytes portBytes(std::string_view addressText);
// `IRQ`: 0x00 then the leading decimal number modulo 256.
TwoBytes irqBytes(std::string_view irqText);
// The record byte of a stored calibration limit: the low 8 bits of its leading hex digits.
std::uint8_t calibrationByte(std::string_view limitText);
// `X1`..`Y2`: 0x00 then calibrationByte.
TwoBytes calibrationBytes(std::string_view limitText);
// "%02XH" of a limit (03H, FCH, FFFFFFFEH for -2 taken as unsigned 32-bit).
std::string formatCalibrationLimit(std::int32_t limit);
// Four lower-case hex digits, one per nibble, first byte first ("12ab").
std::string firmwareText(std::uint8_t b0, std::uint8_t b1);
// `PortSearchOrder` for an I/O address; nullopt leaves the stored value unchanged.
std::optional<std::string> portSearchOrderFor(std::string_view addressText);

}  // namespace qv::settings
