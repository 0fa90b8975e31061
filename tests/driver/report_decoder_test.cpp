// The controller's report stream as the driver decodes it, however the reads split it.
#include "driver/controller_report.h"
#include "report_decoder.h"

#include <gtest/gtest.h>

namespace qv::driverd {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes report(bool penDown, std::uint16_t x14, std::uint16_t y14) {
  const auto bytes = driver::encodeControllerReport(penDown, x14, y14);
  return {bytes.begin(), bytes.end()};
}

TEST(ReportDecoder, FindsWholeReportsAmongNoiseProbeRepliesAndReportsCutShortInAnySplit) {
  Bytes stream{0x12, 0xFF, 0x70, 0x00};  // noise, then a probe reply
  const Bytes down = report(true, 0x3FFF, 65);
  stream.insert(stream.end(), down.begin(), down.end());
  stream.insert(stream.end(), {0xC1, 0x05, 0x06});        // cut short by the next report
  stream.insert(stream.end(), {0xC1, 0x07, 0xFF, 0x70, 0x00});  // cut short by a probe reply
  const Bytes up = report(false, 64 * 100 + 32, 0);
  stream.insert(stream.end(), up.begin(), up.end());
  // Full precision: the 14-bit reading / 64.
  const std::vector<TouchSample> expected{{true, 16383 / 64.0, 65 / 64.0}, {false, 100.5, 0}};

  for (std::size_t i = 0; i <= stream.size(); ++i) {
    for (std::size_t j = i; j <= stream.size(); ++j) {
      ReportDecoder decoder;
      std::vector<TouchSample> samples;
      decoder.feed(std::span(stream).first(i), samples);
      decoder.feed(std::span(stream).subspan(i, j - i), samples);
      decoder.feed(std::span(stream).subspan(j), samples);
      ASSERT_EQ(samples, expected) << "split at " << i << " and " << j;
      const auto skipped = decoder.takeSkipped();
      ASSERT_EQ(skipped.noiseBytes, 7u);
      ASSERT_EQ(skipped.cutShort, 2u);
      EXPECT_FALSE(decoder.takeSkipped().any());
    }
  }
}

}  // namespace
}  // namespace qv::driverd
