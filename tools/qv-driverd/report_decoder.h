#pragma once
// The controller's report stream: 5 bytes a touch sample, byte 0 0xC1 (pen down) or 0xC0
// (pen up, the last report of a touch), then X and Y as 7-bit halves of 14-bit readings.
// Only byte 0 has its top bit set, so the decoder finds the next report after noise: bytes
// before a 0xC0/0xC1 (probe replies such as FF 70 00 among them) are skipped, and a report
// cut short by a new 0xC0/0xC1 or by another byte with its top bit set is dropped.
#include "touch_sample.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

namespace qv::driverd {

inline constexpr std::size_t kReportSize = 5;

class ReportDecoder {
public:
  struct Skipped {
    std::uint64_t noiseBytes = 0;  // bytes outside any report
    std::uint64_t cutShort = 0;    // reports begun and dropped unfinished
    bool any() const { return noiseBytes != 0 || cutShort != 0; }
  };

  // Appends a sample for each report completed by bytes; a report split between calls
  // is completed by a later one.
  void feed(std::span<const std::uint8_t> bytes, std::vector<TouchSample>& samples);
  // What was skipped since the last call.
  Skipped takeSkipped() { return std::exchange(skipped_, {}); }
  // Forgets a report under way (the line was opened anew).
  void reset() { have_ = 0; }

private:
  std::array<std::uint8_t, kReportSize> report_{};
  std::size_t have_ = 0;
  Skipped skipped_;
};

// The sample of one whole report.
TouchSample decodeReport(const std::array<std::uint8_t, kReportSize>& report);

}  // namespace qv::driverd
