#include "drawtest/line_statistics_text.h"

#include <cstdint>

namespace qv::drawtest {

namespace {

std::string counterText(std::uint32_t value) {
  // Counters are shown as signed 32-bit numbers: 2^31 and above come out negative.
  return std::to_string(static_cast<std::int32_t>(value));
}

}  // namespace

std::array<std::string, 2> widestStatisticsTexts(std::string_view label) {
  return {std::string(label) + "-2147483648", std::string(label) + std::string(kNotAvailable)};
}

std::array<StatisticsLine, 4> statisticsLines(const std::optional<driver::LineStatistics>& stats) {
  std::array<std::string, 4> values;
  if (stats) {
    values = {counterText(stats->overrunErrors), counterText(stats->framingErrors), counterText(stats->penDowns),
              counterText(stats->penUps)};
  } else {
    values.fill(std::string(kNotAvailable));
  }
  std::array<StatisticsLine, 4> lines;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    lines[i] = {kStatisticsPlaces[i], std::string(kStatisticsLabels[i]) + values[i]};
  }
  return lines;
}

std::optional<driver::LineStatistics> readLineStatistics(driver::DriverChannel& driver) {
  auto session = driver.open();
  if (!session) return std::nullopt;
  driver::LineStatistics stats;
  if (!session->readLineStatistics(stats)) return std::nullopt;
  return stats;
}

}  // namespace qv::drawtest
