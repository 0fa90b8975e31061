// What the panel says about the touch screen's monitor, and where the calibration screen opens.
#include "calibration/touch_monitor.h"

#include <gtest/gtest.h>

namespace qv::calibration {
namespace {

TEST(TouchMonitor, TextNamesOnlyWhatIsKnown) {
  const struct {
    settings::CalibratedMonitor stored;
    const char* text;
  } cases[] = {
      {{"DP-1", "QVM", "Touch 15", "A1", 304, 228, {90, false}}, "Touch screen on DP-1 (QVM Touch 15), turned 90\u00B0"},
      {{"HDMI-A-1", "", "", "", 0, 0, {0, true}}, "Touch screen on HDMI-A-1"},
      {{"DP-2", "", "Touch 15", "", 0, 0, {270, false}}, "Touch screen on DP-2 (Touch 15), turned 270\u00B0"},
      {{}, "Touch screen on the whole desktop"},
  };
  for (const auto& c : cases) EXPECT_EQ(touchMonitorText(c.stored), c.text) << &c - cases;
}

TEST(TouchMonitor, CalibrationScreenOpensOnTheStoredMonitorWhereConnected) {
  const std::vector<DesktopMonitor> desktop{{"DP-1", "OTH", "Office 24", "B7"}, {"HDMI-A-1", "QVM", "Touch 15", "A1"}};
  const settings::CalibratedMonitor touchOnDp3{"DP-3", "QVM", "Touch 15", "A1", 0, 0, {}};
  const settings::CalibratedMonitor gone{"DP-2", "QVM", "Touch 22", "C3", 0, 0, {}};
  EXPECT_EQ(calibrationScreenMonitor(touchOnDp3, desktop, 0), 1u);  // its EDID, on another port
  EXPECT_EQ(calibrationScreenMonitor(gone, desktop, 1), 1u);        // not connected: the panel's
  EXPECT_EQ(calibrationScreenMonitor({}, desktop, 0), 0u);          // never calibrated on one
}

}  // namespace
}  // namespace qv::calibration
