// A monitor's identity from its EDID block: the maker's code, the product name and serial
// descriptors, the numeric serial where there is no descriptor, and blocks that are none.
#include "edid_identity.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace qv::tools {
namespace {

TEST(EdidIdentity, DescriptorsNumbersAndBlocksThatAreNoEdid) {
  std::vector<std::uint8_t> edid(128, 0);
  const std::uint8_t header[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
  std::memcpy(edid.data(), header, 8);
  edid[8] = 0x46;  // "QVM": 10001 10110 01101
  edid[9] = 0xCD;
  edid[12] = 0x39;  // serial number 12345
  edid[13] = 0x30;
  const std::uint8_t name[] = {0, 0, 0, 0xFC, 0, 'T', 'o', 'u', 'c', 'h', ' ', '1', '5', '\n', ' ', ' ', ' ', ' '};
  std::memcpy(&edid[0x48], name, sizeof name);
  const EdidIdentity numeric = edidIdentity(edid);
  EXPECT_EQ(numeric.maker, "QVM");
  EXPECT_EQ(numeric.model, "Touch 15");
  EXPECT_EQ(numeric.serial, "12345");
  EXPECT_FALSE(numeric.serialFromDescriptor);

  const std::uint8_t serial[] = {0, 0, 0, 0xFF, 0, ' ', 'A', '1', '\x07', '\n', 0, 0, 0, 0, 0, 0, 0, 0};
  std::memcpy(&edid[0x5A], serial, sizeof serial);
  EXPECT_EQ(edidIdentity(edid).serial, "A1-");  // the descriptor wins; an unprintable byte is '-'
  EXPECT_EQ(edidIdentity(edid).serialNumber, 12345u);

  EXPECT_EQ(edidIdentity(std::span(edid).first(127)).maker, "");
  edid[1] = 0;
  EXPECT_EQ(edidIdentity(edid).model, "");
}

}  // namespace
}  // namespace qv::tools
