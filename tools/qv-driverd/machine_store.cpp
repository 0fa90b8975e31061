#include "machine_store.h"

#include "platform/posix/system_store.h"
#include "settings/monitor_values.h"
#include "settings/value_names.h"

#include <algorithm>
#include <charconv>
#include <string>

namespace qv::driverd {

std::unique_ptr<platform::RegistryStore> openMachineStore() { return platform::openSystemStore(); }

namespace {

std::optional<platform::RegistryValue> settingsValue(platform::RegistryStore& store, std::string_view name) {
  return store.readValue(platform::RegistryRoot::LocalMachine, settings::kSettingsKey, name);
}

// A binary copy's byte: the last of its bytes (0x00 then the value).
std::uint8_t limitOr(platform::RegistryStore& store, std::string_view name, std::uint8_t fallback) {
  const auto v = settingsValue(store, name);
  if (!v || v->type != platform::regtype::Binary || v->data.empty()) return fallback;
  return v->data.back();
}

bool flagSet(platform::RegistryStore& store, std::string_view name) {
  const auto v = settingsValue(store, name);
  if (!v || v->type != platform::regtype::Dword) return false;
  return std::any_of(v->data.begin(), v->data.end(), [](std::uint8_t b) { return b != 0; });
}

std::string text(platform::RegistryStore& store, std::string_view name) {
  const auto v = settingsValue(store, name);
  if (!v || (v->type != platform::regtype::Sz && v->type != platform::regtype::ExpandSz)) return {};
  std::string s(v->data.begin(), v->data.end());
  if (const auto zero = s.find('\0'); zero != std::string::npos) s.resize(zero);
  return s;
}

}  // namespace

StartSettings readStartSettings(platform::RegistryStore& store) {
  namespace names = settings::names;
  StartSettings s;
  s.limits = {limitOr(store, names::X1, 0x03), limitOr(store, names::X2, 0xFC), limitOr(store, names::Y1, 0x03),
              limitOr(store, names::Y2, 0xFC)};
  s.beepSound = flagSet(store, names::CtrlSound);
  s.longBeep = flagSet(store, names::CtrlLongBeep);
  s.mounting = settings::storedMonitor(store).mounting;
  return s;
}

ControllerPortSettings readControllerPortSettings(platform::RegistryStore& store) {
  ControllerPortSettings s;
  s.name = text(store, settings::names::CfgCom);
  const std::string baud = text(store, settings::names::ChipBaudRate);
  std::uint32_t rate = 0;
  const auto [end, ec] = std::from_chars(baud.data(), baud.data() + baud.size(), rate);
  if (ec == std::errc{} && end == baud.data() + baud.size() && rate > 0) s.baudRate = rate;
  return s;
}

bool writeInitOutcome(platform::RegistryStore& store, std::string_view text, std::string* error) {
  constexpr std::string_view key = "SOFTWARE\\Quorvane";
  const auto root = platform::RegistryRoot::LocalMachine;
  if (store.createKey(root, key) && store.writeValue(root, key, "Vxd Init", platform::RegistryValue::text(text))) {
    return true;
  }
  if (error) *error = store.lastError();
  return false;
}

}  // namespace qv::driverd
