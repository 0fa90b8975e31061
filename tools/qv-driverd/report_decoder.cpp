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

template <typename Sink>
void ReportDecoder::decode(std::span<const std::uint8_t> bytes, Sink&& sink) {
  for (const std::uint8_t b : bytes) {
    if (b & 0x80) {
      if (have_ > 0) {
        ++skipped_.cutShort;
        sink(report_[0] == kPenUp ? StreamEvent::Kind::PenUpCut : StreamEvent::Kind::Gap);
      }
      if (b == kPenUp || b == kPenDown) {
        report_[0] = b;
        have_ = 1;
      } else {
        have_ = 0;
        ++skipped_.noiseBytes;
        sink(StreamEvent::Kind::Gap);
      }
      continue;
    }
    if (have_ == 0) {
      ++skipped_.noiseBytes;
      sink(StreamEvent::Kind::Gap);
      continue;
    }
    report_[have_++] = b;
    if (have_ == kReportSize) {
      sink(StreamEvent::Kind::Report);
      have_ = 0;
    }
  }
}

void ReportDecoder::feed(std::span<const std::uint8_t> bytes, std::vector<TouchSample>& samples) {
  decode(bytes, [&](StreamEvent::Kind kind) {
    if (kind == StreamEvent::Kind::Report) samples.push_back(decodeReport(report_));
  });
}

void ReportDecoder::feed(std::span<const std::uint8_t> bytes, std::vector<StreamEvent>& events) {
  decode(bytes, [&](StreamEvent::Kind kind) {
    if (kind == StreamEvent::Kind::Report) {
      events.push_back({kind, decodeReport(report_)});
    } else if (kind == StreamEvent::Kind::PenUpCut || events.empty() || events.back().kind != kind) {
      events.push_back({kind, {}});
    }
  });
}

}  // namespace qv::driverd
