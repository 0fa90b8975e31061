// The drawing test on a virtual display, bare and with a window manager and a bar, covering
// the whole monitor: a tap, a drag and a double click drawn with the
// real pointer, each press and release reading the driver's line statistics once; the
// Menu button's "&Exit" closes it. Esc during a drag closes it with the button held, and
// the next window starts with the pen up.
#include "road.h"

#include "support/wait_for.h"

#include <gtest/gtest.h>

namespace qv::e2e {
namespace {

using namespace std::chrono_literals;
using test::waitFor;

constexpr int W = VirtualDisplay::kWidth, H = VirtualDisplay::kHeight;

std::optional<Window> windowAt(const Road& road, int x, int y, bool wholeScreen) {
  for (const auto& w : road.panelWindows()) {
    if (w.x == x && w.y == y && (w.width == W && w.height == H) == wholeScreen) return w;
  }
  return std::nullopt;
}

// The Draw tab, then "&Draw" on it (the main window's own layout); true once it shows.
bool openDrawWindow(const Road& road, const Window& main) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    clickAt(main.x + 265, main.y + 20);
    clickAt(main.x + 274, main.y + 319);
    if (waitFor([&] { return windowAt(road, 0, 0, true).has_value(); }, scaled(10s))) return true;
  }
  return false;
}

class DrawTestRoad : public ::testing::TestWithParam<Desktop> {};

TEST_P(DrawTestRoad, TapDragAndDoubleClickReadTheStatisticsThenMenuExitThenEscDuringADrag) {
  Road road("draw", GetParam());
  ASSERT_EQ(road.problem(), "");
  ASSERT_TRUE(road.startDriverd());
  ASSERT_TRUE(road.startMonitor());
  road.startPanel();
  const auto main = road.waitWindow("Quorvane Control Panel");
  ASSERT_TRUE(main);

  ASSERT_TRUE(openDrawWindow(road, *main));
  const auto reads = [&] { return countOf(road.driverLog(), "0000000c - ok"); };
  const std::size_t before = reads();

  clickAt(300, 300);
  ASSERT_TRUE(waitFor([&] { return reads() == before + 2; }, scaled(10s))) << road.driverLog();
  dragFromTo(350, 250, 700, 450);
  ASSERT_TRUE(waitFor([&] { return reads() == before + 4; }, scaled(10s))) << road.driverLog();
  doubleClickAt(500, 600);
  ASSERT_TRUE(waitFor([&] { return reads() == before + 8; }, scaled(10s))) << road.driverLog();
  road.shoot("drawn");

  // Menu (top left), then its "&Exit".
  std::optional<Window> menu;
  for (int attempt = 0; attempt < 3 && !menu; ++attempt) {
    clickAt(30, 15);
    waitFor([&] { return (menu = windowAt(road, 0, 0, false)).has_value(); }, scaled(10s));
  }
  ASSERT_TRUE(menu);
  road.shoot("menu");
  keyTo(*menu, "e");
  EXPECT_TRUE(waitFor([&] { return !windowAt(road, 0, 0, true); }, scaled(20s)));
  EXPECT_EQ(reads(), before + 8);
  EXPECT_TRUE(road.waitWindow("Quorvane Control Panel"));

  // Esc with the button held: the window never sees the release.
  ASSERT_TRUE(openDrawWindow(road, *main));
  xdotool({"mousemove", "300", "300", "mousedown", "1", "mousemove", "400", "350", "mousemove", "500", "400"});
  for (int attempt = 0; attempt < 3 && windowAt(road, 0, 0, true); ++attempt) {
    xdotool({"windowfocus", "--sync", windowAt(road, 0, 0, true)->id, "key", "Escape"});
    waitFor([&] { return !windowAt(road, 0, 0, true); }, scaled(10s));
  }
  ASSERT_FALSE(windowAt(road, 0, 0, true));
  xdotool({"mouseup", "1"});
  // Hovering over the next window draws nothing.
  ASSERT_TRUE(openDrawWindow(road, *main));
  xdotool({"mousemove", "600", "500", "mousemove", "200", "600", "mousemove", "700", "200", "sleep", "0.5"});
  road.shoot("hovered");
  EXPECT_EQ(road.screenArea(70, 40, 950, 720).find_first_not_of('\xff'), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Desktops, DrawTestRoad, ::testing::ValuesIn(kX11Desktops), DesktopTestName());

}  // namespace
}  // namespace qv::e2e
