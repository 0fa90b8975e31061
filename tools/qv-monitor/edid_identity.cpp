#include "edid_identity.h"

#include <algorithm>

namespace qv::tools {

namespace {

constexpr std::uint8_t kHeader[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
constexpr std::size_t kDescriptors = 0x36;  // four of 18 bytes
constexpr std::uint8_t kProductName = 0xFC;
constexpr std::uint8_t kSerialText = 0xFF;

// A descriptor's text: 13 bytes, ended by a line feed, blanks trimmed; a byte that is no
// printable character stands as '-'.
std::string descriptorText(std::span<const std::uint8_t> text) {
  std::string s;
  for (const std::uint8_t c : text.first(13)) {
    if (c == '\n' || c == '\r') break;
    s += (c < 0x20 || c > 0x7E) ? '-' : static_cast<char>(c);
  }
  const auto first = s.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

}  // namespace

EdidIdentity edidIdentity(std::span<const std::uint8_t> edid) {
  EdidIdentity id;
  if (edid.size() < 128 || !std::equal(std::begin(kHeader), std::end(kHeader), edid.begin())) return id;
  // Three letters of five bits each, 1 for 'A'.
  const unsigned code = static_cast<unsigned>(edid[8]) << 8 | edid[9];
  for (const int shift : {10, 5, 0}) {
    const unsigned letter = (code >> shift) & 0x1F;
    id.maker += (letter >= 1 && letter <= 26) ? static_cast<char>('A' + letter - 1) : '?';
  }
  const std::uint32_t number = static_cast<std::uint32_t>(edid[12]) | static_cast<std::uint32_t>(edid[13]) << 8 |
                               static_cast<std::uint32_t>(edid[14]) << 16 | static_cast<std::uint32_t>(edid[15]) << 24;
  id.productCode = static_cast<std::uint16_t>(edid[10] | edid[11] << 8);
  id.serialNumber = number;
  if (number != 0) id.serial = std::to_string(number);
  for (std::size_t at = kDescriptors; at + 18 <= 128; at += 18) {
    const auto d = edid.subspan(at, 18);
    if (d[0] != 0 || d[1] != 0 || d[2] != 0) continue;  // a timing, not a descriptor
    if (d[3] == kProductName) id.model = descriptorText(d.subspan(5));
    if (d[3] == kSerialText) {
      id.serial = descriptorText(d.subspan(5));
      id.serialFromDescriptor = true;
    }
  }
  return id;
}

}  // namespace qv::tools
