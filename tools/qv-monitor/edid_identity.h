#pragma once
// A monitor's identity from its EDID block, in the forms the panel's toolkit gives them:
// the maker's three-letter code, the model from the product name descriptor, the serial
// number from its descriptor or else the block's serial number in decimal. The numbers
// themselves are kept too, for desktops that name a monitor without a descriptor by them.
#include <cstdint>
#include <span>
#include <string>

namespace qv::tools {

struct EdidIdentity {
  std::string maker;
  std::string model;
  std::string serial;
  std::uint16_t productCode = 0;
  std::uint32_t serialNumber = 0;
  bool serialFromDescriptor = false;  // serial is the descriptor's text, not serialNumber
};

// Empty for a block shorter than 128 bytes or without the EDID header.
EdidIdentity edidIdentity(std::span<const std::uint8_t> edid);

}  // namespace qv::tools
