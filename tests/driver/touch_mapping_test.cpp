// Where a touch lands on the pointer device: limits, reversed and equal limits, the
// cursor offset and the edges.
#include "touch_mapping.h"

#include <gtest/gtest.h>

namespace qv::driverd {
namespace {

using driver::CalibrationRecord;
using driver::CursorOffsetRecord;
using P = PointerPosition;

TEST(TouchMapping, LimitsOffsetAndEdgesPlaceEachTouch) {
  const CalibrationRecord limits{0x10, 0xF0, 0x20, 0xE0};
  const CursorOffsetRecord none{};
  auto at = [&](double x, double y, const CalibrationRecord& l = {0x10, 0xF0, 0x20, 0xE0},
                const CursorOffsetRecord& o = {}) { return mapTouch({true, x, y}, l, false, o); };

  // A limit stands for the middle of its unit: 16 is 16.5, and a reading below it is the edge.
  EXPECT_EQ(at(16.5, 32.5), (P{0, 0}));
  EXPECT_EQ(at(16, 32), (P{0, 0}));
  EXPECT_EQ(at(240.5, 224.5), (P{65535, 65535}));
  EXPECT_EQ(at(240, 224), (P{65389, 65364}));
  EXPECT_EQ(at(129, 128.5), (P{32914, 32768}));  // the fraction counts; halves round up
  EXPECT_EQ(at(0, 255), (P{0, 65535}));          // beyond the limits: the edge
  EXPECT_EQ(at(16, 32, {0xF0, 0x10, 0xE0, 0x20}), (P{65535, 65535}));  // reversed limits flip
  EXPECT_EQ(at(64, 128.5, {0x80, 0x80, 0x20, 0xE0}), (P{16384, 32768}));  // equal: all readings

  // The offset moves the touch in pointer units while enabled, then the edge holds.
  EXPECT_EQ(at(128.5, 128.5, limits, {true, true, 1000, false, 500}), (P{31768, 33268}));
  EXPECT_EQ(at(128.5, 128.5, limits, {false, true, 1000, false, 500}), (P{32768, 32768}));
  EXPECT_EQ(at(128.5, 128.5, limits, {true, false, 0xFFFFFFFF, true, 0xFFFFFFFF}), (P{65535, 0}));
  // Calibration mode maps over all readings whatever the limits.
  EXPECT_EQ(mapTouch({true, 64, 192}, limits, true, none), (P{16384, 49151}));
}

}  // namespace
}  // namespace qv::driverd
