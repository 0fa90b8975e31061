#include "settings/conversions.h"

#include <cctype>
#include <cstdio>

namespace qv::settings {

namespace {

bool isSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// White space, then an optional sign, as scanf's numeric conversions read them.
bool skipToNumber(std::string_view text, std::size_t& pos) {
  while (pos < text.size() && isSpace(text[pos])) ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }
  return negative;
}

}  // namespace

std::optional<std::uint32_t> scanHex(std::string_view text) {
  std::size_t pos = 0;
  const bool negative = skipToNumber(text, pos);
  // "0x" counts as a prefix only when a digit follows; otherwise the "0" is the number.
  if (pos + 2 < text.size() && text[pos] == '0' && (text[pos + 1] == 'x' || text[pos + 1] == 'X') &&
      hexValue(text[pos + 2]) >= 0) {
    pos += 2;
  }
  std::uint32_t v = 0;
  bool any = false;
  for (; pos < text.size() && hexValue(text[pos]) >= 0; ++pos) {
    v = v * 16 + static_cast<std::uint32_t>(hexValue(text[pos]));  // wraps to 32 bits
    any = true;
  }
  if (!any) return std::nullopt;
  return negative ? 0u - v : v;
}

std::optional<std::int32_t> scanDecimal(std::string_view text) {
  std::size_t pos = 0;
  const bool negative = skipToNumber(text, pos);
  std::uint32_t v = 0;
  bool any = false;
  for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
    v = v * 10 + static_cast<std::uint32_t>(text[pos] - '0');
    any = true;
  }
  if (!any) return std::nullopt;
  return static_cast<std::int32_t>(negative ? 0u - v : v);
}

TwoBytes portBytes(std::string_view addressText) {
  // A text without a number gives address 0.
  std::uint32_t v = scanHex(addressText).value_or(0);
  return {static_cast<std::uint8_t>(v / 256), static_cast<std::uint8_t>(v % 256)};
}

TwoBytes irqBytes(std::string_view irqText) {
  auto n = static_cast<std::uint32_t>(scanDecimal(irqText).value_or(0));
  return {0x00, static_cast<std::uint8_t>(n % 256)};
}

std::uint8_t calibrationByte(std::string_view limitText) {
  // A text without a leading hexadecimal digit gives 0.
  return static_cast<std::uint8_t>(scanHex(limitText).value_or(0) & 0xFF);
}

TwoBytes calibrationBytes(std::string_view limitText) { return {0x00, calibrationByte(limitText)}; }

std::string formatCalibrationLimit(std::int32_t limit) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%02XH", static_cast<unsigned>(static_cast<std::uint32_t>(limit)));
  return buffer;
}

std::string firmwareText(std::uint8_t b0, std::uint8_t b1) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "%02x%02x", b0, b1);
  return buffer;
}

std::optional<std::string> portSearchOrderFor(std::string_view addressText) {
  std::string address(addressText);
  for (char& c : address) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  struct Entry {
    const char* address;
    const char* order;
  };
  static constexpr Entry table[] = {
      {"3f8h", "COM2 COM3 COM4"}, {"03f8h", "COM2 COM3 COM4"}, {"2f8h", "COM1 COM3 COM4"}, {"02f8h", "COM1 COM3 COM4"},
      {"3e8h", "COM1 COM2 COM4"}, {"03e8h", "COM1 COM2 COM4"}, {"2e8h", "COM1 COM2 COM3"}, {"02e8h", "COM1 COM2 COM3"},
  };
  for (const Entry& e : table) {
    if (address == e.address) return std::string(e.order);
  }
  return std::nullopt;
}

}  // namespace qv::settings
