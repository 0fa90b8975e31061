// Calibration on a virtual display, bare and with a window manager and a bar, driven by
// real pointer input: the screen covers the whole monitor, bar included, the four targets
// are clicked where the screen shows its dots, at the monitor's edges, and the store, the
// driver and the monitor end up with the calibration the screen took; Cancel gives the
// driver its stored limits back, also as the way out when the driver has gone.
#include "road.h"

#include "calibration/calib_layout.h"
#include "platform/posix/registry_file_store.h"
#include "support/wait_for.h"

#include <gtest/gtest.h>

#include <csignal>
#include <thread>

namespace qv::e2e {
namespace {

using namespace std::chrono_literals;
using test::waitFor;

constexpr int W = VirtualDisplay::kWidth, H = VirtualDisplay::kHeight;

// The machine of these roads keeps a cursor offset of -3 pixels across.
constexpr const char* kOffset = R"(REGEDIT4

[HKEY_LOCAL_MACHINE\SOFTWARE\Quorvane]
"IsCursorOffset"=dword:00000001
"CursorOffsetDX"="-3"
)";

bool screenShown(const Road& road) {
  for (const auto& w : road.panelWindows()) {
    if (w.x == 0 && w.y == 0 && w.width == W && w.height == H) return true;
  }
  return false;
}

// The Calibrate tab, then "&Calibration" on it (the main window's own layout). A click the
// panel was not ready for yet is tried again, never once the screen is up: there it would
// be a touch.
::testing::AssertionResult openCalibrationScreen(Road& road) {
  const auto main = road.waitWindow("Quorvane Control Panel");
  if (!main) return ::testing::AssertionFailure() << "no main window; panel " << road.panel().pid();
  bool begun = false;
  for (int attempt = 0; attempt < 3 && !begun; ++attempt) {
    clickAt(main->x + 130, main->y + 20);
    clickAt(main->x + 404, main->y + 319);
    begun = waitFor(
        [&] { return road.driverLog().find("00000001 - ok") != std::string::npos || screenShown(road); }, scaled(10s));
  }
  if (!begun) return ::testing::AssertionFailure() << "the Calibration button was not reached";
  if (!waitFor([&] { return screenShown(road); }, scaled(20s))) {
    return ::testing::AssertionFailure() << "the calibration screen did not cover the screen";
  }
  return ::testing::AssertionSuccess();
}

// Cancel sits below the middle of the screen.
void clickCancel() { clickAt(W / 2, H / 2 + 60); }

// Whether the screen shows the red dot within 3 pixels of at.
bool redNear(const Road& road, calibration::Place at) {
  const std::string rgb = road.screenArea(at.left - 3, at.top - 3, 7, 7);
  for (std::size_t i = 0; i + 2 < rgb.size(); i += 3) {
    const auto r = static_cast<std::uint8_t>(rgb[i]), g = static_cast<std::uint8_t>(rgb[i + 1]),
               b = static_cast<std::uint8_t>(rgb[i + 2]);
    if (r > 200 && g < 60 && b < 60) return true;
  }
  return false;
}

class CalibrationRoad : public ::testing::TestWithParam<Desktop> {};

TEST_P(CalibrationRoad, FourClickedTargetsCalibrateTheDriverAndTheStore) {
  Road road("calibration", GetParam());
  ASSERT_EQ(road.problem(), "");
  road.storeImport(kOffset);
  // The stand-in's touch screen reads 0x20..0xE0 across and 0x30..0xD0 down.
  ASSERT_TRUE(road.startDriverd({"--true-limits=0x20,0xE0,0x30,0xD0"}));
  ASSERT_TRUE(road.startMonitor());
  road.startPanel();
  ASSERT_TRUE(road.waitWindow("Quorvane Control Panel"));
  road.shoot("desktop");
  ASSERT_TRUE(openCalibrationScreen(road));
  road.shoot("screen");
  ASSERT_EQ(countOf(road.driverLog(), "00000001 - ok"), 1u);

  // The dots: top, right, bottom, left, each seen at its edge of the monitor (a bar over
  // the screen would hide the bottom one); each click is a real press and release. A touch
  // counts once the driver was asked for its reading.
  for (std::size_t i = 0; i < 4; ++i) {
    const calibration::Place dot = calibration::dotCentreOnDesktop(static_cast<int>(i), Road::monitor());
    ASSERT_TRUE(waitFor([&] { return redNear(road, dot); }, scaled(5s))) << "target " << i << " not seen";
    if (i == 2) road.shoot("bottom");
    // Touches closer than 900 ms to the last accepted one are one touch: this wait is the
    // screen's own rule, not a synchronisation.
    std::this_thread::sleep_for(1000ms);
    bool taken = false;
    for (int attempt = 0; attempt < 3 && !taken; ++attempt) {
      clickAt(dot.left, dot.top);
      taken = waitFor([&] { return countOf(road.driverLog(), "00000009 - ok") == i + 1; }, scaled(5s));
    }
    ASSERT_TRUE(taken) << "target " << i << "\n" << road.driverLog();
  }
  ASSERT_TRUE(waitFor([&] { return road.monitorLog().find("received 0x5BC") != std::string::npos; }, scaled(10s)));

  // The store: texts and copies of the four limits, each 3 units inside a played reading.
  platform::RegistryFileStore store(road.root());
  auto value = [&](std::string_view name) {
    auto v = store.readValue(platform::RegistryRoot::LocalMachine, "SOFTWARE\\Quorvane", name);
    return v ? v->data : std::vector<std::uint8_t>{};
  };
  const std::string names[4] = {"X1", "X2", "Y1", "Y2"};
  const int truth[4] = {0x20 + 3, 0xE0 - 3, 0x30 + 3, 0xD0 - 3};
  int limits[4] = {};
  for (int i = 0; i < 4; ++i) {
    const auto bytes = value("Cfg_" + names[i]);
    const std::string t(bytes.begin(), bytes.end());
    ASSERT_EQ(t.size(), 3u) << names[i] << " " << t;
    EXPECT_EQ(t.back(), 'H');
    limits[i] = std::stoi(t.substr(0, 2), nullptr, 16);
    EXPECT_LE(std::abs(limits[i] - truth[i]), 2) << names[i] << " " << t;
    EXPECT_EQ(value(names[i]), (std::vector<std::uint8_t>{0x00, static_cast<std::uint8_t>(limits[i])}));
  }
  EXPECT_EQ(value("IsCursorOffset"), (std::vector<std::uint8_t>{0, 0, 0, 0}));

  // The driver uses the limits the screen sent and left calibration mode; the cursor offset
  // went off with the offset kept (-3 pixels = -189 units on this screen).
  const std::string state = road.driverState();
  char expected[32];
  std::snprintf(expected, sizeof expected, "limits=%02X %02X %02X %02X", limits[0], limits[1], limits[2], limits[3]);
  EXPECT_NE(state.find(expected), std::string::npos) << state;
  EXPECT_NE(state.find("calibration_mode=0"), std::string::npos) << state;
  EXPECT_NE(state.find("cursor_offset=0 -189 0"), std::string::npos) << state;
  const std::string requests = road.driverLog();
  EXPECT_LT(requests.find("00000002 "), requests.find("0000000a 0001bd000000"));

  // The screen is gone and the main window is back.
  EXPECT_TRUE(waitFor([&] { return road.panelWindows().size() == 1; }, scaled(10s)));
}

TEST_P(CalibrationRoad, CancelGivesTheDriverItsStoredLimitsBack) {
  Road road("calibration", GetParam());
  ASSERT_EQ(road.problem(), "");
  ASSERT_TRUE(road.startDriverd());
  ASSERT_TRUE(road.startMonitor());
  road.startPanel();
  ASSERT_TRUE(openCalibrationScreen(road));

  clickCancel();
  ASSERT_TRUE(waitFor([&] { return !screenShown(road); }, scaled(20s)));
  // The demo machine's stored limits, and calibration mode over.
  const std::string state = road.driverState();
  EXPECT_NE(state.find("limits=03 FC 03 FC"), std::string::npos) << state;
  EXPECT_NE(state.find("calibration_mode=0"), std::string::npos) << state;
  EXPECT_EQ(road.storeValue("HKLM\\SOFTWARE\\Quorvane", "Cfg_X1"), "03H");
  EXPECT_TRUE(road.waitWindow("Quorvane Control Panel"));
}

TEST_P(CalibrationRoad, CancelWithTheDriverGoneSaysSoAndASecondCancelLeaves) {
  Road road("calibration", GetParam());
  ASSERT_EQ(road.problem(), "");
  ASSERT_TRUE(road.startDriverd());
  ASSERT_TRUE(road.startMonitor());
  road.startPanel();
  ASSERT_TRUE(openCalibrationScreen(road));

  road.stopDriverd();
  // Below Cancel, where the screen's message stands, until it says the driver is gone.
  const auto message = [&] { return road.screenArea(W / 2 - 300, H / 2 + 110, 600, 50); };
  const std::string before = message();
  clickCancel();
  const bool said = waitFor([&] { return message() != before; }, scaled(20s));
  road.shoot("driver-gone");
  ASSERT_TRUE(said);
  EXPECT_TRUE(screenShown(road));

  clickCancel();
  EXPECT_TRUE(waitFor([&] { return !screenShown(road); }, scaled(20s)));
  EXPECT_TRUE(road.waitWindow("Quorvane Control Panel"));
}

INSTANTIATE_TEST_SUITE_P(Desktops, CalibrationRoad, ::testing::ValuesIn(kX11Desktops), DesktopTestName());

}  // namespace
}  // namespace qv::e2e
