// The calibration screen's behaviour without a window: the gap between touches on the
// wrapping tick count, the limits a touch takes, completion and Cancel.
#include "calibration/calib_screen.h"
#include "calibration/calibration_limits.h"
#include "calibration_rig.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace qv::calibration {
namespace {

using driver::CalibrationRecord;
using driver::RequestCode;
using test::code;
using Bytes = std::vector<std::uint8_t>;

class CalibScreenTest : public ::testing::Test {
protected:
  test::CalibrationRig rig;
  test::RecordingView view;
  CalibScreen screen{rig.state, rig.screenServices(), view};

  TouchResult touchAt(std::uint32_t tick) {
    rig.system.setTickCount(tick);
    return screen.FormMouseDown();
  }
  std::size_t beeps() {
    const auto a = rig.system.actions();
    return static_cast<std::size_t>(std::count(a.begin(), a.end(), "beep(4294967295)"));
  }
  CalibrationRecord lastCalibrationSent() {
    CalibrationRecord r;
    for (const auto& q : rig.deviceIo.requests()) {
      if (q.code == code(RequestCode::SetCalibration)) {
        std::array<std::uint8_t, 10> b{};
        std::copy_n(q.input.begin(), 10, b.begin());
        r = CalibrationRecord::fromBytes(b);
      }
    }
    return r;
  }
};

TEST_F(CalibScreenTest, TouchesCloserThan900MsAreOneTouchAlsoAcrossTheWrap) {
  EXPECT_EQ(touchAt(1000), TouchResult::Taken);
  EXPECT_EQ(touchAt(1500), TouchResult::TooSoon);  // no beep, no progress, no request
  EXPECT_EQ(rig.state.TargetIndex, 1);
  EXPECT_EQ(beeps(), 1u);
  EXPECT_EQ(rig.deviceIo.openAttempts(), 1u);
  // The gap counts from the last accepted touch, not the ignored one: 900 ms is enough.
  EXPECT_EQ(touchAt(1900), TouchResult::Taken);
  EXPECT_EQ(rig.state.TargetIndex, 2);

  rig.state.LastAcceptedTick = 0xFFFFFF00u;
  EXPECT_EQ(touchAt(0x00000100u), TouchResult::TooSoon);  // 512 ms across the wrap
  EXPECT_EQ(touchAt(0x00000284u), TouchResult::Taken);    // 900 ms across the wrap
  EXPECT_EQ(rig.state.LastAcceptedTick, 0x00000284u);
  EXPECT_EQ(beeps(), 3u);
}

TEST_F(CalibScreenTest, LimitsKeepTextTwoBytesAndRecordByte) {
  struct Case {
    int target;
    std::uint8_t x, y;
    Limit limit;
    const char* text;
    std::uint8_t byte;
  };
  const Case cases[] = {
      {0, 0x80, 0x10, Limit::Y1, "13H", 0x13},        // top: rawY + 3
      {1, 0x01, 0x80, Limit::X2, "FFFFFFFEH", 0xFE},  // right: rawX - 3 below zero
      {2, 0x80, 0xF0, Limit::Y2, "EDH", 0xED},        // bottom: rawY - 3
      {3, 0xFE, 0x80, Limit::X1, "101H", 0x01},       // left: rawX + 3 above 255
  };
  CalibrationState state;
  for (const Case& c : cases) {
    driver::RawPoint p;
    p.bytes[1] = c.x;
    p.bytes[3] = c.y;
    keepLimit(state, limitForTarget(c.target, p));
    const auto i = static_cast<std::size_t>(c.limit);
    EXPECT_EQ(state.limitTexts[i], c.text) << c.target;
    EXPECT_EQ(state.limitPairs[i], (settings::TwoBytes{0x00, c.byte})) << c.target;
  }
  EXPECT_EQ(state.newLimits, (CalibrationRecord{0x01, 0xFE, 0x13, 0xED}));
}

TEST_F(CalibScreenTest, FourthTouchStoresSendsOnTheSameOpenAndCloses) {
  rig.nextReading(0x80, 0x10);
  rig.nextReading(0xF0, 0x80);
  rig.nextReading(0x80, 0xE8);
  rig.nextReading(0x12, 0x80);
  rig.state.CalibrationCancelled = true;  // from an earlier showing
  for (std::uint32_t i = 0; i < 3; ++i) EXPECT_EQ(touchAt(1000 * (i + 1)), TouchResult::Taken);
  EXPECT_EQ(view.closes, 0);
  rig.store.clearLogs();
  view.events.clear();
  EXPECT_EQ(touchAt(4000), TouchResult::Completed);

  EXPECT_FALSE(rig.state.CalibrationCancelled);
  EXPECT_EQ(rig.state.TargetIndex, 0);
  EXPECT_EQ(view.events,
            (std::vector<std::string>{"layOut", "minimise", "close", "layOut", "repaint"}));
  EXPECT_EQ(rig.store.writeLog(),
            (std::vector<std::string>{"HKLM\\SOFTWARE\\Quorvane\\Cfg_X1", "HKLM\\SOFTWARE\\Quorvane\\Cfg_X2",
                                      "HKLM\\SOFTWARE\\Quorvane\\Cfg_Y1", "HKLM\\SOFTWARE\\Quorvane\\Cfg_Y2",
                                      "HKLM\\SOFTWARE\\Quorvane\\X1", "HKLM\\SOFTWARE\\Quorvane\\X2",
                                      "HKLM\\SOFTWARE\\Quorvane\\Y1", "HKLM\\SOFTWARE\\Quorvane\\Y2",
                                      "HKLM\\SOFTWARE\\Quorvane\\Cfg_Monitor", "HKLM\\SOFTWARE\\Quorvane\\Cfg_MonitorMaker",
                                      "HKLM\\SOFTWARE\\Quorvane\\Cfg_MonitorModel", "HKLM\\SOFTWARE\\Quorvane\\Cfg_MonitorSerial",
                                      "HKLM\\SOFTWARE\\Quorvane\\Cfg_MonitorSizeMM", "HKLM\\SOFTWARE\\Quorvane\\Cfg_Rotation",
                                      "HKLM\\SOFTWARE\\Quorvane\\Cfg_SwapXY"}));
  EXPECT_EQ(rig.text("Cfg_X1"), "15H");
  EXPECT_EQ(rig.text("Cfg_X2"), "EDH");
  EXPECT_EQ(rig.text("Cfg_Y1"), "13H");
  EXPECT_EQ(rig.text("Cfg_Y2"), "E5H");
  EXPECT_EQ(rig.bytes("Y2"), (Bytes{0x00, 0xE5}));
  EXPECT_EQ(rig.text("Cfg_SwapXY"), "0");

  const auto sessions = rig.deviceIo.sessions();
  ASSERT_EQ(sessions.size(), 4u);
  const auto& last = sessions.back().requests;
  ASSERT_EQ(last.size(), 2u);
  EXPECT_EQ(last[0].code, code(RequestCode::ReadRawPoint));
  EXPECT_EQ(last[1].code, code(RequestCode::SetCalibration));
  EXPECT_EQ(last[1].input, (Bytes{0x15, 0xED, 0x13, 0xE5, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(rig.deviceIo.openHandles(), 0u);
}

TEST_F(CalibScreenTest, OnATurnedMonitorEachLimitComesFromTheTargetOnItsUnturnedEdge) {
  // Turned 90 degrees, the targets shown top, right, bottom, left sit on the unturned left,
  // top, right and bottom edges; readings that change in X from left to right as shown
  // mean the controller's X runs along the monitor's unturned height.
  view.monitor = {"DP-1", "QVM", "Model 7", "S1", 300, 200, {90, false}};
  for (auto [x, y] : {std::pair{0x80, 0x10}, {0xF0, 0x80}, {0x80, 0xE8}, {0x12, 0x80}}) {
    rig.nextReading(static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y));
  }
  for (std::uint32_t i = 0; i < 4; ++i) touchAt(1000 * (i + 1));
  EXPECT_EQ(lastCalibrationSent(), (CalibrationRecord{0xF3, 0x0F, 0x13, 0xE5}));
  EXPECT_EQ(rig.text("Cfg_X1"), "F3H");
  EXPECT_EQ(rig.text("Cfg_Monitor"), "DP-1");
  EXPECT_EQ(rig.text("Cfg_MonitorSizeMM"), "300,200");
  EXPECT_EQ(rig.text("Cfg_Rotation"), "90");
  EXPECT_EQ(rig.text("Cfg_SwapXY"), "1");
}

TEST_F(CalibScreenTest, TouchWithoutDriverKeepsItsTimeButTakesNothing) {
  rig.deviceIo.setAbsent(true);
  EXPECT_EQ(touchAt(1000), TouchResult::DriverAbsent);
  EXPECT_EQ(rig.state.LastAcceptedTick, 1000u);
  EXPECT_EQ(rig.state.TargetIndex, 0);
  EXPECT_EQ(beeps(), 0u);
  rig.deviceIo.setAbsent(false);
  EXPECT_EQ(touchAt(1500), TouchResult::TooSoon);
  EXPECT_EQ(touchAt(1900), TouchResult::Taken);
  EXPECT_EQ(rig.state.TargetIndex, 1);
}

TEST_F(CalibScreenTest, CancelSendsTheLimitsReadBeforeCalibrationBegan) {
  rig.state.limitsBefore = {0x15, 0xFC, 0x03, 0xE5};
  rig.store.failEverything("registry.reg line 3: not a value");  // not read again
  rig.state.TargetIndex = 2;
  EXPECT_EQ(screen.btnCancelClick(), CancelResult::Sent);
  EXPECT_EQ(lastCalibrationSent(), rig.state.limitsBefore);
  EXPECT_TRUE(rig.state.CalibrationCancelled);
  EXPECT_EQ(rig.state.TargetIndex, 0);
  EXPECT_EQ(view.closes, 1);
  EXPECT_TRUE(rig.store.writeLog().empty());

  screen.FormKeyPress(27);  // Esc
  EXPECT_EQ(lastCalibrationSent(), (CalibrationRecord{0x15, 0xFC, 0x03, 0xE5}));
  EXPECT_EQ(view.closes, 2);
}

TEST_F(CalibScreenTest, CancelWithoutDriverSaysSoAndTheNextCancelCloses) {
  rig.deviceIo.setAbsent(true);
  rig.state.TargetIndex = 3;
  screen.FormShow();
  EXPECT_EQ(screen.btnCancelClick(), CancelResult::DriverUnreachable);
  EXPECT_EQ(view.closes, 0);
  EXPECT_EQ(view.message, std::string(kCancelUnreachableText));
  EXPECT_EQ(rig.state.TargetIndex, 0);

  screen.FormShow();  // restored from minimised: the same showing
  EXPECT_EQ(view.message, std::string(kCancelUnreachableText));
  screen.FormKeyPress(27);
  EXPECT_EQ(view.closes, 1);
  EXPECT_TRUE(rig.state.CalibrationCancelled);

  // The next showing starts without the message, and a lone failed Cancel keeps it open.
  screen.FormShow();
  EXPECT_TRUE(view.message.empty());
  EXPECT_EQ(screen.btnCancelClick(), CancelResult::DriverUnreachable);
  EXPECT_EQ(view.closes, 1);
}

TEST_F(CalibScreenTest, StoreThatRefusesTheLimitsEndsTheScreenAsCancelled) {
  rig.store.import("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n\"Cfg_X1\"=\"15H\"\n");
  rig.state.limitsBefore = {0x15, 0xFC, 0x03, 0xFC};
  rig.store.refuseWritesOf("Y2");
  for (std::uint32_t i = 0; i < 3; ++i) touchAt(1000 * (i + 1));
  EXPECT_EQ(touchAt(4000), TouchResult::NotStored);
  EXPECT_TRUE(rig.state.CalibrationCancelled);
  EXPECT_EQ(rig.state.TargetIndex, 0);
  EXPECT_EQ(view.closes, 1);
  EXPECT_EQ(view.errors, (std::vector<std::string>{"Failed to set data for 'Cfg_X1'"}));
  EXPECT_EQ(rig.text("Cfg_X1"), "15H");  // none of the eight was written
  EXPECT_EQ(lastCalibrationSent(), (CalibrationRecord{0x15, 0xFC, 0x03, 0xFC}));  // ends calibration mode
  rig.deviceIo.setFailing(code(RequestCode::SetCalibration));  // nor are they taken back: said too
  for (std::uint32_t i = 0; i < 4; ++i) touchAt(5000 + 1000 * i);
  EXPECT_EQ(view.errors.back(), "Failed to set data for 'Cfg_X1'\n" + std::string(kLimitsNotRestoredText));
}

TEST_F(CalibScreenTest, TouchWithoutReadingStaysAndLimitsTheDriverRefusesAreReported) {
  rig.deviceIo.setFailing(code(RequestCode::ReadRawPoint));
  EXPECT_EQ(touchAt(1000), TouchResult::Unread);
  EXPECT_EQ(rig.state.TargetIndex, 0);
  EXPECT_EQ(view.message, std::string(kDriverUnreadText));
  rig.deviceIo.setFailing(code(RequestCode::ReadRawPoint), false);
  for (std::uint32_t i = 0; i < 3; ++i) EXPECT_EQ(touchAt(2000 + 1000 * i), TouchResult::Taken);
  EXPECT_TRUE(view.message.empty());

  rig.deviceIo.setFailing(code(RequestCode::SetCalibration));
  EXPECT_EQ(touchAt(5000), TouchResult::NotTaken);
  EXPECT_FALSE(rig.state.CalibrationCancelled);  // the procedure goes on after the screen
  EXPECT_EQ(view.errors, (std::vector<std::string>{std::string(kLimitsNotTakenText)}));
}

TEST_F(CalibScreenTest, MonitorChangeStartsAgainAtTheTopWithNoLimitsTaken) {
  screen.FormShow();
  for (std::uint32_t tick : {1000u, 2000u}) touchAt(tick);
  screen.FormMonitorChanged();
  EXPECT_EQ(rig.state.TargetIndex, 0);
  EXPECT_EQ(rig.state.limitTexts, (std::array<std::string, 4>{}));
  EXPECT_EQ(view.message, std::string(kMonitorChangedText));
}

}  // namespace
}  // namespace qv::calibration
