#include "app/panel_apply.h"

#include "app/ok_settings_values.h"

#include "settings/conversions.h"
#include "settings/monitor_values.h"
#include "settings/settings_key.h"
#include "settings/value_names.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace qv::app {

namespace names = settings::names;
using settings::RegistryRoot;
using settings::SettingsKey;

namespace {

std::string lowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
  return text;
}

void openSettings(SettingsKey& key) { key.open(RegistryRoot::LocalMachine, settings::kSettingsKey, false); }

// The mouse software must not probe the controller's port: its search order leaves it out.
void rewritePortSearchOrder(PanelServices& s, const std::string& addressText) {
  SettingsKey key(s.store);
  if (!key.keyExists(RegistryRoot::LocalMachine, settings::kMouseSoftwareKey)) return;
  key.open(RegistryRoot::LocalMachine, settings::kMouseSoftwareKey, false);
  if (auto order = settings::portSearchOrderFor(lowerCase(addressText))) {
    key.writeText(names::PortSearchOrder, *order);
  }
}

// One value after the other: a refused write stops there and keeps those before it.
void writeSettings(SettingsKey& key, const PanelControls& c, const PanelRuntime& r) {
  for (platform::RegValueEntry& value : okSettingsValues(c, r)) key.writeValues({std::move(value)});
}

// The machine's part of what OK would write differs from what it would have written at
// start-up. The double-click values are left out: the user's own copies of them, applied
// as the bars move, are the user's to change.
bool changesMachine(const PanelModel& model) {
  auto machinePart = [](std::vector<platform::RegValueEntry> values) {
    std::erase_if(values, [](const platform::RegValueEntry& v) {
      return v.name == names::CfgDKSpeed || v.name == names::CfgDKArea;
    });
    return values;
  };
  const auto now = machinePart(okSettingsValues(model.controls, model.runtime));
  const auto atLoad = machinePart(model.runtime.machineValuesAtLoad);
  return !std::equal(now.begin(), now.end(), atLoad.begin(), atLoad.end(),
                     [](const auto& a, const auto& b) { return a.name == b.name && a.value == b.value; });
}

void startOrStopRightClickHelper(PanelServices& s, bool wanted, bool running) {
  SettingsKey key(s.store);
  openSettings(key);
  if (wanted && !running) {
    // Started as the program file itself, never through a shell.
    if (key.valueExists(names::InstallDir)) {
      s.launcher.startProgram(key.readText(names::InstallDir) + std::string(kRightClickProgram));
    }
  } else if (!wanted && running) {
    s.messenger.post(kRightClickClass, kRightClickTitle, {kRightClickStopMessage, 0, 0});
  }
}

void sendSound(PanelServices& s, driver::DriverSession& session) {
  SettingsKey key(s.store);
  openSettings(key);
  session.setBeepSound(key.readFlag(names::CtrlSound));
  session.setFixedMode();
  if (key.valueExists(names::CtrlLongBeep)) session.setLongBeep(key.readFlag(names::CtrlLongBeep));
}

// The user's arrow is kept in oldarrow for as long as the blank cursor replaces it: it is
// saved before Arrow is overwritten and forgotten only once Arrow holds it again, so that
// a write the store refuses, at any step, never loses it.
void hideArrowCursor(PanelServices& s) {
  const std::string blank = blankCursorPath(s.system.systemDirectory());
  SettingsKey cursors(s.store);
  cursors.open(RegistryRoot::CurrentUser, settings::kCursorsKey, false);
  SettingsKey key(s.store);
  openSettings(key);
  if (cursors.isOpen()) {
    const std::string old = cursors.valueExists(names::Arrow) ? cursors.readText(names::Arrow) : std::string();
    // A second OK with the cursor already hidden keeps the path saved the first time.
    if (old != blank) key.writeText(names::OldArrow, old);
  }
  cursors.writeText(names::Arrow, blank);
  key.writeFlag(names::HideCursor, true);
  s.system.reloadCursors();
}

void restoreArrowCursor(PanelServices& s) {
  SettingsKey key(s.store);
  openSettings(key);
  key.writeFlag(names::HideCursor, false);
  if (!key.valueExists(names::OldArrow)) return;
  const std::string old = key.readText(names::OldArrow);
  SettingsKey cursors(s.store);
  cursors.open(RegistryRoot::CurrentUser, settings::kCursorsKey, false);
  cursors.writeText(names::Arrow, old);
  key.deleteValue(names::OldArrow);
  s.system.reloadCursors();
}

