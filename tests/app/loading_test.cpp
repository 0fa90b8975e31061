// Start-up on crafted stores: what the window shows, what it remembers for OK and
// Cancel, and when it refuses to run.
#include "panel_rig.h"
#include "platform/screen_area.h"
#include "settings/settings_key.h"

#include <gtest/gtest.h>

namespace qv::app {
namespace {

using test::PanelRig;

TEST(Loading, FillsTheWindowFromACompleteStore) {
  PanelRig rig;
  ASSERT_EQ(rig.controller.load(), LoadOutcome::Ready);
  const PanelControls& c = rig.controls();
  const PanelRuntime& r = rig.runtime();
  EXPECT_EQ(c.controllerType, "RVCT303");
  EXPECT_EQ(c.baudRate, "9600");
  EXPECT_EQ(c.firmware, "12ab");
  EXPECT_EQ(c.status, "Loaded");
  EXPECT_EQ(c.driverVersion, "3.1.05");
  EXPECT_EQ(c.supportChip, std::string(kSupportedChipText));
  EXPECT_EQ(c.comboItems, (std::vector<std::string>{"COM1", "COM2"}));
  EXPECT_EQ(c.comboIndex, 0);
  EXPECT_EQ(c.comboText, "COM1");
  EXPECT_EQ(c.irqText, "4");
  EXPECT_EQ(c.portText, "3F8H");
  EXPECT_TRUE(c.comboEnabled);
  EXPECT_FALSE(c.irqEnabled);
  EXPECT_FALSE(c.portEnabled);
  EXPECT_TRUE(c.calibrationEnabled);
  EXPECT_TRUE(c.initialEnabled);
  EXPECT_TRUE(c.cancelEnabled);
  EXPECT_TRUE(c.sound);
  EXPECT_TRUE(c.longBeep);
  EXPECT_TRUE(c.longBeepEnabled);
  EXPECT_TRUE(c.arrowsEnabled);
  EXPECT_EQ(c.speedPosition, 500);
  EXPECT_EQ(c.areaPosition, 50);
  EXPECT_EQ(c.backcur, (Point{44, 35}));
  EXPECT_EQ(c.movecur, (Point{44, 35}));
  EXPECT_EQ(r.startIrqText, "4");
  EXPECT_EQ(r.startPortText, "3F8H");
  EXPECT_EQ(r.startCalibration, (std::array<std::string, 4>{"03H", "FCH", "03H", "FCH"}));
  // Loading writes only OSVersion and changes no system setting.
  EXPECT_EQ(rig.store.writeLog(), (std::vector<std::string>{"HKLM\\SOFTWARE\\Quorvane\\OSVersion"}));
  EXPECT_TRUE(rig.system.actions().empty());
  EXPECT_TRUE(rig.deviceIo.sessions().empty());
  EXPECT_TRUE(rig.prompts.notices.empty());
}

TEST(Loading, RecordsTheOperatingSystemVersion) {
  for (auto [minor, code] : {std::pair{0u, 0x95}, std::pair{1u, 0x98}}) {
    PanelRig rig;
    rig.system.setOsMinorVersion(minor);
    rig.controller.load();
    EXPECT_EQ(rig.value("OSVersion")->data, (std::vector<std::uint8_t>{0x00, static_cast<std::uint8_t>(code)}));
  }
}

TEST(Loading, RefusesWithoutTheSettingsKey) {
  PanelRig rig("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n");
  rig.store.where = "/home/u/.local/share/quorvane/registry.reg";
  EXPECT_EQ(rig.controller.load(), LoadOutcome::Refused);
  EXPECT_EQ(rig.prompts.notices, (std::vector<std::string>{"Quorvane not installed correctly!\n\n"
                                                           "Settings looked for in: /home/u/.local/share/quorvane/registry.reg"}));
  EXPECT_TRUE(rig.store.writeLog().empty());
}

TEST(Loading, AcceptsOnlyDriverVersionsBeginning31) {
  const std::vector<std::pair<std::string, bool>> cases = {
      {"\"Vxd Version\"=\"3.10\"", true},  {"\"Vxd Version\"=\"3.1\"", true},
      {"\"Vxd Version\"=\"3.2.01\"", false}, {"\"Vxd Version\"=\"3\"", false},
      {"\"Vxd Version\"=\"\"", false},      {"\"Vxd Version\"=-", false},
  };
  for (const auto& [line, accepted] : cases) {
    PanelRig rig(test::kPanelStore, line + "\n");
    SCOPED_TRACE(line);
    EXPECT_EQ(rig.controller.load(), accepted ? LoadOutcome::Ready : LoadOutcome::Refused);
    if (!accepted) {
      const std::string shown = line.find('-') != std::string::npos ? "Unknown" : line.substr(15, line.size() - 16);
      ASSERT_EQ(rig.prompts.notices.size(), 1u);
      EXPECT_EQ(rig.prompts.notices[0], "Program can't work with the driver on system\nDriver version : " + shown);
    }
  }
}

TEST(Loading, MissingRequiredValuesEndStartUpWithTheirNames) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"\"Restart\"=-\n", "Failed to get data for 'Restart'"},
      {"\"IsComUserDef\"=-\n", "Failed to get data for 'IsComUserDef'"},
      {"\"Cfg_DKSpeed\"=\"500\"\n", "Invalid data type for 'Cfg_DKSpeed'"},
      {"\"Firmware\"=hex:01,02,03\n", "Invalid data type for 'Firmware'"},
  };
  for (const auto& [change, message] : cases) {
    PanelRig rig(test::kPanelStore, change);
    SCOPED_TRACE(change);
    try {
      rig.controller.load();
      ADD_FAILURE() << "loaded";
    } catch (const settings::SettingsError& e) {
      EXPECT_EQ(std::string(e.what()), message);
    }
  }
}

