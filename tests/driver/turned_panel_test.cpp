// A calibration on a turned monitor, or of a panel mounted turned, and the driver's
// mapping with what it stored: the limits come out in the monitor's unturned orientation
// whatever the rotation, and touches land where they were made, turned by the driver or
// left unturned for the display server to turn.
#include "calibration/panel_rotation.h"
#include "touch_mapping.h"

#include <gtest/gtest.h>

#include <cmath>

namespace qv::driverd {
namespace {

struct Spot {
  double x, y;  // fractions of the width and height
};

// A panel whose controller reads X 16..240 along the monitor's unturned width and Y 24..232
// along its height, or the other way round when mounted turned.
TouchSample panelReading(Spot unturned, bool swapped) {
  const Spot along = swapped ? Spot{unturned.y, unturned.x} : unturned;
  return {true, 16 + 224 * along.x, 24 + 208 * along.y};
}

// Where a spot on the picture turned by rotation (counter-clockwise) is on the monitor unturned.
Spot unturnedSpot(Spot s, int rotation) {
  switch (rotation) {
    case 90: return {s.y, 1 - s.x};
    case 180: return {1 - s.x, 1 - s.y};
    case 270: return {1 - s.y, s.x};
    default: return s;
  }
}

driver::RawPoint rawPoint(const TouchSample& s) {
  driver::RawPoint p;
  p.bytes[1] = static_cast<std::uint8_t>(s.x);
  p.bytes[3] = static_cast<std::uint8_t>(s.y);
  return p;
}

TEST(TurnedPanel, EachRotationAndMountingCalibratesToTheSameLimitsAndMapsTouchesBack) {
  const std::array<Spot, 4> targets{{{0.5, 0}, {1, 0.5}, {0.5, 1}, {0, 0.5}}};  // top, right, bottom, left
  const std::array<Spot, 3> touches{{{0.2, 0.7}, {0.9, 0.1}, {0.5, 0.5}}};
  constexpr double kNear = 0.025 * kPointerMax;  // the limits sit 3 units inside the edges
  for (const int rotation : {0, 90, 180, 270}) {
    for (const bool swapped : {false, true}) {
      SCOPED_TRACE(testing::Message() << "rotation " << rotation << (swapped ? ", mounted turned" : ""));
      std::array<driver::RawPoint, 4> readings{};
      for (std::size_t t = 0; t < 4; ++t) readings[t] = rawPoint(panelReading(unturnedSpot(targets[t], rotation), swapped));
      const calibration::PanelCalibration c = calibration::panelCalibration(readings, rotation);
      EXPECT_EQ(c.swapXY, swapped);
      EXPECT_EQ(c.limits, (std::array<std::int32_t, 4>{19, 237, 27, 229}));

      const driver::CalibrationRecord limits{static_cast<std::uint8_t>(c.limits[0]), static_cast<std::uint8_t>(c.limits[1]),
                                             static_cast<std::uint8_t>(c.limits[2]), static_cast<std::uint8_t>(c.limits[3])};
      for (const bool rotate : {true, false}) {
        const MappingOrientation orientation{{rotation, c.swapXY}, rotate};
        for (const Spot touch : touches) {
          const Spot unturned = unturnedSpot(touch, rotation);
          const PointerPosition at = mapTouch(panelReading(unturned, swapped), limits, false, {}, orientation);
          const Spot expected = rotate ? touch : unturned;
          EXPECT_NEAR(at.x, expected.x * kPointerMax, kNear) << touch.x << "," << touch.y << (rotate ? " turned" : "");
          EXPECT_NEAR(at.y, expected.y * kPointerMax, kNear) << touch.x << "," << touch.y << (rotate ? " turned" : "");
        }
      }
    }
  }
}

}  // namespace
}  // namespace qv::driverd
