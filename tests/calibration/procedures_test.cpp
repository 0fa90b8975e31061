// The Initial and calibration procedures at a recording driver, store and monitor.
#include "calibration/procedures.h"
#include "calibration_rig.h"

#include <gtest/gtest.h>

namespace qv::calibration {
namespace {

using driver::RequestCode;
using test::code;
using Bytes = std::vector<std::uint8_t>;

class InitialTest : public ::testing::Test {
protected:
  test::CalibrationRig rig;
  int errorWindows = 0;
  // The driver's answer, written before InitializeDriver returns, as the driver does.
  std::string driverAnswer = "Success";

  InitialOutcome runInitial(bool quiet = false) {
    rig.deviceIo.setReply(code(RequestCode::InitializeDriver), {});
    const InitialServices services{rig.store, rig.driver, rig.prompts, [this] { ++errorWindows; }};
    // The recording driver does not write the store: the answer is put in place first.
    rig.store.import("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n\"Vxd Init\"=\"" + driverAnswer + "\"\n");
    return runInitialProcedure(services, quiet);
  }
  Bytes sentRecord() {
    const auto requests = rig.deviceIo.requests();
    return requests.empty() ? Bytes{} : requests.back().input;
  }
};

TEST_F(InitialTest, SendsStoredLimitsWithDefaultsForAbsentOnes) {
  EXPECT_EQ(runInitial(), InitialOutcome::Succeeded);
  EXPECT_EQ(sentRecord(), (Bytes{0x03, 0xFC, 0x03, 0xFC, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(errorWindows, 0);

  rig.store.import("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n\"Cfg_X2\"=\"F0H\"\n\"Cfg_Y1\"=\"3E8H\"\n");
  runInitial();
  EXPECT_EQ(sentRecord(), (Bytes{0x03, 0xF0, 0xE8, 0xFC, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(rig.deviceIo.codes(), (std::vector<std::uint32_t>{3, 3}));
}

TEST_F(InitialTest, DriverAbsentTellsTheUserAndShowsNoErrorWindow) {
  rig.deviceIo.setAbsent(true);
  EXPECT_EQ(runInitial(), InitialOutcome::DriverAbsent);
  EXPECT_EQ(rig.prompts.notices, (std::vector<std::string>{"Can't load driver correctly !\nSystem may need reboot."}));
  EXPECT_EQ(errorWindows, 0);
  EXPECT_TRUE(rig.deviceIo.requests().empty());
}

TEST_F(InitialTest, AnswerOtherThanExactlySuccessShowsTheWindowUnlessQuiet) {
  driverAnswer = "success";
  EXPECT_EQ(runInitial(), InitialOutcome::Failed);
  EXPECT_EQ(errorWindows, 1);
  EXPECT_EQ(runInitial(/*quiet=*/true), InitialOutcome::Unchecked);
  EXPECT_EQ(errorWindows, 1);
  EXPECT_EQ(rig.deviceIo.codes(), (std::vector<std::uint32_t>{3, 3}));  // quiet still initialises
  EXPECT_TRUE(rig.prompts.notices.empty());
}

class CalibrationProcedureTest : public ::testing::Test {
protected:
  CalibrationProcedureTest() {
    rig.system.setScreenSize(640, 480);
    rig.messenger.addWindow("TWatchForm", "Quorvane Monitor");
  }

  test::CalibrationRig rig;
  int screenShowings = 0;
  bool cancelOnScreen = false;
  bool ticked = true;

  CalibrationOutcome runCalibration() {
    rig.store.clearLogs();
    const CalibrationServices services{rig.store, rig.driver, rig.messenger, rig.system, [this] {
                                         ++screenShowings;
                                         rig.state.CalibrationCancelled = cancelOnScreen;
                                       }};
    return runCalibrationProcedure(services, rig.state, {[this] { ticked = false; }, -3, 2});
  }
};

TEST_F(CalibrationProcedureTest, CompletedSwitchesTheOffsetOffAndTellsTheMonitor) {
  EXPECT_EQ(runCalibration(), CalibrationOutcome::Completed);
  EXPECT_EQ(screenShowings, 1);
  EXPECT_FALSE(ticked);
  EXPECT_EQ(rig.store.writeLog(), (std::vector<std::string>{"HKLM\\SOFTWARE\\Quorvane\\IsCursorOffset"}));
  EXPECT_EQ(rig.bytes("IsCursorOffset"), (Bytes{0, 0, 0, 0}));

  const auto sessions = rig.deviceIo.sessions();
  ASSERT_EQ(sessions.size(), 2u);
  EXPECT_EQ(sessions[0].requests.at(0).code, code(RequestCode::BeginCalibration));
  // Off, with the kept offsets: 65535 / 640 = 102 units a pixel, -306 and 272 (65535 / 480 = 136).
  EXPECT_EQ(sessions[1].requests.at(0).code, code(RequestCode::SetCursorOffset));
  EXPECT_EQ(sessions[1].requests.at(0).input, (Bytes{0, 1, 0x32, 0x01, 0, 0, 0, 0x10, 0x01, 0, 0}));

  const auto sent = rig.messenger.sent();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].className, "TWatchForm");
  EXPECT_EQ(sent[0].message.message, 0x5BCu);
  EXPECT_EQ(sent[0].message.wParam, 0u);
  EXPECT_EQ(sent[0].message.lParam, 0u);
}

TEST_F(CalibrationProcedureTest, DriverAbsentShowsNothing) {
  rig.deviceIo.setAbsent(true);
  EXPECT_EQ(runCalibration(), CalibrationOutcome::DriverAbsent);
  EXPECT_EQ(screenShowings, 0);
  EXPECT_TRUE(ticked);
  EXPECT_TRUE(rig.messenger.records().empty());
}

TEST_F(CalibrationProcedureTest, CancelledLeavesEverythingAsItWas) {
  cancelOnScreen = true;
  EXPECT_EQ(runCalibration(), CalibrationOutcome::Cancelled);
  EXPECT_EQ(rig.state.limitsBefore, (driver::CalibrationRecord{0x03, 0xFC, 0x03, 0xFC}));  // for Cancel
  EXPECT_TRUE(ticked);
  EXPECT_TRUE(rig.store.writeLog().empty());
  EXPECT_EQ(rig.deviceIo.codes(), (std::vector<std::uint32_t>{code(RequestCode::BeginCalibration)}));
  EXPECT_TRUE(rig.messenger.records().empty());
}

TEST_F(CalibrationProcedureTest, UnreadableStoredLimitsRefuseToBegin) {
  rig.store.failEverything("registry.reg line 3: not a value");
  EXPECT_ANY_THROW(runCalibration());  // its error goes to the error box
  EXPECT_EQ(rig.deviceIo.openAttempts(), 0u);  // no calibration mode, no screen
}

TEST_F(CalibrationProcedureTest, DriverGoneAfterTheScreenStillWritesAndNotifies) {
  const CalibrationServices services{rig.store, rig.driver, rig.messenger, rig.system,
                                     [this] { rig.deviceIo.setAbsent(true); }};
  EXPECT_EQ(runCalibrationProcedure(services, rig.state, {[this] { ticked = false; }, 0, 0}),
            CalibrationOutcome::Completed);
  EXPECT_EQ(rig.bytes("IsCursorOffset"), (Bytes{0, 0, 0, 0}));
  EXPECT_EQ(rig.deviceIo.codes(), (std::vector<std::uint32_t>{code(RequestCode::BeginCalibration)}));
  EXPECT_EQ(rig.messenger.sent().size(), 1u);
}

}  // namespace
}  // namespace qv::calibration
