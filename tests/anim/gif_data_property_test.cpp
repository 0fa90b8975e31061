#include "anim/gif_data_property.h"

#include <gtest/gtest.h>

namespace qv::anim {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(DataProperty, CountIsLittleEndianAndRoundTrips) {
  Bytes gif(300);
  for (std::size_t i = 0; i < gif.size(); ++i) gif[i] = static_cast<std::uint8_t>(i * 7);
  const Bytes stored = encodeDataProperty(gif);
  ASSERT_EQ(stored.size(), 304u);
  EXPECT_EQ(stored[0], 0x2C);
  EXPECT_EQ(stored[1], 0x01);
  EXPECT_EQ(stored[2], 0x00);
  EXPECT_EQ(stored[3], 0x00);
  EXPECT_EQ(decodeDataProperty(stored), gif);
}

TEST(DataProperty, ZeroOrNegativeCountsReadNothingMore) {
  EXPECT_EQ(decodeDataProperty(Bytes{0, 0, 0, 0, 'G', 'I', 'F'}), Bytes{});
  EXPECT_EQ(decodeDataProperty(Bytes{0xFF, 0xFF, 0xFF, 0xFF, 'G'}), Bytes{});
}

TEST(DataProperty, ACountBeyondTheStoredBytesIsRejected) {
  EXPECT_EQ(decodeDataProperty(Bytes{5, 0, 0, 0, 'G', 'I', 'F'}), std::nullopt);
  EXPECT_EQ(decodeDataProperty(Bytes{1, 0}), std::nullopt);
  // Extra bytes after the counted ones belong to whatever follows in the store.
  EXPECT_EQ(decodeDataProperty(Bytes{2, 0, 0, 0, 'G', 'I', 'F'}), (Bytes{'G', 'I'}));
}

}  // namespace
}  // namespace qv::anim
