#include "settings/monitor_values.h"

#include "platform/regedit_format.h"
#include "settings/value_names.h"

#include <charconv>

namespace qv::settings {

namespace {

std::string storedText(platform::RegistryStore& store, std::string_view name) {
  const auto v = store.readValue(platform::RegistryRoot::LocalMachine, kSettingsKey, name);
  if (!v || (v->type != platform::regtype::Sz && v->type != platform::regtype::ExpandSz)) return {};
  std::string s(v->data.begin(), v->data.end());
  if (const auto zero = s.find('\0'); zero != std::string::npos) s.resize(zero);
  return s;
}

// A whole decimal number making up the whole text, or nothing.
std::optional<int> wholeNumber(std::string_view text) {
  int v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (text.empty() || ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return v;
}

}  // namespace

std::vector<platform::RegValueEntry> monitorValues(const CalibratedMonitor& m) {
  using platform::RegistryValue;
  const std::string size = std::to_string(m.widthMm) + "," + std::to_string(m.heightMm);
  return {{std::string(names::CfgMonitor), RegistryValue::text(m.connector)},
          {std::string(names::CfgMonitorMaker), RegistryValue::text(m.maker)},
          {std::string(names::CfgMonitorModel), RegistryValue::text(m.model)},
          {std::string(names::CfgMonitorSerial), RegistryValue::text(m.serial)},
          {std::string(names::CfgMonitorSizeMM), RegistryValue::text(size)},
          {std::string(names::CfgRotation), RegistryValue::text(std::to_string(normalRotation(m.mounting.rotation)))},
          {std::string(names::CfgSwapXY), RegistryValue::text(m.mounting.swapXY ? "1" : "0")}};
}

CalibratedMonitor storedMonitor(platform::RegistryStore& store) {
  CalibratedMonitor m;
  m.connector = storedText(store, names::CfgMonitor);
  m.maker = storedText(store, names::CfgMonitorMaker);
  m.model = storedText(store, names::CfgMonitorModel);
  m.serial = storedText(store, names::CfgMonitorSerial);
  const std::string size = storedText(store, names::CfgMonitorSizeMM);
  if (const auto comma = size.find(','); comma != std::string::npos) {
    const auto w = wholeNumber(std::string_view(size).substr(0, comma));
    const auto h = wholeNumber(std::string_view(size).substr(comma + 1));
    if (w && h && *w > 0 && *h > 0) {
      m.widthMm = *w;
      m.heightMm = *h;
    }
  }
  if (const auto r = wholeNumber(storedText(store, names::CfgRotation))) m.mounting.rotation = normalRotation(*r);
  m.mounting.swapXY = storedText(store, names::CfgSwapXY) == "1";
  return m;
}

}  // namespace qv::settings
