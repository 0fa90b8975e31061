#include "calibration/calibration_limits.h"

#include "settings/conversions.h"
#include "settings/settings_key.h"
#include "settings/value_names.h"

namespace qv::calibration {

namespace names = settings::names;

namespace {

constexpr std::array<std::string_view, 4> kTextNames{names::CfgX1, names::CfgX2, names::CfgY1, names::CfgY2};
constexpr std::array<std::string_view, 4> kCopyNames{names::X1, names::X2, names::Y1, names::Y2};

std::uint8_t& recordByte(driver::CalibrationRecord& r, Limit limit) {
  switch (limit) {
    case Limit::X1: return r.x1;
    case Limit::X2: return r.x2;
    case Limit::Y1: return r.y1;
    case Limit::Y2: break;
  }
  return r.y2;
}

void openSettings(settings::SettingsKey& key) {
  key.open(settings::RegistryRoot::LocalMachine, settings::kSettingsKey, true);
}

}  // namespace

TakenLimit limitForTarget(int targetIndex, const driver::RawPoint& point) {
  const std::int32_t x = point.rawX();
  const std::int32_t y = point.rawY();
  switch (targetIndex) {
    case 0: return {Limit::Y1, y + 3};
    case 1: return {Limit::X2, x - 3};
    case 2: return {Limit::Y2, y - 3};
    default: return {Limit::X1, x + 3};
  }
}

std::string limitText(std::int32_t value) { return settings::formatCalibrationLimit(value); }

std::array<std::uint8_t, 2> limitPair(std::int32_t value) { return {0x00, limitByte(value)}; }

std::uint8_t limitByte(std::int32_t value) { return static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) & 0xFF); }

void keepLimit(CalibrationState& state, const TakenLimit& taken) {
  const auto i = static_cast<std::size_t>(taken.limit);
  state.limitTexts[i] = limitText(taken.value);
  state.limitPairs[i] = limitPair(taken.value);
  recordByte(state.newLimits, taken.limit) = limitByte(taken.value);
}

driver::CalibrationRecord storedCalibration(platform::RegistryStore& store) {
  settings::SettingsKey key(store);
  openSettings(key);
  std::array<std::uint8_t, 4> bytes{};
  for (std::size_t i = 0; i < kTextNames.size(); ++i) {
    const std::string text =
        key.valueExists(kTextNames[i]) ? key.readText(kTextNames[i]) : std::string(kDefaultLimitTexts[i]);
    bytes[i] = settings::calibrationByte(text);
  }
  return {bytes[0], bytes[1], bytes[2], bytes[3]};
}

void writeLimits(platform::RegistryStore& store, const CalibrationState& state,
                 const std::vector<platform::RegValueEntry>& alongside) {
  settings::SettingsKey key(store);
  openSettings(key);
  std::vector<platform::RegValueEntry> values;
  for (std::size_t i = 0; i < kTextNames.size(); ++i) {
    values.push_back({std::string(kTextNames[i]), platform::RegistryValue::text(state.limitTexts[i])});
  }
  for (std::size_t i = 0; i < kCopyNames.size(); ++i) {
    values.push_back({std::string(kCopyNames[i]), platform::RegistryValue::binary(
                                                      {state.limitPairs[i].begin(), state.limitPairs[i].end()})});
  }
  values.insert(values.end(), alongside.begin(), alongside.end());
  key.writeValues(values);
}

}  // namespace qv::calibration
