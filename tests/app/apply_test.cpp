// OK and Cancel: every road checked at the store, the recording driver and the
// recording window messages.
#include "panel_rig.h"
#include "settings/settings_key.h"

#include <gtest/gtest.h>

namespace qv::app {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::PanelRig;
using test::RecordingWindowMessenger;

constexpr const char* kMouseSoftware = "SOFTWARE\\Logitech\\MouseWare\\CurrentVersion\\Global";

std::vector<std::string> quorvaneWrites(std::initializer_list<const char*> names) {
  std::vector<std::string> out;
  for (const char* n : names) out.push_back(std::string("HKLM\\SOFTWARE\\Quorvane\\") + n);
  return out;
}

Bytes bytes(const std::optional<platform::RegistryValue>& v) { return v ? v->data : Bytes{}; }

struct OkTest : ::testing::Test {
  void SetUp() override {
    rig.messenger.addWindow("TWatchForm", "Quorvane Monitor");
    ASSERT_EQ(rig.loadFresh(), LoadOutcome::Ready);
  }
  PanelRig rig;
};

TEST_F(OkTest, WritesEverySettingThenTellsTheDriverAndTheMonitor) {
  EXPECT_TRUE(rig.controller.btnOkClick());
  EXPECT_EQ(rig.store.writeLog(),
            quorvaneWrites({"IsComUserDef", "Cfg_COM", "Cfg_IRQ", "Cfg_Port", "Port", "IRQ", "Ctrl_RightPanel",
                            "Ctrl_Sound", "Ctrl_LongBeep", "HideCursor", "IsCursorOffset", "CursorOffsetDX",
                            "CursorOffsetDY", "Cfg_DKSpeed", "Cfg_DKArea", "HideCursor"}));
  EXPECT_EQ(rig.text("Cfg_COM"), "COM1");
  EXPECT_EQ(bytes(rig.value("Port")), (Bytes{0x03, 0xF8}));
  EXPECT_EQ(bytes(rig.value("IRQ")), (Bytes{0x00, 0x04}));
  EXPECT_EQ(bytes(rig.value("Cfg_DKSpeed")), (Bytes{0xF4, 0x01, 0, 0}));
  EXPECT_FALSE(rig.value("UserIRQ"));

  const auto sessions = rig.deviceIo.sessions();
  ASSERT_EQ(sessions.size(), 1u);
  EXPECT_TRUE(sessions[0].closed);
  ASSERT_EQ(sessions[0].requests.size(), 4u);
  const auto& q = sessions[0].requests;
  EXPECT_EQ(q[0].code, 7u);
  EXPECT_EQ(q[0].input, (Bytes{1, 0, 0, 0}));
  EXPECT_EQ(q[1].code, 6u);
  EXPECT_EQ(q[1].input, (Bytes{1, 0, 0, 0}));
  EXPECT_EQ(q[2].code, 13u);
  EXPECT_EQ(q[2].input, (Bytes{1}));
  EXPECT_EQ(q[3].code, 10u);
  EXPECT_EQ(q[3].input, (Bytes{1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  for (const auto& r : q) EXPECT_EQ(r.outputSize, 0u);

  ASSERT_EQ(rig.messenger.sent().size(), 1u);
  EXPECT_EQ(rig.messenger.sent()[0].message.message, 0x5BCu);
  EXPECT_EQ(rig.messenger.sent()[0].message.wParam, 0u);
  EXPECT_TRUE(rig.messenger.posted().empty());
  EXPECT_TRUE(rig.prompts.questions.empty());
  EXPECT_EQ(rig.launcher.restartRequests(), 0);
  EXPECT_TRUE(rig.system.actions().empty());  // cursor scheme left alone without oldarrow
}

TEST_F(OkTest, EmptyPortTextsStopBeforeAnythingIsWritten) {
  rig.controls().irqText.clear();
  EXPECT_FALSE(rig.controller.btnOkClick());
  EXPECT_EQ(rig.prompts.notices, (std::vector<std::string>{"ComPort Setting is invalid !"}));
  EXPECT_TRUE(rig.store.writeLog().empty());
  EXPECT_TRUE(rig.deviceIo.sessions().empty());
}

TEST_F(OkTest, MouseSoftwareSearchOrderLeavesTheControllerPortOut) {
  rig.store.import(std::string("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\") + kMouseSoftware + "]\n\"PortSearchOrder\"=\"COM1 COM2\"\n");
  rig.controls().portText = "03F8H";
  rig.runtime().startPortText = "03F8H";
  rig.controller.btnOkClick();
  EXPECT_EQ(rig.text("PortSearchOrder", kMouseSoftware), "COM2 COM3 COM4");
  EXPECT_EQ(rig.store.writeLog().front(), std::string("HKLM\\") + kMouseSoftware + "\\PortSearchOrder");
  EXPECT_EQ(bytes(rig.value("Port")), (Bytes{0x03, 0xF8}));

  // An address outside the table leaves the order as it was; no key, no value.
  PanelRig other;
  other.loadFresh();
  other.controller.btnOkClick();
  EXPECT_FALSE(other.store.keyExists(platform::RegistryRoot::LocalMachine, kMouseSoftware));
}

TEST_F(OkTest, ChangedIrqAsksForARestartAndNoKeepsTheWindowOpen) {
  rig.prompts.answerYes = false;
  rig.controls().irqText = "5";
  EXPECT_FALSE(rig.controller.btnOkClick());
  EXPECT_EQ(rig.prompts.questions,
            (std::vector<std::string>{"Reboot|Because ComPort is newly setted\nSystem must reboot!"}));
  EXPECT_EQ(rig.text("Cfg_IRQ"), "5");
  EXPECT_EQ(bytes(rig.value("IRQ")), (Bytes{0x00, 0x05}));
  EXPECT_TRUE(rig.deviceIo.sessions().empty());
  EXPECT_TRUE(rig.messenger.records().empty());
  EXPECT_EQ(rig.launcher.restartRequests(), 0);
  // The question comes again on the next OK.
  EXPECT_FALSE(rig.controller.btnOkClick());
  EXPECT_EQ(rig.prompts.questions.size(), 2u);
}

TEST_F(OkTest, YesClearsThePendingRestartAndFinishesOk) {
  rig.store.import("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n\"Restart\"=dword:00000001\n");
  EXPECT_TRUE(rig.controller.btnOkClick());
  EXPECT_EQ(rig.prompts.questions.size(), 1u);
  EXPECT_EQ(bytes(rig.value("Restart")), (Bytes{0, 0, 0, 0}));
  EXPECT_EQ(rig.launcher.restartRequests(), 1);
  EXPECT_EQ(rig.deviceIo.codes(), (std::vector<std::uint32_t>{7, 6, 13, 10}));
  EXPECT_EQ(rig.messenger.sent().size(), 1u);
}

TEST_F(OkTest, SwitchingBetweenPortsOfEqualTextsAsksNothing) {
  rig.runtime().portList.irqs[1] = "4";
  rig.runtime().portList.addresses[1] = "3F8H";
  rig.controls().comboIndex = 1;
  rig.controls().comboText = "COM2";
  rig.controller.ComboBox1Change();
  EXPECT_TRUE(rig.controller.btnOkClick());
  EXPECT_TRUE(rig.prompts.questions.empty());
  EXPECT_EQ(rig.text("Cfg_COM"), "COM2");
}

TEST_F(OkTest, UserDefinedPortIsAlsoKeptAsTheUsersOwn) {
  rig.controls().userDefine = true;
  rig.controls().irqText = "11";
  rig.controls().portText = "2E8H";
  rig.controller.btnOkClick();
  EXPECT_EQ(rig.text("UserIRQ"), "11");
  EXPECT_EQ(rig.text("UserPort"), "2E8H");
  EXPECT_EQ(bytes(rig.value("IRQ")), (Bytes{0x00, 0x0B}));
  EXPECT_EQ(bytes(rig.value("Port")), (Bytes{0x02, 0xE8}));
  EXPECT_EQ(bytes(rig.value("IsComUserDef")), (Bytes{1, 0, 0, 0}));
}

TEST_F(OkTest, RightClickHelperIsStartedAsTheProgramFileOrAskedToStop) {
  rig.controls().rightClickButton = true;
  rig.controller.btnOkClick();
  EXPECT_EQ(rig.launcher.commands(), (std::vector<std::string>{"/opt/quorvane\\AltKey.exe"}));

  // Already running: nothing to start.
  PanelRig running;
  running.loadFresh();
  running.messenger.addWindow("TAltKeyForm", "Right Click Button");
  running.controls().rightClickButton = true;
  running.controller.btnOkClick();
  EXPECT_TRUE(running.launcher.commands().empty());
  EXPECT_TRUE(running.messenger.posted().empty());

  // Unchecked while it runs: the stop message is posted, not sent.
  running.controls().rightClickButton = false;
  running.controller.btnOkClick();
  ASSERT_EQ(running.messenger.posted().size(), 1u);
  EXPECT_EQ(running.messenger.posted()[0].className, "TAltKeyForm");
  EXPECT_EQ(running.messenger.posted()[0].message.message, 0x5BEu);

  PanelRig noFolder(test::kPanelStore, "\"InstallDir\"=-\n");
  noFolder.loadFresh();
  noFolder.controls().rightClickButton = true;
  EXPECT_TRUE(noFolder.controller.btnOkClick());
  EXPECT_TRUE(noFolder.launcher.commands().empty());
}

TEST_F(OkTest, SoundRequestsUseTheStoredFlags) {
  rig.controls().sound = false;
  rig.controls().longBeep = false;
  rig.controls().cursorOffset = false;
  rig.controller.btnOkClick();
  const auto q = rig.deviceIo.requests();
  ASSERT_EQ(q.size(), 4u);
  EXPECT_EQ(q[0].input, (Bytes{0, 0, 0, 0}));
  EXPECT_EQ(q[1].input, (Bytes{1, 0, 0, 0}));
  EXPECT_EQ(q[2].input, (Bytes{0}));
  EXPECT_EQ(q[3].input[0], 0);
}

TEST_F(OkTest, CursorOffsetIsSentInPointerUnits) {
  rig.system.setScreenSize(800, 600);
  rig.runtime().cursorOffsetDX = -2;
  rig.runtime().cursorOffsetDY = 3;
  rig.controller.btnOkClick();
  EXPECT_EQ(rig.text("CursorOffsetDX"), "-2");
  EXPECT_EQ(rig.text("CursorOffsetDY"), "3");
  EXPECT_EQ(rig.deviceIo.requests().back().input, (Bytes{1, 1, 162, 0, 0, 0, 0, 0x47, 0x01, 0, 0}));
}

TEST_F(OkTest, AbsentDriverSkipsTheRequestsOnly) {
  rig.deviceIo.setAbsent(true);
  EXPECT_TRUE(rig.controller.btnOkClick());
  EXPECT_EQ(rig.deviceIo.openAttempts(), 1u);
  EXPECT_TRUE(rig.deviceIo.requests().empty());
  EXPECT_EQ(rig.messenger.sent().size(), 1u);
}

TEST_F(OkTest, RefusedWriteStopsOkAndKeepsEarlierWrites) {
  rig.store.refuseWritesOf("Cfg_DKSpeed");
  try {
    rig.controller.btnOkClick();
    ADD_FAILURE() << "completed";
  } catch (const settings::SettingsError& e) {
    EXPECT_EQ(std::string(e.what()), "Failed to set data for 'Cfg_DKSpeed'");
  }
  EXPECT_EQ(rig.store.writeLog().back(), "HKLM\\SOFTWARE\\Quorvane\\CursorOffsetDY");
  EXPECT_TRUE(rig.deviceIo.sessions().empty());
  EXPECT_TRUE(rig.messenger.records().empty());
}

TEST_F(OkTest, MissingRestartFlagStopsOkAtTheQuestion) {
  rig.store.import("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n\"Restart\"=-\n");
  EXPECT_THROW(rig.controller.btnOkClick(), settings::SettingsError);
  EXPECT_EQ(bytes(rig.value("Cfg_DKArea")), (Bytes{0x32, 0, 0, 0}));
  EXPECT_TRUE(rig.deviceIo.sessions().empty());
}

TEST_F(OkTest, HidingTheCursorSavesTheUsersArrowOnceAndARefusedWriteNeverLosesIt) {
  rig.system.setSystemDirectory("/q/system");
  rig.controls().hideCursor = true;
  rig.store.refuseWritesOf("Arrow");
  EXPECT_THROW(rig.controller.btnOkClick(), settings::SettingsError);
  EXPECT_EQ(rig.text("oldarrow"), "/usr/share/cursors/arrow.cur");
  rig.store.clearRefusals();
  rig.controller.btnOkClick();
  EXPECT_EQ(rig.text("Arrow", "Control Panel\\Cursors", platform::RegistryRoot::CurrentUser),
            "/q/system/Cursors/Blank.cur");
  EXPECT_EQ(rig.text("oldarrow"), "/usr/share/cursors/arrow.cur");
  EXPECT_EQ(rig.system.actions(), (std::vector<std::string>{"reloadCursors()"}));

  rig.controller.btnOkClick();
  EXPECT_EQ(rig.text("oldarrow"), "/usr/share/cursors/arrow.cur");

  // Showing it again puts the saved arrow back and forgets it, once Arrow holds it.
  rig.controls().hideCursor = false;
  rig.store.refuseWritesOf("Arrow");
  EXPECT_THROW(rig.controller.btnOkClick(), settings::SettingsError);
  EXPECT_EQ(rig.text("oldarrow"), "/usr/share/cursors/arrow.cur");
  rig.store.clearRefusals();
  rig.controller.btnOkClick();
  EXPECT_EQ(rig.text("Arrow", "Control Panel\\Cursors", platform::RegistryRoot::CurrentUser),
            "/usr/share/cursors/arrow.cur");
  EXPECT_FALSE(rig.value("oldarrow"));
  EXPECT_EQ(rig.system.actions().size(), 3u);
}

TEST_F(OkTest, MissingCursorSchemeStopsAfterTheSoundRequests) {
  rig.store.deleteKey(platform::RegistryRoot::CurrentUser, "Control Panel\\Cursors");
  rig.controls().hideCursor = true;
  try {
    rig.controller.btnOkClick();
    ADD_FAILURE() << "completed";
  } catch (const settings::SettingsError& e) {
    EXPECT_EQ(std::string(e.what()), "Failed to set data for 'Arrow'");
  }
  EXPECT_EQ(rig.deviceIo.codes(), (std::vector<std::uint32_t>{7, 6, 13}));
  EXPECT_EQ(rig.deviceIo.openHandles(), 0u);
  EXPECT_TRUE(rig.messenger.sent().empty());
}

TEST(BlankCursor, KeepsTheSystemDirectorysSeparator) {
  EXPECT_EQ(blankCursorPath("/root/system"), "/root/system/Cursors/Blank.cur");
  EXPECT_EQ(blankCursorPath("/root/system/"), "/root/system/Cursors/Blank.cur");
  EXPECT_EQ(blankCursorPath("C:\\WINDOWS"), "C:\\WINDOWS\\Cursors\\Blank.cur");
}

struct CancelTest : ::testing::Test {
  void SetUp() override {
    ASSERT_EQ(rig.loadFresh(), LoadOutcome::Ready);
  }
  PanelRig rig{test::kPanelStore, "\"Cfg_DKSpeed\"=dword:000000c8\n\"Cfg_DKArea\"=dword:0000001e\n"};
};

TEST_F(CancelTest, PutsTheDoubleClickSettingsBackAndSendsNothing) {
  rig.controls().speedPosition = 300;
  rig.controller.TrackBar1Change();
  rig.system.clear();
  EXPECT_TRUE(rig.controller.btnCancelClick());
  // Time 200 as stored; the rectangle the area bar stood for at start, 100 - 30.
  EXPECT_EQ(rig.system.actions(), (std::vector<std::string>{"setDoubleClickTime(200)", "setDoubleClickWidth(70)",
                                                             "setDoubleClickHeight(70)"}));
  EXPECT_TRUE(rig.store.writeLog().empty());
  EXPECT_TRUE(rig.deviceIo.sessions().empty());
}

TEST_F(CancelTest, RestoresACalibrationSavedMeanwhile) {
  rig.store.import("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n\"Cfg_X2\"=\"F0H\"\n\"X2\"=hex:00,f0\n");
  rig.store.clearLogs();
  rig.controller.btnCancelClick();
  EXPECT_EQ(rig.text("Cfg_X2"), "FCH");
  EXPECT_EQ(bytes(rig.value("X2")), (Bytes{0x00, 0xFC}));
  EXPECT_EQ(bytes(rig.value("Y1")), (Bytes{0x00, 0x03}));
  const auto q = rig.deviceIo.requests();
  ASSERT_EQ(q.size(), 1u);
  EXPECT_EQ(q[0].code, 2u);
  EXPECT_EQ(q[0].input, (Bytes{0x03, 0xFC, 0x03, 0xFC, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(rig.store.writeLog(), quorvaneWrites({"Cfg_X1", "Cfg_X2", "Cfg_Y1", "Cfg_Y2", "X1", "X2", "Y1", "Y2"}));
}

TEST_F(CancelTest, PutsBackTheMonitorAndMountingTheStartUpLimitsBelongTo) {
  rig.store.import("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n\"Cfg_X1\"=\"F3H\"\n"
                   "\"Cfg_Monitor\"=\"DP-2\"\n\"Cfg_Rotation\"=\"90\"\n\"Cfg_SwapXY\"=\"1\"\n");
  rig.controller.btnCancelClick();
  EXPECT_EQ(rig.text("Cfg_Monitor"), "");
  EXPECT_EQ(rig.text("Cfg_Rotation"), "0");
  EXPECT_EQ(rig.text("Cfg_SwapXY"), "0");
}

TEST(CancelWithoutStartCalibration, WritesEmptyTextsAndSendsTheDefaultLimits) {
  PanelRig rig(test::kPanelStore, "\"Cfg_X1\"=-\n\"Cfg_Y2\"=-\n");
  rig.loadFresh();
  rig.store.import("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n\"Cfg_X1\"=\"10H\"\n\"Cfg_Y2\"=\"E0H\"\n");
  rig.deviceIo.setAbsent(true);
  rig.controller.btnCancelClick();
  EXPECT_EQ(rig.text("Cfg_X1"), "");
  EXPECT_EQ(bytes(rig.value("X1")), (Bytes{0x00, 0x03}));
  EXPECT_EQ(bytes(rig.value("Y2")), (Bytes{0x00, 0xFC}));
  EXPECT_EQ(rig.deviceIo.openAttempts(), 1u);

  rig.deviceIo.setAbsent(false);
  rig.store.import("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n\"Cfg_X1\"=\"10H\"\n");
  rig.controller.btnCancelClick();
  EXPECT_EQ(rig.deviceIo.requests().at(0).input, (Bytes{0x03, 0xFC, 0x03, 0xFC, 0, 0, 0, 0, 0, 0}));
}

}  // namespace
}  // namespace qv::app
