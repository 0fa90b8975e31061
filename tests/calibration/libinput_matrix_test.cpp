// The libinput matrix that turns touches with the monitor's rotation: where each corner of
// the monitor unturned lands on the picture as it stands.
#include "calibration/libinput_matrix.h"

#include <gtest/gtest.h>

namespace qv::calibration {
namespace {

TEST(LibinputMatrix, EachRotationCarriesTheCornersAround) {
  // Top-left, top-right, bottom-right, bottom-left. A picture turned counter-clockwise by
  // 90 is seen on a monitor turned clockwise: its unturned top-left corner is top-right.
  const float corners[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  const struct {
    int rotation;
    int steps;  // corners moved on
  } cases[] = {{0, 0}, {90, 1}, {180, 2}, {270, 3}, {-90, 3}, {450, 1}, {45, 0}};
  for (const auto& c : cases) {
    const auto m = libinputRotationMatrix(c.rotation);
    for (int i = 0; i < 4; ++i) {
      const float u = corners[i][0], v = corners[i][1];
      const auto& want = corners[(i + c.steps) % 4];
      EXPECT_NEAR(m[0] * u + m[1] * v + m[2], want[0], 1e-6) << c.rotation << " corner " << i;
      EXPECT_NEAR(m[3] * u + m[4] * v + m[5], want[1], 1e-6) << c.rotation << " corner " << i;
    }
  }
}

}  // namespace
}  // namespace qv::calibration
