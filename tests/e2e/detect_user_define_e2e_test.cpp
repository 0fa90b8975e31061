// Detect on a virtual display with a user-defined port and the driver loaded: Detect
// shows the driver's configuration and keeps the user's IRQ and I/O address; OK then
// saves them without asking for a restart.
#include "road.h"

#include "support/wait_for.h"

#include <gtest/gtest.h>

namespace qv::e2e {
namespace {

using namespace std::chrono_literals;
using test::waitFor;

// Places in the main window (its own layout): Detect, OK.
constexpr int kDetectX = 447, kDetectY = 274;
constexpr int kOkX = 419, kOkY = 399;
constexpr const char* kKey = "HKLM\\SOFTWARE\\Quorvane";

TEST(DetectRoad, UserDefinedPortKeepsItsIrqAndAddressAndOkSavesThem) {
  Road road("detect-user");
  ASSERT_EQ(road.problem(), "");
  road.storeImport(
      "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n\"IsComUserDef\"=dword:00000001\n"
      "\"Cfg_COM\"=\"COM2\"\n\"Cfg_IRQ\"=\"7\"\n\"Cfg_Port\"=\"300H\"\n\"UserIRQ\"=\"7\"\n\"UserPort\"=\"300H\"\n");
  ASSERT_TRUE(road.startDriverd());
  ASSERT_TRUE(road.startMonitor());
  road.startPanel();
  const auto main = road.waitWindow("Quorvane Control Panel");
  ASSERT_TRUE(main);

  // Detect runs the Initial procedure first; its request shows the click was taken.
  bool detected = false;
  for (int attempt = 0; attempt < 3 && !detected; ++attempt) {
    clickAt(main->x + kDetectX, main->y + kDetectY);
    detected = waitFor([&] { return road.driverLog().find("00000003 ") != std::string::npos; }, scaled(10s));
  }
  ASSERT_TRUE(detected) << road.driverLog();
  road.shoot("detected");

  clickAt(main->x + kOkX, main->y + kOkY);  // queued behind the Detect flow
  EXPECT_EQ(road.panel().waitExit(scaled(20s)), 0);  // no restart question: the port is unchanged
  EXPECT_EQ(road.storeValue(kKey, "IsComUserDef"), "0x1");
  EXPECT_EQ(road.storeValue(kKey, "Cfg_IRQ"), "7");
  EXPECT_EQ(road.storeValue(kKey, "Cfg_Port"), "300H");
  EXPECT_EQ(road.restarts(), "");
}

}  // namespace
}  // namespace qv::e2e
