#pragma once
// The four calibration limits: which limit a touch sets, the forms a limit is kept in
// (text "%02XH", two-byte copy, record byte), and reading and writing them in the store.
#include "calibration/calibration_state.h"
#include "driver/records.h"
#include "platform/regedit_format.h"
#include "platform/registry_store.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv::calibration {

// Limits in the order of the store's values and of the record: X1, X2, Y1, Y2.
enum class Limit { X1 = 0, X2 = 1, Y1 = 2, Y2 = 3 };

inline constexpr std::array<std::string_view, 4> kDefaultLimitTexts{"03H", "FCH", "03H", "FCH"};

// The limit a touch on the target sets and its value: the raw reading moved 3 units
// toward the middle of the screen. Not clipped, so it can leave 0..255.
struct TakenLimit {
  Limit limit = Limit::Y1;
  std::int32_t value = 0;
  bool operator==(const TakenLimit&) const = default;
};
TakenLimit limitForTarget(int targetIndex, const driver::RawPoint& point);

// The forms of a limit value: "%02XH" of it as unsigned 32-bit, 0x00 and its low byte,
// and its low byte.
std::string limitText(std::int32_t value);
std::array<std::uint8_t, 2> limitPair(std::int32_t value);
std::uint8_t limitByte(std::int32_t value);

// Keeps a taken limit in all three forms.
void keepLimit(CalibrationState& state, const TakenLimit& taken);

// The record of the stored limit texts, each absent one replaced by its default text.
// Opens the settings key creating it when missing; writes nothing. A text the store cannot
// give (unreadable store, a value of the wrong type) throws the store's error.
driver::CalibrationRecord storedCalibration(platform::RegistryStore& store);

// Writes the texts to Cfg_X1..Cfg_Y2, then the two-byte copies to X1..Y2, then alongside
// (the key is created when missing), as one write: the store keeps all new values or none.
void writeLimits(platform::RegistryStore& store, const CalibrationState& state,
                 const std::vector<platform::RegValueEntry>& alongside = {});

}  // namespace qv::calibration
