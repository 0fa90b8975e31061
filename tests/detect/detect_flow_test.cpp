// The Detect button's flow over an in-memory store and scripted detection windows: the
// driver's road, which ports are probed, the found port, the support warning, and the
// button after an error.
#include "detect/detect_flow.h"
#include "settings/settings_key.h"
#include "support/memory_registry_store.h"
#include "support/recording_prompts.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <stdexcept>

namespace qv::detect {
namespace {

constexpr const char* kStore = R"(REGEDIT4

[HKEY_LOCAL_MACHINE\SOFTWARE\Quorvane]
"Vxd Init"="Failed"
"Support Chip"="T303"
"Cfg_COM"="COM2"
"Cfg_IRQ"="3"
"Cfg_Port"="2F8H"
"IsComUserDef"=dword:00000000
"ChipType"="T302"
"ChipBaudRate"="9600"
"Firmware"=hex:12,ab
)";

// A detection window whose results the test scripts per port name.
class ScriptedWindow final : public DetectWindow {
public:
  ScriptedWindow(const std::map<std::string, DetectResult>& answers, std::vector<std::string>& shown)
      : answers_(answers), shown_(shown) {}
  void setPortName(std::string name) override { name_ = std::move(name); }
  void showModal() override {
    shown_.push_back(name_);
    result_.DetFound = false;
    if (auto it = answers_.find(name_); it != answers_.end()) result_ = it->second;
  }
  const DetectResult& result() const override { return result_; }

private:
  const std::map<std::string, DetectResult>& answers_;
  std::vector<std::string>& shown_;
  std::string name_;
  DetectResult result_;
};

struct FlowRig {
  explicit FlowRig(std::string_view changes = {}) : store(kStore) {
    if (!changes.empty()) store.import("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n" + std::string(changes));
  }

  void run() {
    DetectControls controls{controllerType, firmware,   baudRate,  status,     comboItems,
                            comboIndex,     comboText,  comboEnabled, irqText, portText,
                            irqEnabled,     portEnabled, userDefine, initialEnabled, portIrqs};
    DetectServices services{
        store,
        prompts,
        quietInitial,
        [this] {
          quietDuringInitial = quietInitial;
          ++initialRuns;
          if (initialReaction) initialReaction();
        },
        [this](std::string_view name) {
          presenceTests.emplace_back(name);
          return std::find(absent.begin(), absent.end(), name) == absent.end();
        },
        [this] {
          ++windowsCreated;
          return std::make_unique<ScriptedWindow>(answers, shown);
        },
        [this] { ++comboChanges; },
        [this](std::string_view caption, bool enabled) {
          buttonCaption = caption;
          buttonEnabled = enabled;
        },
        nullptr,
        [this](std::string_view name) { return groupNeeded[std::string(name)]; },
        "alice"};
    runDetectFlow(controls, services);
  }
  void driverSucceeds() {
    initialReaction = [this] { store.import("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n\"Vxd Init\"=\"Success\"\n"); };
  }

