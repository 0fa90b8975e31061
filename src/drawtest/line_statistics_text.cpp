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

std::array<StatisticsLine, 4> statisticsLines(const StatisticsReading& reading) {
  std::array<StatisticsLine, 4> lines;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string value = reading[i] ? counterText(*reading[i]) : std::string(kNotAvailable);
    lines[i] = {kStatisticsPlaces[i], std::string(kStatisticsLabels[i]) + value};
  }
  return lines;
}

StatisticsReading readLineStatistics(driver::DriverChannel& driver, std::stop_token stop) {
  auto session = driver.open();
  if (!session) return {};
  // Runs at once when the stop came before the request.
  const std::stop_callback cancel(stop, [&session] { session->shutdown(); });
  driver::LineStatistics stats;
  const auto filled = session->readLineStatistics(stats);
  if (!filled) return {};
  // A counter shows only when the reply carried all four of its bytes: what the reply left
  // out is no reading, and a zero in its place would pass for a clean line.
  const std::array<std::uint32_t, 4> counters = {stats.overrunErrors, stats.framingErrors, stats.penDowns,
                                                 stats.penUps};
  StatisticsReading reading;
  for (std::size_t i = 0; i < counters.size(); ++i) {
    if (*filled >= 4 * (i + 1)) reading[i] = counters[i];
  }
  return reading;
}

}  // namespace qv::drawtest
