// Detect on a virtual display: with the driver not loaded, the panel probes the ports and
// finds the simulated controller on COM2; OK keeps that port, which asks for a restart
// (answered Yes: the restart is only recorded). With the driver loaded and a user-defined
// port, Detect keeps the user's IRQ and address, and OK saves them without a restart.
#include "road.h"

#include "support/wait_for.h"

#include <gtest/gtest.h>

namespace qv::e2e {
namespace {

using namespace std::chrono_literals;
using test::waitFor;

// Places in the main window (its own layout): the Com box, Detect, OK.
constexpr int kComboX = 390, kComboY = 74, kComboWidth = 120, kComboHeight = 24;
constexpr int kDetectX = 447, kDetectY = 274;
constexpr int kOkX = 419, kOkY = 399;

TEST(DetectRoad, FindsTheControllerOnCom2AndOkKeepsThatPort) {
  Road road("detect");
  ASSERT_EQ(road.problem(), "");
  ASSERT_TRUE(road.startDriverd({"--fail-init"}));
  ASSERT_TRUE(road.startMonitor());
  ASSERT_TRUE(road.startController("COM2", "T303"));
  road.startPanel();
  const auto main = road.waitWindow("Quorvane Control Panel");
  ASSERT_TRUE(main);

  // The Com box shows COM1 until the controller is found on COM2.
  const auto combo = [&] { return road.screenArea(main->x + kComboX, main->y + kComboY, kComboWidth, kComboHeight); };
  const std::string before = combo();
  bool found = false;
  for (int attempt = 0; attempt < 3 && !found; ++attempt) {
    clickAt(main->x + kDetectX, main->y + kDetectY);
    found = waitFor([&] { return combo() != before; }, scaled(20s));
  }
  ASSERT_TRUE(found);
  // The probing window is gone once the result shows.
  ASSERT_TRUE(waitFor([&] { return road.panelWindows().size() == 1; }, scaled(20s)));
  road.shoot("found");

  clickAt(main->x + kOkX, main->y + kOkY);
  const auto reboot = road.waitWindow("Reboot");
  ASSERT_TRUE(reboot);
  road.shoot("reboot");
  keyTo(*reboot, "Return");  // Yes
  EXPECT_EQ(road.panel().waitExit(scaled(20s)), 0);
  EXPECT_EQ(road.storeValue("HKLM\\SOFTWARE\\Quorvane", "Cfg_COM"), "COM2");
  EXPECT_EQ(road.storeValue("HKLM\\SOFTWARE\\Quorvane", "Cfg_IRQ"), "3");
  EXPECT_EQ(road.restarts(), "restart\n");
}

TEST(DetectRoad, AUserDefinedPortKeepsItsIrqAndAddressAndOkSavesThem) {
  Road road("detect-user");
  ASSERT_EQ(road.problem(), "");
  road.storeImport("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n\"IsComUserDef\"=dword:00000001\n"
                   "\"Cfg_COM\"=\"COM2\"\n\"Cfg_IRQ\"=\"7\"\n\"Cfg_Port\"=\"300H\"\n\"UserIRQ\"=\"7\"\n\"UserPort\"=\"300H\"\n");
  ASSERT_TRUE(road.startDriverd());
  road.startPanel();
  const auto main = road.waitWindow("Quorvane Control Panel");
  ASSERT_TRUE(main);
  // Detect runs the Initial procedure first; its request shows that the click was taken.
  bool detected = false;
  for (int attempt = 0; attempt < 3 && !detected; ++attempt) {
    clickAt(main->x + kDetectX, main->y + kDetectY);
    detected = waitFor([&] { return road.driverLog().find("00000003 ") != std::string::npos; }, scaled(10s));
  }
  ASSERT_TRUE(detected) << road.driverLog();
  clickAt(main->x + kOkX, main->y + kOkY);  // OK, taken after the Detect flow has ended
  EXPECT_EQ(road.panel().waitExit(scaled(20s)), 0);  // no restart question: the port is unchanged
  const auto stored = [&](const char* name) { return road.storeValue("HKLM\\SOFTWARE\\Quorvane", name); };
  EXPECT_EQ(stored("IsComUserDef") + " " + stored("Cfg_IRQ") + " " + stored("Cfg_Port"), "0x1 7 300H");
  EXPECT_EQ(road.restarts(), "");
}

}  // namespace
}  // namespace qv::e2e
