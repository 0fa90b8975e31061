// The monitor the touch screen is mapped to while the calibration screen is shown.
#include "calibration/calibrating_monitor.h"

#include "support/private_root.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <unistd.h>

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

// A panel killed while its screen was shown leaves the file behind; the monitor it names
// must not keep the touch screen after that panel is gone.
TEST(CalibratingMonitor, AFileLeftByAPanelNoLongerRunningNamesNone) {
  const test::PrivateRoot root;
  const auto write = [](const std::string& text) { std::ofstream(calibratingMonitorFile()) << text; };
  write("DP-2\n" + std::to_string(::getpid()) + "\n");
  EXPECT_EQ(calibratingMonitor(), "DP-2");
  write("DP-2\n4194305\n");  // above the kernel's largest process id
  EXPECT_EQ(calibratingMonitor(), std::nullopt);
  write("DP-2\n");  // written without its panel: taken as it is
  EXPECT_EQ(calibratingMonitor(), "DP-2");
}

}  // namespace
}  // namespace qv::calibration
