#include "value_text.h"

#include <cctype>
#include <charconv>
#include <cstdio>

namespace qv::tools {

using platform::RegistryValue;
namespace regtype = platform::regtype;

namespace {

bool sameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

std::optional<std::uint32_t> parseNumber(std::string_view text) {
  bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  std::uint64_t v = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, base);
  if (text.empty() || ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  if (negative ? v > 0x80000000ull : v > 0xFFFFFFFFull) return std::nullopt;
  return static_cast<std::uint32_t>(negative ? 0 - v : v);
}

std::optional<std::vector<std::uint8_t>> parseBytes(std::string_view text) {
  std::string digits;
  for (char c : text) {
    if (c == ',' || c == ' ') continue;
    if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
    digits += c;
  }
  // With commas every byte may have one or two digits; without, digits go in pairs.
  std::vector<std::uint8_t> bytes;
  if (text.find(',') != std::string_view::npos) {
    std::size_t start = 0;
    while (start <= text.size()) {
      std::size_t end = text.find(',', start);
      if (end == std::string_view::npos) end = text.size();
      std::string_view item = text.substr(start, end - start);
      while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
      while (!item.empty() && item.back() == ' ') item.remove_suffix(1);
      unsigned v = 0;
      auto [p, ec] = std::from_chars(item.data(), item.data() + item.size(), v, 16);
      if (item.empty() || item.size() > 2 || ec != std::errc{} || p != item.data() + item.size()) return std::nullopt;
      bytes.push_back(static_cast<std::uint8_t>(v));
      start = end + 1;
    }
    return bytes;
  }
  if (digits.size() % 2 != 0) return std::nullopt;
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    unsigned v = 0;
    std::from_chars(digits.data() + i, digits.data() + i + 2, v, 16);
    bytes.push_back(static_cast<std::uint8_t>(v));
  }
  return bytes;
}

}  // namespace

ParsedValue parseValueArgument(std::string_view type, std::string_view data) {
  if (sameNoCase(type, "REG_SZ")) return {RegistryValue::text(data), {}};
  if (sameNoCase(type, "REG_EXPAND_SZ")) {
    RegistryValue v{regtype::ExpandSz, {data.begin(), data.end()}};
    v.data.push_back(0);
    return {v, {}};
  }
  if (sameNoCase(type, "REG_DWORD")) {
    auto n = parseNumber(data);
    if (!n) return {std::nullopt, "REG_DWORD data must be a number such as 31, -3 or 0x1f, not '" + std::string(data) + "'"};
    return {RegistryValue::dword(*n), {}};
  }
  if (sameNoCase(type, "REG_BINARY") || sameNoCase(type, "REG_NONE")) {
    auto bytes = parseBytes(data);
    if (!bytes) return {std::nullopt, "binary data must be hexadecimal bytes such as 10,00 or 1000, not '" + std::string(data) + "'"};
    RegistryValue v = RegistryValue::binary(std::move(*bytes));
    if (sameNoCase(type, "REG_NONE")) v.type = regtype::None;
    return {v, {}};
  }
  return {std::nullopt, "unknown type '" + std::string(type) + "' (REG_SZ, REG_EXPAND_SZ, REG_DWORD, REG_BINARY, REG_NONE)"};
}

std::string typeName(std::uint32_t type) {
  switch (type) {
    case regtype::None: return "REG_NONE";
    case regtype::Sz: return "REG_SZ";
    case regtype::ExpandSz: return "REG_EXPAND_SZ";
    case regtype::Binary: return "REG_BINARY";
    case regtype::Dword: return "REG_DWORD";
    case 7: return "REG_MULTI_SZ";
    default: {
      char buffer[32];
      std::snprintf(buffer, sizeof buffer, "REG_TYPE(0x%x)", type);
      return buffer;
    }
  }
}

std::string dataText(const RegistryValue& value) {
  const auto& d = value.data;
  if (value.type == regtype::Sz || value.type == regtype::ExpandSz) {
    std::string text(d.begin(), d.end());
    if (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
  }
  char buffer[16];
  if (value.type == regtype::Dword && d.size() == 4) {
    std::uint32_t v = d[0] | d[1] << 8 | d[2] << 16 | static_cast<std::uint32_t>(d[3]) << 24;
    std::snprintf(buffer, sizeof buffer, "0x%x", v);
    return buffer;
  }
  std::string out;
  for (std::uint8_t b : d) {
    std::snprintf(buffer, sizeof buffer, "%02X", b);
    out += buffer;
  }
  return out;
}

}  // namespace qv::tools
