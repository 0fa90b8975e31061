// Initial against a driver that reports "success" in lower case: only "Success" counts, so
// the "Initial Error" window shows and closes itself after a few seconds.
#include "road.h"

#include <gtest/gtest.h>

namespace qv::e2e {
namespace {

using namespace std::chrono_literals;

TEST(InitialRoad, LowerCaseSuccessShowsTheErrorWindowWhichClosesItself) {
  Road road("initial");
  ASSERT_EQ(road.problem(), "");
  ASSERT_TRUE(road.startDriverd({"--fail-init=success"}));
  ASSERT_TRUE(road.startMonitor());
  road.startPanel();
  const auto main = road.waitWindow("Quorvane Control Panel");
  ASSERT_TRUE(main);

  // The Calibrate tab, then "&Initial" (the main window's own layout); tried again while
  // the panel was not ready for the clicks yet.
  std::optional<Window> error;
  for (int attempt = 0; attempt < 3 && !error; ++attempt) {
    clickAt(main->x + 130, main->y + 20);
    clickAt(main->x + 145, main->y + 319);
    error = road.waitWindow("Initial Error", 10s);
  }
  ASSERT_TRUE(error);
  road.shoot("error");
  EXPECT_NE(road.driverLog().find("00000003 "), std::string::npos);
  EXPECT_TRUE(road.waitNoWindow("Initial Error", 30s));
  EXPECT_TRUE(road.waitWindow("Quorvane Control Panel"));
}

}  // namespace
}  // namespace qv::e2e
