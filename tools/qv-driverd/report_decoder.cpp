#include "report_decoder.h"

namespace qv::driverd {

namespace {

constexpr std::uint8_t kPenUp = 0xC0;
constexpr std::uint8_t kPenDown = 0xC1;

// A 14-bit reading from its high and low 7 bits, in controller units (1/64 of it).
double reading(std::uint8_t high, std::uint8_t low) { return static_cast<double>(high << 7 | low) / 64.0; }

}  // namespace

TouchSample decodeReport(const std::array<std::uint8_t, kReportSize>& r) {
  return {r[0] == kPenDown, reading(r[1], r[2]), reading(r[3], r[4])};
}

void ReportDecoder::feed(std::span<const std::uint8_t> bytes, std::vector<TouchSample>& samples) {
  for (const std::uint8_t b : bytes) {
    if (b & 0x80) {
      if (have_ > 0) ++skipped_.cutShort;
      if (b == kPenUp || b == kPenDown) {
        report_[0] = b;
        have_ = 1;
      } else {
        have_ = 0;
        ++skipped_.noiseBytes;
      }
      continue;
    }
    if (have_ == 0) {
      ++skipped_.noiseBytes;
      continue;
    }
    report_[have_++] = b;
    if (have_ == kReportSize) {
      samples.push_back(decodeReport(report_));
      have_ = 0;
    }
  }
}

}  // namespace qv::driverd