// The record byte of a restored limit. A limit that was absent at start-up has no
// number; the driver then gets the default limits the calibration starts from.
std::uint8_t restoredLimitByte(const std::string& text, std::size_t index) {
  if (!settings::scanHex(text)) return index == 0 || index == 2 ? 0x03 : 0xFC;
  return settings::calibrationByte(text);
}

}  // namespace

int startDoubleClickArea(const PanelRuntime& r) { return 100 - r.dkArea; }

std::string blankCursorPath(const std::string& systemDirectory) {
  // The system directory is a path of this machine; keep its own separator.
  const char separator = systemDirectory.find('\\') != std::string::npos ? '\\' : '/';
  std::string path = systemDirectory;
  if (path.empty() || path.back() != separator) path += separator;
  return path + "Cursors" + separator + "Blank.cur";
}

OkOutcome applySettings(const PanelModel& model, PanelServices& s) {
  const PanelControls& c = model.controls;
  const PanelRuntime& r = model.runtime;
  if (!s.access.mayChange) {
    // Nothing of the machine is written; what the user changed of their own stands.
    if (!changesMachine(model)) return OkOutcome::Completed;
    s.prompts.notice(s.access.refusal);
    return OkOutcome::MachineRefused;
  }
  if (c.irqText.empty() || c.portText.empty()) {
    s.prompts.notice(kPortInvalidText);
    return OkOutcome::PortInvalid;
  }

  rewritePortSearchOrder(s, c.portText);

  {
    SettingsKey key(s.store);
    openSettings(key);
    writeSettings(key, c, r);
    const bool portChanged = c.irqText != r.startIrqText || c.portText != r.startPortText;
    if (portChanged || key.readFlag(names::Restart)) {
      if (!s.prompts.askYesNo(kRebootCaption, kRebootText)) return OkOutcome::RestartDeclined;
      key.writeFlag(names::Restart, false);
      key.close();
      s.launcher.requestRestart();
    }
  }

  const bool monitorRunning = s.messenger.windowExists(kMonitorClass, kMonitorTitle);
  const bool rightClickRunning = s.messenger.windowExists(kRightClickClass, kRightClickTitle);
  auto session = s.driver.open();

  startOrStopRightClickHelper(s, c.rightClickButton, rightClickRunning);
  if (session) sendSound(s, *session);
  if (c.hideCursor) {
    hideArrowCursor(s);
  } else {
    restoreArrowCursor(s);
  }
  if (session) {
    const platform::ScreenSize screen = s.system.screenSize();
    session->setCursorOffset(driver::makeCursorOffsetRecord(c.cursorOffset, r.cursorOffsetDX, r.cursorOffsetDY,
                                                            screen.width, screen.height));
  }
  if (monitorRunning) s.messenger.send(kMonitorClass, kMonitorTitle, {kMonitorNotifyMessage, 0, 0});
  return OkOutcome::Completed;
}

void cancelSettings(const PanelModel& model, PanelServices& s) {
  const PanelRuntime& r = model.runtime;
  s.system.setDoubleClickTime(static_cast<std::uint32_t>(r.dkSpeed));
  s.system.setDoubleClickWidth(startDoubleClickArea(r));
  s.system.setDoubleClickHeight(startDoubleClickArea(r));
  // Only a user who may change the machine can have calibrated it meanwhile.
  if (!s.access.mayChange) return;

  static constexpr std::array<std::string_view, 4> kTexts{names::CfgX1, names::CfgX2, names::CfgY1, names::CfgY2};
  static constexpr std::array<std::string_view, 4> kCopies{names::X1, names::X2, names::Y1, names::Y2};
  SettingsKey key(s.store);
  openSettings(key);
  bool unchanged = true;
  for (std::size_t i = 0; i < kTexts.size(); ++i) unchanged = unchanged && key.readText(kTexts[i]) == r.startCalibration[i];
  // The limits are read with the monitor and mounting stored beside them: both go back.
  const bool sameMonitor = settings::storedMonitor(s.store) == r.startMonitor;
  if (unchanged && sameMonitor) return;

  // A calibration was saved while the window was open: put the start-up limits back.
  for (std::size_t i = 0; i < kTexts.size(); ++i) key.writeText(kTexts[i], r.startCalibration[i]);
  std::array<std::uint8_t, 4> limits{};
  for (std::size_t i = 0; i < kTexts.size(); ++i) {
    limits[i] = restoredLimitByte(r.startCalibration[i], i);
    const std::array<std::uint8_t, 2> copy{0x00, limits[i]};
    key.writeBinary(kCopies[i], copy);
  }
  if (!sameMonitor) key.writeValues(settings::monitorValues(r.startMonitor));
  key.close();
  if (auto session = s.driver.open()) session->setCalibration({limits[0], limits[1], limits[2], limits[3]});
}

}  // namespace qv::app
