#pragma once
// A monitor's identity from its EDID block, in the forms the panel's toolkit gives them:
// the maker's three-letter code, the model from the product name descriptor, the serial
// number from its descriptor or else the block's serial number in decimal.
#include <cstdint>
#include <span>
#include <string>

namespace qv::tools {

struct EdidIdentity {
  std::string maker;
  std::string model;
  std::string serial;
};

// Empty for a block shorter than 128 bytes or without the EDID header.
EdidIdentity edidIdentity(std::span<const std::uint8_t> edid);

}  // namespace qv::tools
