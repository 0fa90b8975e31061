#include "anim/dest_rect.h"

#include <gtest/gtest.h>

namespace qv::anim {
namespace {

constexpr Size kPicture{78, 52};

TEST(DestinationRect, RatioKeepsTheAspectAndCentresWithRoundedEdges) {
  const Layout ratio{.stretchRatio = true};
  EXPECT_EQ(destinationRect(ratio, {100, 100}, kPicture), (Rect{0, 17, 100, 83}));
  // Wider than the picture's aspect: centred horizontally over the full height.
  EXPECT_EQ(destinationRect(ratio, {200, 52}, kPicture), (Rect{61, 0, 139, 52}));
  // 5 x 10 picture in 10 x 10: m = 2.5 rounds to 2 (even), 7.5 to 8.
  EXPECT_EQ(destinationRect(ratio, {10, 10}, {5, 10}), (Rect{2, 0, 8, 10}));
}

TEST(DestinationRect, StretchWinsOverRatioAndTileFillsTheClient) {
  EXPECT_EQ(destinationRect({.stretch = true, .stretchRatio = true}, {80, 60}, kPicture),
            (Rect{0, 0, 80, 60}));
  EXPECT_EQ(destinationRect({.tile = true}, {200, 100}, kPicture), (Rect{0, 0, 200, 100}));
  // Same size: no stretch, so Center decides.
  EXPECT_EQ(destinationRect({.stretch = true, .center = true}, {78, 52}, kPicture),
            (Rect{0, 0, 78, 52}));
}

TEST(DestinationRect, CenterTruncatesTowardZeroAlsoWhenTheControlIsSmaller) {
  EXPECT_EQ(destinationRect({.center = true}, {81, 61}, kPicture), (Rect{1, 4, 79, 56}));
  EXPECT_EQ(destinationRect({.center = true}, {75, 50}, kPicture), (Rect{-1, -1, 77, 51}));
  EXPECT_EQ(destinationRect({}, {200, 200}, kPicture), (Rect{0, 0, 78, 52}));
}

TEST(DestinationRect, DegeneratePicturesFallBackToTheClient) {
  EXPECT_EQ(destinationRect({.stretchRatio = true}, {100, 100}, {0, 0}), (Rect{0, 0, 100, 100}));
  EXPECT_EQ(paintRects({.tile = true}, {100, 100}, {0, 10}).size(), 1u);
}

TEST(PaintRects, TilesCoverTheControlWithTheLastOnesCut) {
  const auto tiles = paintRects({.tile = true}, {200, 52}, kPicture);
  ASSERT_EQ(tiles.size(), 6u);  // columns 0..2, rows 0..1 (the second starts at the edge)
  EXPECT_EQ(tiles[2], (Rect{156, 0, 234, 52}));
  EXPECT_EQ(tiles[3], (Rect{0, 52, 78, 104}));
  // Stretching takes precedence over tiling.
  EXPECT_EQ(paintRects({.stretch = true, .tile = true}, {200, 52}, kPicture),
            (std::vector<Rect>{{0, 0, 200, 52}}));
}

TEST(PaintRects, OpaqueOnlyWhenTheRectangleCoversTheClient) {
  EXPECT_TRUE(coversClient({0, 0, 80, 60}, {80, 60}));
  EXPECT_FALSE(coversClient({0, 17, 100, 83}, {100, 100}));
  EXPECT_TRUE(coversClient({-1, -1, 77, 51}, {75, 50}));
}

}  // namespace
}  // namespace qv::anim
