// The main window on a virtual display: OK with Enter applies and ends the panel; a
// double-click speed changed on the Setting tab and then Cancel with Esc leaves the store
// as it was.
#include "road.h"

#include "support/wait_for.h"

#include <gtest/gtest.h>

namespace qv::e2e {
namespace {

using namespace std::chrono_literals;
using test::waitFor;

constexpr const char* kMainTitle = "Quorvane Control Panel";
constexpr const char* kMouseKey = "HKCU\\Control Panel\\Mouse";
// Places in the main window (its own layout): the Setting tab, the Speed bar's groove.
constexpr int kSettingTabX = 203, kTabY = 20;
constexpr int kSpeedBarX = 242, kSpeedBarY = 180;

TEST(MainWindowRoad, EnterIsOkAndAppliesTheSettings) {
  Road road("main");
  ASSERT_EQ(road.problem(), "");
  ASSERT_TRUE(road.startDriverd());
  ASSERT_TRUE(road.startMonitor());
  road.startPanel();
  const auto main = road.waitWindow(kMainTitle);
  ASSERT_TRUE(main);
  road.shoot("configure");

  EXPECT_EQ(pressUntilEnded(road, *main, "Return"), 0);
  // OK configures the driver (beep, fixed mode, long beep, cursor offset) and tells the monitor.
  const std::string log = road.driverLog();
  EXPECT_NE(log.find("00000007 01000000 ok"), std::string::npos) << log;
  EXPECT_NE(log.find("0000000a "), std::string::npos) << log;
  EXPECT_NE(road.monitorLog().find("received 0x5BC"), std::string::npos);
  EXPECT_EQ(road.storeValue("HKLM\\SOFTWARE\\Quorvane", "Cfg_COM"), "COM1");
}

TEST(MainWindowRoad, EscCancelsAChangedDoubleClickSpeed) {
  Road road("main");
  ASSERT_EQ(road.problem(), "");
  ASSERT_TRUE(road.startDriverd());
  ASSERT_TRUE(road.startMonitor());
  road.startPanel();
  const auto main = road.waitWindow(kMainTitle);
  ASSERT_TRUE(main);
  ASSERT_EQ(road.storeValue(kMouseKey, "DoubleClickSpeed"), "500");

  // The Setting tab, then the Speed bar's groove right of its handle: a page towards Fast.
  clickAt(main->x + kSettingTabX, main->y + kTabY);
  const int barY = main->y + kSpeedBarY;
  bool changed = false;
  for (int attempt = 0; attempt < 3 && !changed; ++attempt) {
    clickAt(main->x + kSpeedBarX + 250, barY);
    changed = waitFor([&] { return road.storeValue(kMouseKey, "DoubleClickSpeed") != "500"; }, scaled(10s));
  }
  ASSERT_TRUE(changed);
  road.shoot("setting");

  EXPECT_EQ(pressUntilEnded(road, *main, "Escape"), 0);
  EXPECT_EQ(road.storeValue(kMouseKey, "DoubleClickSpeed"), "500");
}

}  // namespace
}  // namespace qv::e2e
