// Finding the calibrated monitor among the desktop's, and the matrix that puts touches on
// it: side by side, turned, reordered, on another port, and gone.
#include "calibration/monitor_matching.h"
#include "calibration/monitor_matrix.h"

#include <gtest/gtest.h>

namespace qv::calibration {
namespace {

TEST(MonitorMapping, EdidIdentityFirstThenTheConnectorWhereEitherHasNone) {
  const settings::CalibratedMonitor touch{"DP-1", "QVM", "Touch 15", "A1", 304, 228, {}};
  const DesktopMonitor office{"DP-1", "OTH", "Office 24", "B7"};
  const DesktopMonitor touchOnHdmi{"HDMI-A-1", "QVM", "Touch 15", "A1"};
  const DesktopMonitor noEdidOnDp1{"DP-1", "", "", ""};
  const DesktopMonitor twin{"DP-3", "QVM", "Touch 15", "A1"};
  const struct {
    settings::CalibratedMonitor stored;
    std::vector<DesktopMonitor> monitors;
    std::optional<std::size_t> found;
  } cases[] = {
      {touch, {office, touchOnHdmi}, 1},              // moved to another port; DP-1 is another monitor now
      {touch, {office}, std::nullopt},                // not there
      {touch, {twin, noEdidOnDp1}, 0},                // identity before a connector
      {touch, {noEdidOnDp1}, 0},                      // the display server gives no EDID
      {{"DP-1", "", "", "", 0, 0, {}}, {touchOnHdmi, office}, 1},  // stored without EDID
      {{"DP-1", "QVM", "", "", 0, 0, {}}, {touchOnHdmi}, std::nullopt},  // a maker alone is no identity
      {{"DP-3", "QVM", "Touch 15", "A1", 0, 0, {}}, {touchOnHdmi, twin}, 1},  // twins: its connector
      // texts stored with a toolkit's mark for the line feed that ended them
      {{"DP-1", "QVM", "Touch 15-", "A1-", 0, 0, {}}, {office, touchOnHdmi}, 1},
  };
  for (const auto& c : cases) EXPECT_EQ(findCalibratedMonitor(c.stored, c.monitors), c.found) << &c - cases;
}

TEST(MonitorMapping, MatrixScalesTurnsAndMovesOntoTheMonitor) {
  using M = std::array<float, 9>;
  const struct {
    DesktopMonitor monitor;
    int rootWidth, rootHeight;
    M matrix;
  } cases[] = {
      {{"", "", "", "", 0, 0, 1024, 768, 0}, 1024, 768, {1, 0, 0, 0, 1, 0, 0, 0, 1}},
      {{"", "", "", "", 1024, 0, 1024, 768, 0}, 2048, 768, {0.5f, 0, 0.5f, 0, 1, 0, 0, 0, 1}},
      {{"", "", "", "", 1024, 0, 768, 1024, 90}, 1792, 1024, {0, -768.f / 1792, 1, 1, 0, 0, 0, 0, 1}},
      {{"", "", "", "", 0, 256, 1024, 768, 180}, 1792, 1024, {-1024.f / 1792, 0, 1024.f / 1792, 0, -0.75f, 1, 0, 0, 1}},
      {{"", "", "", "", 0, 0, 768, 1024, 270}, 768, 1024, {0, 1, 0, -1, 0, 1, 0, 0, 1}},
      {{}, 0, 0, {1, 0, 0, 0, 1, 0, 0, 0, 1}},
  };
  for (const auto& c : cases) {
    const M m = coordinateTransformationMatrix(c.monitor, c.rootWidth, c.rootHeight);
    for (std::size_t i = 0; i < 9; ++i) EXPECT_NEAR(m[i], c.matrix[i], 1e-6) << &c - cases << " [" << i << "]";
  }
}

}  // namespace
}  // namespace qv::calibration
