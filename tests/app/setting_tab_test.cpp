// The Setting tab's live controls: the arrows with their auto-repeat, the track bars at
// the system settings, the port controls.
#include "app/setting_tab.h"
#include "panel_rig.h"

#include <gtest/gtest.h>

namespace qv::app {
namespace {

using test::PanelRig;

struct ArrowTest : ::testing::Test {
  void SetUp() override { ASSERT_EQ(rig.loadFresh(), LoadOutcome::Ready); }
  PanelRig rig;
};

TEST_F(ArrowTest, HoldingAnArrowStepsOnceThenAfter300msThenEvery50ms) {
  rig.controller.arrowMouseDown(Arrow::Right);
  EXPECT_EQ(rig.runtime().cursorOffsetDX, 1);
  EXPECT_TRUE(rig.timer.isActive());
  rig.timer.advance(299);
  EXPECT_EQ(rig.runtime().cursorOffsetDX, 1);
  rig.timer.advance(1);
  EXPECT_EQ(rig.runtime().cursorOffsetDX, 2);
  EXPECT_EQ(rig.timer.interval(), 50);
  rig.timer.advance(700);  // one second held in all
  EXPECT_EQ(rig.runtime().cursorOffsetDX, 16);
  EXPECT_EQ(rig.controls().movecur, (Point{44 + 16, 35}));
  EXPECT_EQ(rig.runtime().arrowDirection, Arrow::Right);

  rig.controller.btnUpMouseUp();
  EXPECT_FALSE(rig.timer.isActive());
  EXPECT_EQ(rig.timer.interval(), 300);
  rig.timer.advance(1000);
  EXPECT_EQ(rig.runtime().cursorOffsetDX, 16);
  EXPECT_EQ(rig.runtime().cursorOffsetDY, 0);
}

TEST_F(ArrowTest, TheCursorStaysOnePixelInsideThePanel) {
  rig.controller.arrowMouseDown(Arrow::Left);
  rig.timer.advance(10'000);
  rig.controller.btnUpMouseUp();
  EXPECT_EQ(rig.runtime().cursorOffsetDX, -43);
  EXPECT_EQ(rig.controls().movecur.left, 1);

  rig.controller.arrowMouseDown(Arrow::Right);
  rig.timer.advance(10'000);
  rig.controller.btnUpMouseUp();
  EXPECT_EQ(rig.runtime().cursorOffsetDX, 44);

  rig.controller.arrowMouseDown(Arrow::Down);
  rig.timer.advance(10'000);
  // At the edge the timer runs on without effect.
  EXPECT_TRUE(rig.timer.isActive());
  rig.controller.btnUpMouseUp();
  EXPECT_EQ(rig.runtime().cursorOffsetDY, 35);

  rig.controller.arrowMouseDown(Arrow::Up);
  rig.timer.advance(10'000);
  rig.controller.btnUpMouseUp();
  EXPECT_EQ(rig.runtime().cursorOffsetDY, -34);
  EXPECT_EQ(rig.controls().movecur.top, 1);
}

TEST_F(ArrowTest, ABlockedStepChangesNothingAndStartsNoTimer) {
  rig.runtime().cursorOffsetDY = -34;
  rig.runtime().arrowDirection = Arrow::Left;
  placeCursorPictures(rig.controls(), rig.runtime());
  ASSERT_EQ(rig.controls().movecur.top, 1);
  rig.controller.arrowMouseDown(Arrow::Up);
  EXPECT_EQ(rig.runtime().cursorOffsetDY, -34);
  EXPECT_EQ(rig.runtime().arrowDirection, Arrow::Left);
  EXPECT_FALSE(rig.timer.isActive());
}

TEST_F(ArrowTest, AnOffsetOutsideThePanelOnlyMovesBackInside) {
  rig.runtime().cursorOffsetDX = 60;
  placeCursorPictures(rig.controls(), rig.runtime());
  rig.controller.arrowMouseDown(Arrow::Right);
  EXPECT_EQ(rig.runtime().cursorOffsetDX, 60);
  rig.controller.arrowMouseDown(Arrow::Left);
  EXPECT_EQ(rig.runtime().cursorOffsetDX, 59);
  EXPECT_TRUE(rig.deviceIo.sessions().empty());
}

TEST_F(ArrowTest, TrackBarsSetTheSystemDoubleClickValuesAtOnce) {
  rig.controls().speedPosition = 900;
  rig.controller.TrackBar1Change();
  rig.controls().speedPosition = 100;
  rig.controller.TrackBar1Change();
  rig.controls().areaPosition = 25;
  rig.controller.TrackBar2Change();
  EXPECT_EQ(rig.system.actions(),
            (std::vector<std::string>{"setDoubleClickTime(100)", "setDoubleClickTime(900)", "setDoubleClickWidth(25)",
                                      "setDoubleClickHeight(25)"}));
  // OK stores the inverse of each position.
  rig.controller.btnOkClick();
  EXPECT_EQ(rig.value("Cfg_DKSpeed")->data, (std::vector<std::uint8_t>{0x84, 0x03, 0, 0}));
  EXPECT_EQ(rig.value("Cfg_DKArea")->data, (std::vector<std::uint8_t>{75, 0, 0, 0}));
}

TEST_F(ArrowTest, CheckBoxRulesKeepMarksAndValues) {
  PanelControls& c = rig.controls();
  c.sound = false;
  rig.controller.cbSoundClick();
  EXPECT_FALSE(c.longBeepEnabled);
  EXPECT_TRUE(c.longBeep);
  c.cursorOffset = false;
  rig.runtime().cursorOffsetDX = 5;
  rig.controller.cbCursorOffsetClick();
  EXPECT_FALSE(c.arrowsEnabled);
  // OK still stores the long beep mark and the offset, sent with the "off" flag.
  rig.controller.btnOkClick();
  EXPECT_EQ(rig.value("Ctrl_LongBeep")->data, (std::vector<std::uint8_t>{1, 0, 0, 0}));
  EXPECT_EQ(rig.text("CursorOffsetDX"), "5");
  const auto offset = rig.deviceIo.requests().back().input;
  EXPECT_EQ(offset[0], 0);
  EXPECT_EQ(std::vector<std::uint8_t>(offset.begin() + 1, offset.begin() + 6), (std::vector<std::uint8_t>{0, 59, 1, 0, 0}));  // 5 x 63
}

TEST_F(ArrowTest, PortControlsFollowTheComboBoxAndUserDefine) {
  PanelControls& c = rig.controls();
  c.comboIndex = 1;
  c.comboText = "COM2";
  rig.controller.ComboBox1Change();
  EXPECT_EQ(c.irqText, "3");
  EXPECT_EQ(c.portText, "2F8H");
  c.comboIndex = -1;
  c.comboText = "COM";
  rig.controller.ComboBox1Change();
  EXPECT_EQ(c.irqText, "3");

  c.userDefine = true;
  rig.controller.cbUserDefineClick();
  EXPECT_FALSE(c.comboEnabled);
  EXPECT_TRUE(c.irqEnabled);
  EXPECT_TRUE(c.portEnabled);
  EXPECT_EQ(c.portText, "2F8H");
}

}  // namespace
}  // namespace qv::app
