// The advanced detection on a virtual display: Advance, then "find it right now" starts
// qvdetect, which finds the simulated controller on COM2; the panel applies that port and
// asks for the restart, answered Yes (the restart is only recorded).
#include "road.h"

#include "support/wait_for.h"

#include <gtest/gtest.h>

namespace qv::e2e {
namespace {

using namespace std::chrono_literals;
using test::waitFor;

// The Advance button in the main window, "find it right now" in the Advance Detect window.
constexpr int kAdvanceX = 472, kAdvanceY = 329;
constexpr int kFindNowY = 233;

TEST(AdvanceDetectRoad, QvdetectFindsCom2AndTheRestartIsAsked) {
  Road road("advance");
  ASSERT_EQ(road.problem(), "");
  ASSERT_TRUE(road.startDriverd());
  ASSERT_TRUE(road.startMonitor());
  ASSERT_TRUE(road.startController("COM2", "T303"));
  road.startPanel();
  const auto main = road.waitWindow("Quorvane Control Panel");
  ASSERT_TRUE(main);

  std::optional<Window> advance;
  for (int attempt = 0; attempt < 3 && !advance; ++attempt) {
    clickAt(main->x + kAdvanceX, main->y + kAdvanceY);
    advance = road.waitWindow("Advance Detect", 10s);
  }
  ASSERT_TRUE(advance);
  road.shoot("window");
  clickAt(advance->x + advance->width / 2, advance->y + kFindNowY);

  const auto reboot = road.waitWindow("Reboot", 60s);
  ASSERT_TRUE(reboot);
  road.shoot("reboot");
  keyTo(*reboot, "Return");  // Yes
  EXPECT_TRUE(waitFor([&] { return road.restarts() == "restart\n"; }, scaled(20s)));
  EXPECT_EQ(road.storeValue("HKLM\\SOFTWARE\\Quorvane", "Cfg_COM"), "COM2");
  EXPECT_EQ(road.storeValue("HKLM\\SOFTWARE\\Quorvane", "Cfg_IRQ"), "3");
  EXPECT_EQ(road.storeValue("HKLM\\SOFTWARE\\Quorvane", "Restart"), "0x0");
}

}  // namespace
}  // namespace qv::e2e
