#pragma once
// The driver's line statistics as the canvas shows them: four lines at the left, each a
// label followed by its counter as a signed 32-bit decimal.
#include "driver/driver_channel.h"
#include "driver/records.h"
#include "drawtest/canvas.h"

#include <array>
#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

namespace qv::drawtest {

// Shown in place of the counters when the driver could not be opened or did not answer:
// no counter values exist then, and zeros would look like a clean line.
inline constexpr std::string_view kNotAvailable = "not available";

struct StatisticsLine {
  Point at;
  std::string text;
};

inline constexpr std::array<std::string_view, 4> kStatisticsLabels = {"Over Run : ", "Frame Error : ",
                                                                      "PenDown : ", "PenUp : "};
inline constexpr std::array<Point, 4> kStatisticsPlaces = {Point{10, 100}, Point{10, 120}, Point{10, 140},
                                                           Point{10, 160}};
// The longest texts a line can hold: the white under each line reaches this far, so a
// shorter value covers a longer one shown before it.
std::array<std::string, 2> widestStatisticsTexts(std::string_view label);

// The four counters of one reading, in the order of the lines. A counter is absent when
// the driver could not be opened, did not answer, or answered too short to carry it whole.
using StatisticsReading = std::array<std::optional<std::uint32_t>, 4>;

std::array<StatisticsLine, 4> statisticsLines(const StatisticsReading& reading);

// One open of the driver, one ReadLineStatistics, closed again. A stop requested while the
// driver has not answered ends the request at once, with no reading.
StatisticsReading readLineStatistics(driver::DriverChannel& driver, std::stop_token stop = {});

}  // namespace qv::drawtest
