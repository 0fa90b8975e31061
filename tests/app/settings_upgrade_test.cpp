// The settings an earlier per-user installation kept become the machine's: once, and only
// while the machine has none of its own.
#include "app/settings_upgrade.h"
#include "support/memory_registry_store.h"

#include <gtest/gtest.h>

namespace qv::app {
namespace {

constexpr auto HKLM = platform::RegistryRoot::LocalMachine;
constexpr const char* kKey = "SOFTWARE\\Quorvane";

constexpr const char* kInstalled = R"(REGEDIT4

[HKEY_LOCAL_MACHINE\SOFTWARE\Quorvane]
"Vxd Version"="3.1.06"
"COM1_IRQ"="4"
"Cfg_COM"="COM1"
"Cfg_X1"="03H"
"Cfg_X2"="FCH"
"InstallDir"="/usr/lib/quorvane"
)";

constexpr const char* kOldUserFile = R"(REGEDIT4

[HKEY_LOCAL_MACHINE\SOFTWARE\Quorvane]
"Vxd Version"="3.1.05"
"Vxd Init"="Success"
"COM1_IRQ"="5"
"Cfg_COM"="COM3"
"Cfg_X1"="12H"
"X1"=hex:00,12
"InstallDir"="/home/a/bin"

[HKEY_CURRENT_USER\Control Panel\Cursors]
"Arrow"=""
)";

std::string text(test::MemoryRegistryStore& s, const char* name) {
  auto v = s.readValue(HKLM, kKey, name);
  return v ? std::string(v->data.begin(), v->data.end()) : "<absent>";
}

TEST(SettingsUpgrade, TakesTheUsersSettingsOnceAndKeepsTheInstalledValues) {
  test::MemoryRegistryStore machine(kInstalled);
  test::MemoryRegistryStore oldFile(kOldUserFile);
  EXPECT_EQ(takeOverUserSettings(machine, oldFile, "alice").outcome, UpgradeOutcome::Taken);
  EXPECT_EQ(text(machine, "Cfg_COM"), "COM3");
  EXPECT_EQ(text(machine, "Cfg_X1"), "12H");
  EXPECT_EQ(machine.readValue(HKLM, kKey, "X1")->data, (std::vector<std::uint8_t>{0, 0x12}));
  EXPECT_EQ(text(machine, "Vxd Version"), "3.1.06");
  EXPECT_EQ(text(machine, "Vxd Init"), "<absent>");
  EXPECT_EQ(text(machine, "COM1_IRQ"), "4");
  EXPECT_EQ(text(machine, "InstallDir"), "/usr/lib/quorvane");

  // Taken once: a second user's old settings never replace them, even uncalibrated ones.
  test::MemoryRegistryStore second(R"(REGEDIT4

[HKEY_LOCAL_MACHINE\SOFTWARE\Quorvane]
"Cfg_COM"="COM2"
)");
  machine.import("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n\"Cfg_X1\"=\"03H\"\n");
  machine.clearLogs();
  EXPECT_EQ(takeOverUserSettings(machine, second, "bob").outcome, UpgradeOutcome::MachineHasSettings);
  EXPECT_TRUE(machine.writeLog().empty());
}

TEST(SettingsUpgrade, AMachineCalibratedSinceInstallOrAUserWithoutOldSettingsLeavesAllAlone) {
  test::MemoryRegistryStore calibrated(kInstalled);
  calibrated.import("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n\"Cfg_X2\"=\"E0H\"\n");
  test::MemoryRegistryStore oldFile(kOldUserFile);
  EXPECT_EQ(takeOverUserSettings(calibrated, oldFile, "alice").outcome, UpgradeOutcome::MachineHasSettings);
  EXPECT_EQ(text(calibrated, "Cfg_COM"), "COM1");

  test::MemoryRegistryStore fresh(kInstalled);
  test::MemoryRegistryStore newUser;
  fresh.clearLogs();
  EXPECT_EQ(takeOverUserSettings(fresh, newUser, "carol").outcome, UpgradeOutcome::NothingToTake);
  EXPECT_TRUE(fresh.writeLog().empty());
}

}  // namespace
}  // namespace qv::app
