// The panel natively on a Wayland desktop (sway, headless), driven by the keyboard: the
// calibration screen and the drawing test are full-screen above the main window on the
// monitor that holds it, also when that is a second monitor away from (0, 0); Esc on the
// calibration screen gives the driver its stored limits back.
#include "road.h"

#include "support/wait_for.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

namespace qv::e2e {
namespace {

using namespace std::chrono_literals;
using test::waitFor;

constexpr const char* kMainTitle = "Quorvane Control Panel";

// The panel's one shown window, once it is full-screen on monitor (the main window is
// then hidden behind it).
bool fullScreenOn(const Road& road, const WaylandOutput& monitor) {
  const auto shown = road.panelWindows();
  return shown.size() == 1 && shown[0].fullScreen && shown[0].x == monitor.x && shown[0].y == monitor.y &&
         shown[0].width == monitor.width && shown[0].height == monitor.height;
}

// The red pixels of a screen area (the calibration screen's dot and edge name are red).
std::size_t redPixels(const std::string& area) {
  std::size_t red = 0;
  for (std::size_t i = 0; i + 2 < area.size(); i += 3) {
    red += std::uint8_t(area[i]) > 0xC0 && std::uint8_t(area[i + 1]) < 0x40 && std::uint8_t(area[i + 2]) < 0x40;
  }
  return red;
}

// Presses keys until done holds (a key typed before the window took the focus is lost).
bool pressUntil(const Road& road, const std::string& keys, const std::function<bool()>& done) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (attempt > 0) std::fprintf(stderr, "%s: pressed again\n", keys.c_str());
    road.keys(keys);
    if (waitFor(done, scaled(5s))) return true;
  }
  return false;
}

// The panel started with the driver and the monitor program; the main window shown.
std::optional<Window> startPanel(Road& road) {
  if (!road.problem().empty() || !road.startDriverd() || !road.startMonitor()) return std::nullopt;
  road.startPanel();
  return road.waitWindow(kMainTitle);
}

// keys reach "&Calibration": the screen on monitor, then Esc.
void calibrateAndEscapeOn(Road& road, const std::string& keys, const WaylandOutput& monitor, const std::string& shot) {
  ASSERT_TRUE(pressUntil(road, keys, [&] { return fullScreenOn(road, monitor); })) << road.driverLog();
  EXPECT_EQ(countOf(road.driverLog(), "00000001 - ok"), 1u);
  // The red "TOP" above the monitor's middle shows, where the main window stands below;
  // the top target's dot sits at the middle of the monitor's top edge.
  // (Once painted: full-screen comes first.)
  const int middle = monitor.x + monitor.width / 2;
  EXPECT_TRUE(waitFor(
      [&] { return redPixels(road.screenArea(middle - 40, monitor.y + monitor.height / 2 - 60, 80, 40)) > 20; },
      scaled(10s)));
  EXPECT_GE(redPixels(road.screenArea(middle - 1, monitor.y + 2, 3, 3)), 5u);
  road.shoot(shot);

  ASSERT_TRUE(pressUntil(road, "Escape", [&] { return !fullScreenOn(road, monitor); }));
  const std::string state = road.driverState();
  EXPECT_NE(state.find("limits=03 FC 03 FC"), std::string::npos) << state;
  EXPECT_NE(state.find("calibration_mode=0"), std::string::npos) << state;
  EXPECT_TRUE(road.waitWindow(kMainTitle));
}

// keys reach "&Draw": the drawing test on monitor, then closed with Esc.
void drawTestOn(Road& road, const std::string& keys, const WaylandOutput& monitor, const std::string& shot) {
  ASSERT_TRUE(pressUntil(road, keys, [&] { return fullScreenOn(road, monitor); }));
  road.shoot(shot);
  EXPECT_TRUE(pressUntil(road, "Escape", [&] { return !fullScreenOn(road, monitor); }));
  EXPECT_TRUE(road.waitWindow(kMainTitle));
}

TEST(WaylandRoad, InitialAndAnEscapedCalibrationByKeyboard) {
  Road road("calibration", Desktop::Wayland);
  ASSERT_EQ(road.problem(), "");
  const auto main = startPanel(road);
  ASSERT_TRUE(main);
  EXPECT_FALSE(main->fullScreen);
  road.shoot("main");

  // The Calibrate tab, "&Initial"; then "&Calibration".
  ASSERT_TRUE(pressUntil(road, "ctrl+Tab alt+i", [&] { return road.driverLog().find("00000003 ") != std::string::npos; }));
  calibrateAndEscapeOn(road, "alt+c", road.wayland()->outputs().front(), "screen");
  EXPECT_EQ(road.storeValue("HKLM\\SOFTWARE\\Quorvane", "Cfg_X1"), "03H");
}

TEST(WaylandRoad, DrawingTestOpensAndClosesByKeyboard) {
  Road road("draw", Desktop::Wayland);
  ASSERT_EQ(road.problem(), "");
  ASSERT_TRUE(startPanel(road));
  drawTestOn(road, "ctrl+Tab ctrl+Tab ctrl+Tab alt+d", road.wayland()->outputs().front(), "screen");
}

TEST(WaylandRoad, BothScreensCoverTheSecondMonitorThatHoldsThePanel) {
  Road road("second-monitor", Desktop::Wayland);
  ASSERT_EQ(road.problem(), "");
  const WaylandDesktop& desktop = *road.wayland();
  // A smaller monitor right of the first one, lower down: it starts at neither 0.
  ASSERT_TRUE(desktop.command("create_output"));
  const auto outputs = desktop.outputs();
  ASSERT_EQ(outputs.size(), 2u);
  const std::string second = outputs[0].name == "HEADLESS-1" ? outputs[1].name : outputs[0].name;
  ASSERT_TRUE(desktop.command("output " + second + " mode 800x600 position 1024 168"));
  ASSERT_TRUE(startPanel(road));
  const std::string panel = "[pid=" + std::to_string(road.panel().pid()) + "] ";
  ASSERT_TRUE(desktop.command(panel + "move to output " + second));
  ASSERT_TRUE(desktop.command(panel + "focus"));
  const WaylandOutput monitor{second, 1024, 168, 800, 600};
  ASSERT_TRUE(waitFor([&] {
    const auto views = desktop.views();
    return views.size() == 1 && views[0].output == second;
  }, scaled(10s)));

  // After the move the first button's key may come too soon (it is pressed again): the
  // tabs change apart, so that pressing again does not step on to another tab.
  road.keys("ctrl+Tab");
  calibrateAndEscapeOn(road, "alt+c", monitor, "screen");
  road.keys("ctrl+Tab ctrl+Tab");
  drawTestOn(road, "alt+d", monitor, "draw");
}

}  // namespace
}  // namespace qv::e2e
