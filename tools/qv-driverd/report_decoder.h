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

// What the stream held, in order: whole reports and the places where it broke.
struct StreamEvent {
  enum class Kind {
    Report,    // a whole report, in sample
    Gap,       // bytes skipped or a report dropped: the reports on either side are no neighbours
    PenUpCut,  // a pen-up report (0xC0) dropped unfinished: its touch has ended all the same
  };
  Kind kind = Kind::Report;
  TouchSample sample;
};

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
  // The same, with the gaps between the reports; a run of skipped bytes is one gap.
  void feed(std::span<const std::uint8_t> bytes, std::vector<StreamEvent>& events);
  // What was skipped since the last call.
  Skipped takeSkipped() { return std::exchange(skipped_, {}); }
  // Forgets a report under way (the line was opened anew).
  void reset() { have_ = 0; }

private:
  template <typename Sink>
  void decode(std::span<const std::uint8_t> bytes, Sink&& sink);

  std::array<std::uint8_t, kReportSize> report_{};
  std::size_t have_ = 0;
  Skipped skipped_;
};

// The sample of one whole report.
TouchSample decodeReport(const std::array<std::uint8_t, kReportSize>& report);

}  // namespace qv::driverd
