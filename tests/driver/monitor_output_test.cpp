// What the pointer device tells the desktops about its monitor: the resolution from the
// monitor's size, the udev properties file, and the device made anew only when the stored
// monitor asks for another setup.
#include "monitor_output.h"
#include "recording_output.h"
#include "touch_road.h"

#include "support/private_root.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <sstream>

namespace qv::driverd {
namespace {

using settings::CalibratedMonitor;

TEST(MonitorOutput, SizeTurnsWithTheTouchesAndOnlyAPlainConnectorIsWritten) {
  const struct {
    CalibratedMonitor monitor;
    bool rotated;
    int resolutionX, resolutionY;
    const char* properties;
  } cases[] = {
      {{"DP-1", "", "", "", 300, 200, {90, false}}, false, 218, 328,
       "WL_OUTPUT=DP-1\nLIBINPUT_CALIBRATION_MATRIX=1 0 0 0 1 0\n"},
      {{"DP-1", "", "", "", 300, 200, {90, false}}, true, 328, 218,
       "WL_OUTPUT=DP-1\nLIBINPUT_CALIBRATION_MATRIX=1 0 0 0 1 0\n"},
      {{"", "", "", "", 0, 0, {}}, false, kDefaultResolution, kDefaultResolution,
       "LIBINPUT_CALIBRATION_MATRIX=1 0 0 0 1 0\n"},
      {{"DP-1\nLIBINPUT_CALIBRATION_MATRIX=0", "", "", "", 100000, 1, {}}, false, 1, 65535,
       "LIBINPUT_CALIBRATION_MATRIX=1 0 0 0 1 0\n"},
  };
  for (const auto& c : cases) {
    const OutputSetup s = outputSetup(c.monitor, c.rotated);
    EXPECT_EQ(s.resolutionX, c.resolutionX) << c.monitor.connector;
    EXPECT_EQ(s.resolutionY, c.resolutionY) << c.monitor.connector;
    EXPECT_EQ(s.udevProperties, c.properties) << c.monitor.connector;
  }
}

TEST(MonitorOutput, ANewMonitorRewritesTheFileAndRemakesTheDeviceOnce) {
  test::PrivateRoot root;
  CalibratedMonitor stored{"HDMI-A-1", "", "", "", 520, 290, {}};
  auto output = std::make_unique<RecordingOutput>();
  RecordingOutput& recorded = *output;
  DriverIo io;
  io.output = std::move(output);
  io.readMonitor = [&] { return stored; };
  io.udevPropertiesFile = root.path() / kUdevPropertiesFile;
  DriverModel model;
  DriverLog log;
  TouchRoad road(std::move(io), model, log, false);

  road.followMonitor();
  road.followMonitor();  // the same monitor: nothing to do
  stored.connector = "DP-2";
  road.followMonitor();
  EXPECT_EQ(recorded.remade, (std::vector<std::pair<int, int>>{{126, 226}, {126, 226}}));
  std::ifstream file(root.path() / kUdevPropertiesFile);
  std::stringstream text;
  text << file.rdbuf();
  EXPECT_EQ(text.str(), "WL_OUTPUT=DP-2\nLIBINPUT_CALIBRATION_MATRIX=1 0 0 0 1 0\n");
  struct stat st{};
  ASSERT_EQ(::stat((root.path() / kUdevPropertiesFile).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);  // udev reads it
}

}  // namespace
}  // namespace qv::driverd
