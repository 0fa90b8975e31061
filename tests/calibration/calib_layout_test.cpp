// Where the calibration screen places its controls, with one integer division at a time.
#include "calibration/calib_layout.h"

#include <gtest/gtest.h>

namespace qv::calibration {
namespace {

TEST(CalibLayout, MaximisedAt808x608) {
  const Size label{61, 27};
  const Place pictures[4] = {{367, 32}, {704, 272}, {377, 504}, {32, 272}};
  const Place dots[4] = {{402, 1}, {795, 299}, {402, 595}, {1, 299}};
  for (int i = 0; i < 4; ++i) {
    const CalibLayout l = layOutTarget(i, {808, 608}, kHandSize, label, kCancelSize);
    EXPECT_TRUE(l.targetShown);
    EXPECT_EQ(l.picture, i);
    EXPECT_EQ(l.picturePlace, pictures[i]) << i;
    EXPECT_EQ(l.dotPlace, dots[i]) << i;
    EXPECT_EQ(l.labelPlace, (Place{374, 250})) << i;
    EXPECT_EQ(l.cancelPlace, (Place{323, 313})) << i;
  }
  EXPECT_EQ(edgeName(0), "TOP");
  EXPECT_EQ(edgeName(2), "BOTTOM");
}

TEST(CalibLayout, HalvesAreTakenSeparatelyAndTruncateTowardZero) {
  // W / 2 - lw / 2 = 512 - 30, one more than (W - lw) / 2.
  CalibLayout l = layOutTarget(0, {1024, 768}, kHandSize, {61, 27}, kCancelSize);
  EXPECT_EQ(l.labelPlace, (Place{482, 330}));
  EXPECT_EQ(l.picturePlace, (Place{475, 32}));
  EXPECT_EQ(l.cancelPlace, (Place{431, 393}));

  // A window smaller than Cancel: (100 - 161) / 2 is -30, not -31.
  l = layOutTarget(1, {100, 50}, kHandSize, {0, 0}, kCancelSize);
  EXPECT_EQ(l.cancelPlace, (Place{-30, -19}));
  EXPECT_EQ(l.dotPlace, (Place{87, 20}));
  EXPECT_EQ(l.picturePlace, (Place{-4, -7}));
}

TEST(CalibLayout, NoTargetPastTheFourth) {
  const CalibLayout l = layOutTarget(4, {808, 608}, kHandSize, {0, 0}, kCancelSize);
  EXPECT_FALSE(l.targetShown);
  EXPECT_EQ(l.picture, -1);
  EXPECT_TRUE(edgeName(4).empty());
}

TEST(CalibLayout, CoversTheWholeMonitorWhereverItSits) {
  // A second monitor right of a 1280-wide one, a 30-pixel bar along its bottom.
  const platform::Monitor monitor{{1280, 200, 808, 608}, {1280, 200, 808, 578}};
  const platform::ScreenRect area = platform::fullScreenArea(monitor);
  EXPECT_EQ(area, monitor.area);
  // The dots at 808 x 608, moved onto that monitor: the bottom one under the bar's top.
  const Place centres[4] = {{1280 + 404, 200 + 3}, {1280 + 797, 200 + 301}, {1280 + 404, 200 + 597},
                            {1280 + 3, 200 + 301}};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(dotCentreOnDesktop(i, area), centres[i]) << i;
}

}  // namespace
}  // namespace qv::calibration
