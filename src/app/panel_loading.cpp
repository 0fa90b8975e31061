#include "app/panel_loading.h"

#include "app/ok_settings_values.h"
#include "app/setting_tab.h"
#include "calibration/touch_monitor.h"
#include "settings/conversions.h"
#include "settings/settings_key.h"
#include "settings/value_names.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <limits>

namespace qv::app {

namespace names = settings::names;
using settings::RegistryRoot;
using settings::SettingsKey;

namespace {

bool equalIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// COM1, COM2, ... as long as COMn_IRQ exists; two fixed ports when there is none at all.
ComSet readPortList(SettingsKey& key) {
  ComSet ports;
  for (int n = 1;; ++n) {
    if (!key.valueExists(settings::comIrqName(n))) break;
    ports.names.push_back("COM" + std::to_string(n));
    ports.irqs.push_back(key.readText(settings::comIrqName(n)));
    ports.addresses.push_back(key.readText(settings::comAddrName(n)));
  }
  if (ports.size() == 0) {
    ports.names = {"COM1", "COM2"};
    ports.irqs = {"4", "3"};
    ports.addresses = {"3F8H", "2F8H"};
  }
  return ports;
}

void loadHardwareInformation(SettingsKey& key, PanelControls& c, const std::string& version) {
  if (key.valueExists(names::ChipBaudRate)) {
    if (auto text = key.readText(names::ChipBaudRate); !text.empty()) c.baudRate = text;
  }
  if (key.valueExists(names::ChipType)) {
    if (auto text = key.readText(names::ChipType); !text.empty()) c.controllerType = text;
  }
  if (key.valueExists(names::Firmware)) {
    std::array<std::uint8_t, 2> bytes{};
    key.readBinary(names::Firmware, bytes);
    c.firmware = settings::firmwareText(bytes[0], bytes[1]);
  } else {
    c.firmware = "1000";
  }
  c.driverVersion = version;
  if (key.readText(names::VxdInit) == "Success") c.status = "Loaded";
  c.supportChip = std::string(key.readText(names::SupportChip) == kSupportedChip ? kSupportedChipText : kUnknown);
}

void loadSerialPort(SettingsKey& key, PanelControls& c, const ComSet& ports) {
  c.comboItems = ports.names;
  c.comboIndex = -1;
  c.userDefine = key.readFlag(names::IsComUserDef);
  if (c.userDefine) {
    c.comboText = key.readText(names::CfgCom);
    c.irqText = key.readText(names::UserIrq);
    c.portText = key.readText(names::UserPort);
    return;
  }
  const std::string wanted = key.readText(names::CfgCom);
  const auto found = std::find_if(ports.names.begin(), ports.names.end(),
                                  [&](const std::string& name) { return equalIgnoringCase(name, wanted); });
  if (found == ports.names.end()) {
    c.comboText.clear();
    c.irqText.clear();
    c.portText.clear();
    return;
  }
  c.comboIndex = static_cast<int>(found - ports.names.begin());
  c.comboText = *found;
  applyComboSelection(c, ports);
}

void loadFlags(SettingsKey& key, PanelControls& c) {
  auto load = [&](std::string_view name, bool& box) {
    if (key.valueExists(name)) box = key.readFlag(name);
  };
  load(names::CtrlRightPanel, c.rightClickButton);
  load(names::CtrlLongBeep, c.longBeep);
  load(names::CtrlSound, c.sound);
  applySoundRule(c);
  load(names::HideCursor, c.hideCursor);
  load(names::IsCursorOffset, c.cursorOffset);
}

std::int32_t readClamped(SettingsKey& key, std::string_view name, std::int32_t fallback, std::int32_t low,
                         std::int32_t high) {
  const std::int32_t value = key.valueExists(name) ? key.readInteger(name) : fallback;
  return std::clamp(value, low, high);
}

}  // namespace

std::int32_t parseDecimalText(std::string_view text) {
  auto isBlank = [](char ch) { return ch == ' ' || ch == '\t'; };
  std::string_view digits = text;
  while (!digits.empty() && isBlank(digits.front())) digits.remove_prefix(1);
  while (!digits.empty() && isBlank(digits.back())) digits.remove_suffix(1);
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  std::int32_t value = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || ec != std::errc{} || end != digits.data() + digits.size()) {
    throw ConversionError("'" + std::string(text) + "' is not a valid integer value");
  }
  return value;
}

LoadOutcome loadPanel(PanelModel& model, PanelServices& services) {
  PanelControls& c = model.controls;
  PanelRuntime& r = model.runtime;
  SettingsKey key(services.store);
  if (!key.open(RegistryRoot::LocalMachine, settings::kSettingsKey, false)) {
    // A session whose XDG_DATA_HOME or QUORVANE_HOME differs from the driver's looks in
    // another machine root: naming it tells the user why.
    std::string text(kNotInstalledText);
    if (const std::string where = services.store.location(); !where.empty()) text += "\n\n" + std::string(kLookedInText) + where;
    services.prompts.notice(text);
    return LoadOutcome::Refused;
  }

  const std::array<std::uint8_t, 2> osVersion{0x00, services.system.osMinorVersion() == 0 ? std::uint8_t{0x95}
                                                                                          : std::uint8_t{0x98}};
  if (services.access.mayChange) key.writeBinary(names::OSVersion, osVersion);

  std::string version{kUnknown};
  if (key.valueExists(names::VxdVersion)) version = key.readText(names::VxdVersion);
  if (version.substr(0, 3) != "3.1") {
    key.close();
    services.prompts.notice(std::string(kWrongDriverText) + version);
    return LoadOutcome::Refused;
  }

  if (key.readFlag(names::Restart)) {
    c.initialEnabled = false;
    c.cancelEnabled = false;
  }

  r.portList = readPortList(key);
  loadHardwareInformation(key, c, version);
  loadSerialPort(key, c, r.portList);
  applyUserDefineRule(c);
  r.startIrqText = c.irqText;
  r.startPortText = c.portText;

  c.calibrationEnabled = key.readText(names::VxdInit) == "Success";

  loadFlags(key, c);

  r.cursorOffsetDX = parseDecimalText(key.readText(names::CursorOffsetDX));
  r.cursorOffsetDY = parseDecimalText(key.readText(names::CursorOffsetDY));
  applyCursorOffsetRule(c);

  // Bar positions are set without running their change handlers: loading changes no
  // system setting.
  r.dkSpeed = readClamped(key, names::CfgDKSpeed, 500, kSpeedMin, kSpeedMax);
  c.speedPosition = 1000 - r.dkSpeed;
  r.dkArea = readClamped(key, names::CfgDKArea, 50, kAreaMin, kAreaMax);
  c.areaPosition = 100 - r.dkArea;

  placeCursorPictures(c, r);

  r.startMonitor = settings::storedMonitor(services.store);
  c.touchMonitorText = calibration::touchMonitorText(r.startMonitor);
  r.startCalibration = {key.readText(names::CfgX1), key.readText(names::CfgX2), key.readText(names::CfgY1),
                        key.readText(names::CfgY2)};
  key.close();
  r.machineValuesAtLoad = okSettingsValues(c, r);
  // Said once, as the window opens: everything is shown, nothing of the machine changes.
  if (!services.access.mayChange) services.prompts.notice(services.access.refusal);
  return LoadOutcome::Ready;
}

}  // namespace qv::app
