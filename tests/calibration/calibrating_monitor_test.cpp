// The monitor the touch screen is mapped to while the calibration screen is shown.
#include "calibration/calibrating_monitor.h"

#include <gtest/gtest.h>

namespace qv::calibration {
namespace {

TEST(CalibratingMonitor, TheCoveredMonitorWinsWhileTheScreenIsShown) {
  const settings::CalibratedMonitor stored{"DP-1", "QVM", "Touch 15", "A1", 304, 228, {90, false}};
  const settings::CalibratedMonitor coveredHdmi{"HDMI-A-1", "", "", "", 0, 0, {}};
  const struct {
    settings::CalibratedMonitor stored;
    std::optional<std::string> calibrating;
    settings::CalibratedMonitor mapped;
  } cases[] = {
      {stored, std::nullopt, stored},        // no calibration: the stored monitor
      {stored, "HDMI-A-1", coveredHdmi},     // another monitor than the stored one
      {{}, "HDMI-A-1", coveredHdmi},         // never calibrated
      {{}, std::nullopt, {}},                // nothing to map to
  };
  for (const auto& c : cases) EXPECT_EQ(monitorToMap(c.stored, c.calibrating), c.mapped) << &c - cases;
}

}  // namespace
}  // namespace qv::calibration