  test::MemoryRegistryStore store;
  test::RecordingPrompts prompts;
  // The main window's controls as start-up left them: COM1 selected.
  std::string controllerType = "T303", firmware = "1000", baudRate = "19200", status = "Loaded";
  std::vector<std::string> comboItems{"COM1", "COM2"};
  std::vector<std::string> portIrqs{"4", "3"};
  int comboIndex = 0;
  std::string comboText = "COM1";
  bool comboEnabled = true;
  std::string irqText = "4", portText = "3F8H";
  bool irqEnabled = false, portEnabled = false, userDefine = false;
  bool initialEnabled = true;
  bool quietInitial = false;
  bool quietDuringInitial = false;
  int initialRuns = 0;
  std::function<void()> initialReaction;
  std::vector<std::string> absent;
  std::map<std::string, std::string> groupNeeded;  // of absent ports this user may not open
  std::vector<std::string> presenceTests;
  std::map<std::string, DetectResult> answers;
  std::vector<std::string> shown;
  int windowsCreated = 0;
  int comboChanges = 0;
  std::string buttonCaption;
  bool buttonEnabled = false;
};

DetectResult found(std::int32_t baud, const char* chip, const char* firmware) {
  return DetectResult{true, baud, "", chip, firmware};
}

TEST(DetectFlow, DriverSuccessShowsItsConfigurationAndTouchesNoPort) {
  FlowRig r;
  r.driverSucceeds();
  r.run();
  EXPECT_EQ(r.initialRuns, 1);
  EXPECT_TRUE(r.quietDuringInitial);
  EXPECT_FALSE(r.quietInitial);
  EXPECT_EQ(r.windowsCreated, 0);
  EXPECT_TRUE(r.presenceTests.empty());
  EXPECT_EQ(r.comboText, "COM2");
  EXPECT_EQ(r.comboIndex, 1);
  EXPECT_EQ(r.comboChanges, 1);  // the index moved
  EXPECT_EQ(r.irqText, "3");
  EXPECT_EQ(r.portText, "2F8H");
  EXPECT_TRUE(r.comboEnabled);
  EXPECT_FALSE(r.irqEnabled);
  EXPECT_EQ(r.controllerType, "T302");
  EXPECT_EQ(r.firmware, "12ab");  // lower-case digits from the store
  EXPECT_EQ(r.baudRate, "9600");
  EXPECT_EQ(r.status, "Loaded");
  EXPECT_EQ(r.buttonCaption, "&Detect");
  EXPECT_TRUE(r.buttonEnabled);
  EXPECT_TRUE(r.prompts.notices.empty());

  // Absent values keep the labels of the first step, never another value's text.
  FlowRig bare("\"ChipBaudRate\"=-\n\"Firmware\"=-\n\"ChipType\"=\"\"\n");
  bare.driverSucceeds();
  bare.run();
  EXPECT_EQ(bare.baudRate, "UnKnown");
  EXPECT_EQ(bare.firmware, "UnKnown");
  EXPECT_EQ(bare.controllerType, "UnKnown");
  EXPECT_EQ(bare.status, "Loaded");
}

TEST(DetectFlow, AUserDefinedPortKeepsTheIrqAndAddressTheUserGaveIt) {
  FlowRig r("\"IsComUserDef\"=dword:00000001\n\"Cfg_IRQ\"=\"7\"\n\"Cfg_Port\"=\"300H\"\n");
  r.comboIndex = -1;  // as start-up leaves a user-defined port; Cfg_COM then selects COM2
  r.userDefine = true;
  r.driverSucceeds();
  r.run();
  EXPECT_EQ(r.comboChanges, 0);
  EXPECT_EQ(r.irqText + " " + r.portText, "7 300H");
}

TEST(DetectFlow, WhileTheInitialButtonIsEnabledTheConfiguredPortIsNotProbed) {
  FlowRig r;  // the quiet Initial fails: Vxd Init stays "Failed"
  r.run();
  EXPECT_EQ(r.initialRuns, 1);
  EXPECT_EQ(r.shown, (std::vector<std::string>{"COM1"}));
  EXPECT_EQ(r.presenceTests, (std::vector<std::string>{"COM1"}));
  EXPECT_EQ(r.controllerType, "UnKnown");
  EXPECT_EQ(r.firmware, "UnKnown");
  EXPECT_EQ(r.baudRate, "UnKnown");
  EXPECT_EQ(r.status, "Not Found");
  EXPECT_EQ(r.comboChanges, 0);
  EXPECT_EQ(r.windowsCreated, 1);
}

TEST(DetectFlow, InitialDisabledProbesEveryComPortPresent) {
  FlowRig r;
  r.initialEnabled = false;
  r.comboItems = {"COM1", "COM2", "com3", "LPT1", "COM4", "COM5"};
  r.portIrqs = {"4", "3", "4", "7", "3", "5"};
  r.absent = {"COM4"};
  r.run();
  EXPECT_EQ(r.initialRuns, 0);
  EXPECT_EQ(r.presenceTests, (std::vector<std::string>{"COM1", "COM2", "COM4", "COM5"}));
  EXPECT_EQ(r.shown, (std::vector<std::string>{"COM1", "COM2", "COM5"}));
  EXPECT_EQ(r.status, "Not Found");
}

TEST(DetectFlow, PortsTheUserMayNotOpenAreNamedWithTheGroupThatOpensThem) {
  FlowRig r;
  r.initialEnabled = false;
  r.comboItems = {"COM1", "COM2", "COM3"};
  r.portIrqs = {"4", "3", "4"};
  r.absent = {"COM1", "COM2", "COM3"};
  r.groupNeeded = {{"COM1", "dialout"}, {"COM3", "dialout"}};
  r.run();
  ASSERT_EQ(r.prompts.notices.size(), 1u);
  EXPECT_THAT(r.prompts.notices[0], ::testing::HasSubstr("COM1, COM3: permission denied; only members of the group "
                                                         "dialout may open them. To join: sudo adduser alice dialout"));
  EXPECT_THAT(r.prompts.notices[0], ::testing::Not(::testing::HasSubstr("COM2")));
}

TEST(DetectFlow, ControllerFoundOnTheSecondItemIsSelected) {
  FlowRig r;
  r.initialEnabled = false;
  r.userDefine = true;
  r.comboEnabled = false;
  r.irqEnabled = r.portEnabled = true;
  r.answers["COM2"] = found(19200, "12AB", "1000");
  r.run();
  EXPECT_EQ(r.shown, (std::vector<std::string>{"COM1", "COM2"}));
  EXPECT_EQ(r.comboIndex, 1);
  EXPECT_EQ(r.comboText, "COM2");
  EXPECT_TRUE(r.comboEnabled);
  EXPECT_FALSE(r.userDefine);
  EXPECT_FALSE(r.irqEnabled);
  EXPECT_FALSE(r.portEnabled);
  EXPECT_EQ(r.comboChanges, 1);
  EXPECT_EQ(r.baudRate, "19200");
  EXPECT_EQ(r.controllerType, "12AB");  // upper-case digits from the probe
  EXPECT_EQ(r.firmware, "1000");
  EXPECT_EQ(r.status, "Found");
}

TEST(DetectFlow, WarnsWhenTheChipShownDoesNotSuitTheDriver) {
  EXPECT_TRUE(driverLacksSupport("T303", "7C4A"));
  EXPECT_FALSE(driverLacksSupport("T303", "T302"));
  EXPECT_TRUE(driverLacksSupport("7C4A", "T302"));
  EXPECT_FALSE(driverLacksSupport("7C4A", "UnKnown"));
  EXPECT_FALSE(driverLacksSupport("7C4A", "7C4A"));
  EXPECT_FALSE(driverLacksSupport("", "7C4A"));
  EXPECT_FALSE(driverLacksSupport("t303", "7C4A"));

  FlowRig probed;  // supported T303, the newer chip found on COM1
  probed.answers["COM1"] = found(19200, "7C4A", "");
  probed.run();
  EXPECT_EQ(probed.prompts.notices, (std::vector<std::string>{"Driver on system doesn't support this chip!"}));

  FlowRig stored("\"Support Chip\"=\"7C4A\"\n");  // the driver's T302 shown from the store
  stored.driverSucceeds();
  stored.run();
  EXPECT_EQ(stored.prompts.notices.size(), 1u);

  FlowRig none("\"Support Chip\"=\"7C4A\"\n");  // nothing found: "UnKnown"
  none.run();
  EXPECT_TRUE(none.prompts.notices.empty());
}

TEST(DetectFlow, AnEscapingErrorGivesTheButtonBack) {
  FlowRig bad("\"IsComUserDef\"=-\n");
  bad.driverSucceeds();
  EXPECT_THROW(bad.run(), settings::SettingsError);
  EXPECT_EQ(bad.buttonCaption, "&Detect");
  EXPECT_TRUE(bad.buttonEnabled);

  FlowRig failing;
  failing.initialReaction = [] { throw std::runtime_error("driver gone"); };
  EXPECT_THROW(failing.run(), std::runtime_error);
  EXPECT_FALSE(failing.quietInitial);
  EXPECT_EQ(failing.buttonCaption, "&Detect");
  EXPECT_TRUE(failing.buttonEnabled);
}

}  // namespace
}  // namespace qv::detect
