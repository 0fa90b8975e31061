#include "app/settings_upgrade.h"

#include "platform/regedit_format.h"
#include "settings/value_names.h"

#include <algorithm>
#include <array>

namespace qv::app {

namespace names = settings::names;
using platform::RegistryRoot;

namespace {

constexpr RegistryRoot kMachine = RegistryRoot::LocalMachine;

// The calibration the installer leaves: what a machine nobody calibrated holds.
constexpr std::array<std::pair<std::string_view, std::string_view>, 4> kInstalledCalibration{
    {{names::CfgX1, "03H"}, {names::CfgX2, "FCH"}, {names::CfgY1, "03H"}, {names::CfgY2, "FCH"}}};

// Values that belong to the installed package or to the running driver, not to the user
// who set up the touch screen: the machine keeps its own.
bool installedOrDriverValue(std::string_view name) {
  for (std::string_view own : {names::VxdVersion, names::VxdInit, names::SupportChip, names::InstallDir,
                               names::OSVersion, names::Restart, kTakenFromValue}) {
    if (platform::namesEqual(name, own)) return true;
  }
  // COM<n>_IRQ and COM<n>_ADDR: the installer's list of ports.
  const bool portListEntry = name.size() > 3 && platform::namesEqual(name.substr(0, 3), "COM") &&
                             (name.ends_with("_IRQ") || name.ends_with("_ADDR"));
  return portListEntry;
}

std::string storedText(platform::RegistryStore& store, std::string_view name) {
  const auto value = store.readValue(kMachine, settings::kSettingsKey, name);
  if (!value || value->type != platform::regtype::Sz) return {};
  return {value->data.begin(), value->data.end()};
}

bool hasSettingsOfItsOwn(platform::RegistryStore& machine) {
  if (machine.readValue(kMachine, settings::kSettingsKey, kTakenFromValue)) return true;
  return std::any_of(kInstalledCalibration.begin(), kInstalledCalibration.end(), [&](const auto& limit) {
    const std::string text = storedText(machine, limit.first);
    return !text.empty() && !platform::namesEqual(text, limit.second);
  });
}

UpgradeResult failed(platform::RegistryStore& store) { return {UpgradeOutcome::Failed, store.lastError()}; }

}  // namespace

UpgradeResult takeOverUserSettings(platform::RegistryStore& machine, platform::RegistryStore& userFile,
                                   std::string_view userName) {
  if (!machine.keyExists(kMachine, settings::kSettingsKey)) {
    return machine.lastError().empty() ? UpgradeResult{} : failed(machine);
  }
  const bool machineHasSettings = hasSettingsOfItsOwn(machine);
  if (!machine.lastError().empty()) return failed(machine);
  if (machineHasSettings) return {UpgradeOutcome::MachineHasSettings, {}};

  std::vector<platform::RegValueEntry> taken;
  for (const std::string& name : userFile.valueNames(kMachine, settings::kSettingsKey)) {
    if (installedOrDriverValue(name)) continue;
    auto value = userFile.readValue(kMachine, settings::kSettingsKey, name);
    if (!value) return failed(userFile);
    taken.push_back({name, std::move(*value)});
  }
  if (!userFile.lastError().empty()) return failed(userFile);
  if (taken.empty()) return {};
  taken.push_back({std::string(kTakenFromValue), platform::RegistryValue::text(userName)});
  // One write: the settings and the mark that they were taken, or nothing.
  if (!machine.writeValues(kMachine, settings::kSettingsKey, taken)) return failed(machine);
  return {UpgradeOutcome::Taken, {}};
}

}  // namespace qv::app
