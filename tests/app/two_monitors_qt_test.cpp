// Two monitors, the second right of and lower than the first, the main window on the
// second: the drawing test covers that monitor (its menu at its corner) and the screen
// size is that monitor's. A program of its own, as the monitors are the platform's start-up
// configuration.
#include "drawtest/qt/draw_form.h"
#include "platform/qt/qt_system_hooks.h"
#include "support/recording_device_io.h"

#include <QApplication>
#include <QMenu>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }

namespace qv {
namespace {

TEST(TwoMonitors, TheDrawingTestCoversTheMonitorOfTheMainWindow) {
  const std::string config = ::testing::TempDir() + "qv-two-monitors.json";
  std::ofstream(config) << R"({"windowFrameMargins": false, "screens": [
    {"name": "one", "x": 0, "y": 0, "width": 1280, "height": 1024},
    {"name": "two", "x": 1280, "y": 200, "width": 808, "height": 608}]})";
  ::setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config).c_str(), 1);
  static int argc = 1;
  static char name[] = "two_monitors_qt_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);  // outlives every window
  ASSERT_EQ(app->screens().size(), 2);
  QScreen* second = app->screens()[1];

  QWidget mainWindow;
  mainWindow.setScreen(second);
  mainWindow.setGeometry(1400, 300, 552, 420);
  mainWindow.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&mainWindow));
  const platform::ScreenSize size = platform::qtSystemHooks([&] { return &mainWindow; }).screenSize();
  EXPECT_EQ(size.width, 808);
  EXPECT_EQ(size.height, 608);

  test::RecordingDeviceIo io;
  driver::DriverChannel channel(io);
  drawtest::DrawTestState state;
  drawtest::TDrawForm form(state, channel, &mainWindow);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  EXPECT_EQ(form.screen(), second);
  EXPECT_EQ(form.geometry(), QRect(1280, 200, 808, 608));
  form.Button1Click();
  EXPECT_EQ(form.popupMenu1()->pos(), QPoint(1280, 200));
}

}  // namespace
}  // namespace qv
