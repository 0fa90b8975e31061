// The touch screen's monitor on Wayland and GNOME: the monitors read from the kernel's
// connectors, the desktop chosen from the session, GNOME's setting text, the line for other
// desktops, and the mapping's course through a calibration.
#include "desktop_touch_mapping.h"
#include "drm_connectors.h"
#include "gnome_touch_output.h"
#include "kernel_uevents.h"
#include "touch_desktop.h"

#include "calibration/calibrating_monitor.h"
#include "support/private_root.h"

#include <gtest/gtest.h>

#include <fstream>

namespace qv::tools {
namespace {

namespace fs = std::filesystem;

// A base block by "QVM" with product code 0x1234, serial number 12345 and, where given, a
// product name descriptor.
std::string edidBlock(const std::string& name) {
  std::string e(128, '\0');
  e.replace(0, 8, "\x00\xFF\xFF\xFF\xFF\xFF\xFF\x00", 8);
  e.replace(8, 8, "\x46\xCD\x34\x12\x39\x30\x00\x00", 8);
  if (!name.empty()) e.replace(0x48, 5 + name.size() + 1, std::string("\0\0\0\xFC\0", 5) + name + "\n");
  return e;
}

void addConnector(const fs::path& dir, const std::string& entry, const std::string& status, const std::string& edid) {
  fs::create_directories(dir / entry);
  std::ofstream(dir / entry / "status") << status << "\n";
  std::ofstream(dir / entry / "edid", std::ios::binary) << edid;
}

class DesktopTouch : public ::testing::Test {
protected:
  DesktopTouch() {
    addConnector(drm, "card0-DP-1", "connected", edidBlock("Touch 15"));
    addConnector(drm, "card1-HDMI-A-1", "connected", "");
    addConnector(drm, "card0-DP-2", "disconnected", edidBlock("Other"));
    fs::create_directories(drm / "card0");
  }
  void storeMonitor(const std::string& connector, const std::string& model) {
    root.writeRegistry("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n\"Cfg_Monitor\"=\"" + connector +
                       "\"\n\"Cfg_MonitorModel\"=\"" + model + "\"\n");
  }
  void calibrateOn(const std::string& connector) {
    fs::create_directories(calibration::calibratingMonitorFile().parent_path());
    if (connector.empty()) fs::remove(calibration::calibratingMonitorFile());
    else std::ofstream(calibration::calibratingMonitorFile()) << connector << "\n";
  }