TEST(Loading, CursorOffsetMustBeADecimalInteger) {
  EXPECT_EQ(parseDecimalText("-3"), -3);
  EXPECT_EQ(parseDecimalText(" 12"), 12);
  EXPECT_EQ(parseDecimalText("+7"), 7);
  for (const char* bad : {"abc", "", "3x", "0x10", "99999999999", "-"}) {
    EXPECT_THROW(parseDecimalText(bad), ConversionError) << bad;
  }
  PanelRig bad(test::kPanelStore, "\"CursorOffsetDX\"=\"1.5\"\n");
  try {
    bad.controller.load();
    ADD_FAILURE() << "loaded";
  } catch (const ConversionError& e) {
    EXPECT_EQ(std::string(e.what()), "'1.5' is not a valid integer value");
  }
  PanelRig absent(test::kPanelStore, "\"CursorOffsetDY\"=-\n");
  EXPECT_THROW(absent.controller.load(), ConversionError);
}

TEST(Loading, PortListFallsBackToTwoPortsAndStopsAtAGap) {
  PanelRig none(test::kPanelStore, "\"COM1_IRQ\"=-\n\"COM2_IRQ\"=-\n");
  none.controller.load();
  EXPECT_EQ(none.runtime().portList.names, (std::vector<std::string>{"COM1", "COM2"}));
  EXPECT_EQ(none.runtime().portList.irqs, (std::vector<std::string>{"4", "3"}));
  EXPECT_EQ(none.runtime().portList.addresses, (std::vector<std::string>{"3F8H", "2F8H"}));
  EXPECT_EQ(none.controls().comboItems, (std::vector<std::string>{"COM1", "COM2"}));

  PanelRig gap(test::kPanelStore, "\"COM4_IRQ\"=\"7\"\n\"COM4_ADDR\"=\"2E8H\"\n\"COM2_ADDR\"=-\n");
  gap.controller.load();
  EXPECT_EQ(gap.runtime().portList.names, (std::vector<std::string>{"COM1", "COM2"}));
  EXPECT_EQ(gap.runtime().portList.addresses, (std::vector<std::string>{"3F8H", ""}));
}

TEST(Loading, SerialPortIsLookedUpIgnoringCaseOrLeftEmpty) {
  PanelRig lower(test::kPanelStore, "\"Cfg_COM\"=\"com2\"\n");
  lower.controller.load();
  EXPECT_EQ(lower.controls().comboIndex, 1);
  EXPECT_EQ(lower.controls().comboText, "COM2");
  EXPECT_EQ(lower.controls().irqText, "3");
  EXPECT_EQ(lower.controls().portText, "2F8H");

  PanelRig unknown(test::kPanelStore, "\"Cfg_COM\"=\"COM7\"\n");
  unknown.controller.load();
  EXPECT_EQ(unknown.controls().comboIndex, -1);
  EXPECT_EQ(unknown.controls().comboText, "");
  EXPECT_EQ(unknown.controls().irqText, "");
  EXPECT_EQ(unknown.controls().portText, "");
  EXPECT_EQ(unknown.runtime().startIrqText, "");
}

