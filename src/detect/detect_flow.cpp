#include "detect/detect_flow.h"

#include "settings/conversions.h"
#include "settings/settings_key.h"
#include "settings/value_names.h"

#include <algorithm>
#include <array>

namespace qv::detect {

namespace {

using platform::RegistryRoot;
using settings::SettingsKey;
namespace names = settings::names;

// Sets the flag for the lifetime of the object, also when the procedure throws.
class QuietScope {
public:
  explicit QuietScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~QuietScope() { flag_ = false; }
  QuietScope(const QuietScope&) = delete;
  QuietScope& operator=(const QuietScope&) = delete;

private:
  bool& flag_;
};

struct StoredDetectValues {
  std::string configuredIrq;
  std::string supportedChip;
};

StoredDetectValues readDetectValues(platform::RegistryStore& store) {
  SettingsKey key(store);
  StoredDetectValues v;
  if (key.open(RegistryRoot::LocalMachine, settings::kSettingsKey, false)) {
    v.configuredIrq = key.readText(names::CfgIrq);
    v.supportedChip = key.readText(names::SupportChip);
  }
  return v;
}

bool driverReportsSuccess(platform::RegistryStore& store) {
  SettingsKey key(store);
  return key.open(RegistryRoot::LocalMachine, settings::kSettingsKey, false) &&
         key.readText(names::VxdInit) == "Success";
}

int itemIndexOf(const std::vector<std::string>& items, const std::string& text) {
  const auto found = std::find(items.begin(), items.end(), text);
  return found == items.end() ? -1 : static_cast<int>(found - items.begin());
}

void showDriverConfiguration(DetectControls& c, platform::RegistryStore& store) {
  SettingsKey key(store);
  if (!key.open(RegistryRoot::LocalMachine, settings::kSettingsKey, false)) return;
  c.comboText = key.readText(names::CfgCom);
  c.comboIndex = itemIndexOf(c.comboItems, c.comboText);
  c.irqText = key.readText(names::CfgIrq);
  c.portText = key.readText(names::CfgPort);
  c.userDefine = key.readFlag(names::IsComUserDef);
  c.comboEnabled = !c.userDefine;
  c.irqEnabled = c.userDefine;
  c.portEnabled = c.userDefine;
  if (const std::string chip = key.readText(names::ChipType); !chip.empty()) c.controllerType = chip;
  if (key.valueExists(names::Firmware)) {
    std::array<std::uint8_t, 2> bytes{};
    key.readBinary(names::Firmware, bytes);
    c.firmware = settings::firmwareText(bytes[0], bytes[1]);
  }
  if (const std::string baud = key.readText(names::ChipBaudRate); !baud.empty()) c.baudRate = baud;
  if (key.readText(names::VxdInit) == "Success") c.status = kLoadedStatus;
}

// Returns the ports left out because this user may not open them.
std::vector<DeniedPort> probePorts(DetectControls& c, DetectServices& s, const std::string& configuredIrq) {
  std::vector<DeniedPort> denied;
  const std::unique_ptr<DetectWindow> window = s.createDetectWindow();
  // The count is read anew each round: it is the combo box's current number of items.
  for (std::size_t i = 0; i < c.comboItems.size(); ++i) {
    const std::string name = c.comboItems[i];
    window->setPortName(name);
    // While the driver may be usable, its own port is not probed.
    if (c.initialEnabled && i < c.portIrqs.size() && c.portIrqs[i] == configuredIrq) continue;
    if (name.compare(0, 3, "COM") != 0) continue;
    if (!s.portPresent(name)) {  // absent, in use, or not this user's to open
      if (std::string group = s.portGroupNeeded ? s.portGroupNeeded(name) : std::string(); !group.empty()) {
        denied.push_back({name, std::move(group)});
      }
      continue;
    }
    window->showModal();
    const DetectResult& r = window->result();
    if (r.DetFound) {
      c.comboEnabled = true;
      c.userDefine = false;
      c.irqEnabled = false;
      c.portEnabled = false;
      c.comboIndex = static_cast<int>(i);
      c.comboText = name;
      c.baudRate = std::to_string(r.DetBaudRate);
      c.controllerType = r.DetChipType;
      c.firmware = r.DetFirmware;
      c.status = kFoundStatus;
      return {};
    }
  }
  return denied;
}

void detect(DetectControls& c, DetectServices& s) {
  c.baudRate = kUnknownModel;
  c.status = kNotFoundStatus;
  c.controllerType = kUnknownModel;
  c.firmware = kUnknownModel;
  const int startIndex = c.comboIndex;
  if (s.showState) s.showState();

  const StoredDetectValues stored = readDetectValues(s.store);

  bool driverSuccess = false;
  if (c.initialEnabled) {
    {
      QuietScope quiet(s.quietInitial);
      if (s.initialProcedure) s.initialProcedure();
    }
    driverSuccess = driverReportsSuccess(s.store);
  }

  std::vector<DeniedPort> denied;
  if (driverSuccess) {
    showDriverConfiguration(c, s.store);
  } else {
    denied = probePorts(c, s, stored.configuredIrq);
  }
  // Only a listed port takes its IRQ and address from the port list; a user-defined one
  // keeps those the user gave it, whatever item its name now selects.
  if (c.comboIndex != startIndex && !c.userDefine && s.comboBox1Change) s.comboBox1Change();
  if (s.showState) s.showState();  // the result stands before any warning about it

  if (!denied.empty()) s.prompts.notice(deniedPortsText(denied, s.userName));
  if (driverLacksSupport(stored.supportedChip, c.controllerType)) s.prompts.notice(kDriverUnsupportedText);
}

}  // namespace

std::string deniedPortsText(const std::vector<DeniedPort>& ports, std::string_view userName) {
  std::vector<std::string> groups;
  for (const DeniedPort& p : ports) {
    if (std::find(groups.begin(), groups.end(), p.group) == groups.end()) groups.push_back(p.group);
  }
  std::string text = "The touch screen's controller may be on a serial port you may not open:";
  for (const std::string& group : groups) {
    std::string names;
    for (const DeniedPort& p : ports) {
      if (p.group == group) names += (names.empty() ? "" : ", ") + p.name;
    }
    text += "\n\n" + names + ": permission denied; only members of the group " + group + " may open " +
            (names.find(',') == std::string::npos ? "it" : "them") + ". To join: sudo adduser " +
            std::string(userName.empty() ? "NAME" : userName) + " " + group + ", then log in again.";
  }
  return text;
}

bool driverLacksSupport(std::string_view supportedChip, std::string_view shownModel) {
  if (supportedChip == "7C4A") return shownModel != "7C4A" && shownModel != kUnknownModel;
  if (supportedChip == "T303") return shownModel == "7C4A";
  return false;
}

void runDetectFlow(DetectControls& controls, DetectServices& services) {
  auto showButton = [&](std::string_view caption, bool enabled) {
    if (services.showDetectButton) services.showDetectButton(caption, enabled);
  };
  showButton(kDetectingCaption, false);
  try {
    detect(controls, services);
  } catch (...) {
    // The button is never left disabled and "Detecting Device ...".
    showButton(kDetectCaption, true);
    throw;
  }
  showButton(kDetectCaption, true);
}

}  // namespace qv::detect