  test::PrivateRoot root;
  fs::path drm = root.path() / "drm";
};

TEST_F(DesktopTouch, ConnectedMonitorsAreFoundByIdentityThenConnector) {
  const auto monitors = connectedMonitors(drm);
  ASSERT_EQ(monitors.size(), 2u);
  EXPECT_EQ(monitorText(monitors[0]), "DP-1 (QVM Touch 15)");
  EXPECT_EQ(monitorText(monitors[1]), "HDMI-A-1");  // no EDID
  // A display server that gave a model but no serial number, on another port since.
  EXPECT_EQ(findConnectedMonitor({"DP-7", "", "Touch 15", "", 0, 0, {}}, monitors), 0u);
  EXPECT_EQ(findConnectedMonitor({"HDMI-A-1", "", "", "", 0, 0, {}}, monitors), 1u);
  EXPECT_EQ(findConnectedMonitor({"HDMI-1", "", "", "", 0, 0, {}}, monitors), 1u);  // as an X server names it
  EXPECT_EQ(findConnectedMonitor({"DP-2", "", "Other", "", 0, 0, {}}, monitors), std::nullopt);
  EXPECT_TRUE(connectedMonitors(root.path() / "none").empty());
}

TEST(GnomeTouchOutput, PathAndValueInTheCompositorsForms) {
  EXPECT_EQ(gnomeTouchscreenPath(0x5156, 0xAB0C), "/org/gnome/desktop/peripherals/touchscreens/5156:ab0c/");
  EdidIdentity edid{"QVM", "", "12345", 0x1234, 12345, false};
  EXPECT_EQ(gnomeOutput(edid), (GnomeOutput{"QVM", "0x1234", "0x00003039"}));
  EXPECT_EQ(gnomeOutput({}), (GnomeOutput{"unknown", "unknown", "unknown"}));
  edid = {"QVM", "Touch 15", "A'1", 0x1234, 12345, true};
  EXPECT_EQ(gnomeOutputText(gnomeOutput(edid)), "['QVM', 'Touch 15', 'A\\'1']");
}

TEST(TouchDesktop, ChosenFromTheSession) {
  struct Case {
    const char* current;
    bool wayland;
    TouchDesktop want;
  } cases[] = {{"GNOME", true, TouchDesktop::Gnome},        {"ubuntu:GNOME", false, TouchDesktop::Gnome},
               {"GNOME-Classic:GNOME", false, TouchDesktop::Gnome}, {"KDE", true, TouchDesktop::KdeWayland},
               {"kde", true, TouchDesktop::KdeWayland},      {"KDE", false, TouchDesktop::X11},
               {"sway", true, TouchDesktop::OtherWayland},   {"", true, TouchDesktop::OtherWayland},
               {"XFCE", false, TouchDesktop::X11},           {"NOTKDE:X-GNOMEISH", true, TouchDesktop::OtherWayland}};
  for (const Case& c : cases) EXPECT_EQ(touchDesktop(c.current, c.wayland), c.want) << c.current;
  EXPECT_EQ(touchSettingAdvice(DrmConnector{"DP-1", {"QVM", "Touch 15", "", 0, 0, false}}),
            "touch screen: this desktop maps touch screens itself; set its touch screen \"Quorvane Touch Screen\" "
            "(5156:5453) to the monitor DP-1 (QVM Touch 15) in its settings");
}

class RecordingSetting final : public TouchOutputSetting {
public:
  explicit RecordingSetting(std::vector<std::string>& done) : done_(done) {}
  std::string map(const DrmConnector& monitor) override { return record("map " + monitor.name); }
  void keep() override { record("keep"); }
  std::string putBack() override { return record("put back"); }

private:
  std::string record(const std::string& what) {
    done_.push_back(what);
    return what;
  }
  std::vector<std::string>& done_;
};

TEST_F(DesktopTouch, CalibrationTakesTheSettingAndGivesItBack) {
  std::vector<std::string> done, said;
  DesktopTouchMapping mapping(std::make_unique<RecordingSetting>(done), drm,
                              [&](const std::string& line) { said.push_back(line); });
  mapping.apply();  // nothing stored: the user's setting stays
  calibrateOn("HDMI-A-1");
  mapping.apply();
  calibrateOn("");
  mapping.apply();  // still nothing stored
  storeMonitor("DP-9", "Touch 15");
  mapping.apply();
  calibrateOn("HDMI-A-1");
  mapping.apply();
  calibrateOn("");
  mapping.apply();  // a monitor is stored: it is mapped rather than the setting put back
  storeMonitor("DP-2", "Other");
  mapping.apply();
  EXPECT_EQ(done, (std::vector<std::string>{"keep", "map HDMI-A-1", "put back", "map DP-1", "keep", "map HDMI-A-1",
                                            "map DP-1"}));
  EXPECT_EQ(said.back(),
            "touch screen: its monitor DP-2 is not connected; the desktop places touches itself until it is");
}

TEST(KernelUevents, SubsystemOfKernelEventsOnly) {
  using namespace std::string_literals;
  EXPECT_EQ(ueventSubsystem("change@/devices/card0\0ACTION=change\0SUBSYSTEM=drm\0HOTPLUG=1\0"s), "drm");
  EXPECT_EQ(ueventSubsystem("libudev\0\xfe\xed\xca\xfe SUBSYSTEM=drm\0"s), "");
}

}  // namespace
}  // namespace qv::tools