TEST(Loading, UserDefinedPortComesFromItsOwnValues) {
  PanelRig rig(test::kPanelStore, "\"IsComUserDef\"=dword:00000001\n\"Cfg_COM\"=\"COM9\"\n\"UserIRQ\"=\"11\"\n\"UserPort\"=\"3E8H\"\n");
  rig.controller.load();
  const PanelControls& c = rig.controls();
  EXPECT_TRUE(c.userDefine);
  EXPECT_EQ(c.comboText, "COM9");
  EXPECT_EQ(c.irqText, "11");
  EXPECT_EQ(c.portText, "3E8H");
  EXPECT_FALSE(c.comboEnabled);
  EXPECT_TRUE(c.irqEnabled);
  EXPECT_TRUE(c.portEnabled);
  EXPECT_EQ(rig.runtime().startPortText, "3E8H");
}

TEST(Loading, HardwareLabelsKeepTheirStartTextsWhereValuesAreMissing) {
  PanelRig rig(test::kPanelStore, "\"ChipType\"=-\n\"ChipBaudRate\"=\"19200\"\n\"Firmware\"=-\n\"Vxd Init\"=\"success\"\n"
                         "\"Support Chip\"=\"T302\"\n");
  rig.controller.load();
  const PanelControls& c = rig.controls();
  EXPECT_EQ(c.controllerType, "Unknown");
  EXPECT_EQ(c.baudRate, "19200");
  EXPECT_EQ(c.firmware, "1000");
  EXPECT_EQ(c.status, "Not Loaded");
  EXPECT_FALSE(c.calibrationEnabled);
  EXPECT_EQ(c.supportChip, "Unknown");
}

TEST(Loading, PendingRestartDisablesInitialAndCancel) {
  PanelRig rig(test::kPanelStore, "\"Restart\"=dword:00000001\n");
  rig.controller.load();
  EXPECT_FALSE(rig.controls().initialEnabled);
  EXPECT_FALSE(rig.controls().cancelEnabled);
}

TEST(Loading, FlagsApplyTheirClickRules) {
  PanelRig rig(test::kPanelStore, "\"Ctrl_Sound\"=dword:00000000\n\"IsCursorOffset\"=dword:00000000\n\"HideCursor\"=-\n");
  rig.controller.load();
  const PanelControls& c = rig.controls();
  EXPECT_TRUE(c.longBeep);
  EXPECT_FALSE(c.longBeepEnabled);
  EXPECT_FALSE(c.arrowsEnabled);
  EXPECT_FALSE(c.hideCursor);
}

TEST(Loading, DoubleClickValuesAreClampedAndDefaulted) {
  PanelRig low(test::kPanelStore, "\"Cfg_DKSpeed\"=dword:00000032\n\"Cfg_DKArea\"=dword:0000005f\n");
  low.controller.load();
  EXPECT_EQ(low.runtime().dkSpeed, 100);
  EXPECT_EQ(low.controls().speedPosition, 900);
  EXPECT_EQ(low.runtime().dkArea, 90);
  EXPECT_EQ(low.controls().areaPosition, 10);

  PanelRig absent(test::kPanelStore, "\"Cfg_DKSpeed\"=-\n\"Cfg_DKArea\"=-\n");
  absent.controller.load();
  EXPECT_EQ(absent.runtime().dkSpeed, 500);
  EXPECT_EQ(absent.runtime().dkArea, 50);

  PanelRig negative(test::kPanelStore, "\"Cfg_DKSpeed\"=dword:ffffffff\n\"Cfg_DKArea\"=dword:00000014\n");
  negative.controller.load();
  EXPECT_EQ(negative.runtime().dkSpeed, 100);
  EXPECT_EQ(negative.controls().areaPosition, 80);
}

TEST(Loading, OffsetPictureStandsWhereTheStoredOffsetPutsIt) {
  PanelRig rig(test::kPanelStore, "\"CursorOffsetDX\"=\"-50\"\n\"CursorOffsetDY\"=\"7\"\n\"Cfg_X2\"=-\n");
  rig.controller.load();
  EXPECT_EQ(rig.controls().movecur, (Point{44 - 50, 35 + 7}));
  EXPECT_EQ(rig.runtime().startCalibration[1], "");
}

TEST(Loading, CentresTheWindowOnItsMonitorRoundingTowardZero) {
  EXPECT_EQ(platform::centredIn({0, 0, 1024, 768}, 552, 420), (platform::ScreenRect{236, 174, 552, 420}));
  EXPECT_EQ(platform::centredIn({1280, 200, 801, 601}, 552, 420), (platform::ScreenRect{1404, 290, 552, 420}));
}

}  // namespace
}  // namespace qv::app
