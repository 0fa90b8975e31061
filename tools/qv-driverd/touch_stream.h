#pragma once
// The touches in the controller's report stream. While touched, the controller sends one
// report after the other, so a touch is believed only when its reports come in a row:
//  - a pen down counts once the next report follows it whole, with nothing skipped
//    between (a single well-formed report in line noise makes no click); it then comes
//    out at its own position, the confirming report after it;
//  - a pen-up report that was cut short still ends the touch, at its last position;
//  - so does silence on the line (the owner knows the line's speed and the time, and
//    calls silence());
//  - a pen-up report without a touch before it is dropped: it holds no reading worth
//    keeping.
#include "report_decoder.h"
#include "touch_sample.h"

#include <optional>
#include <span>
#include <vector>

namespace qv::driverd {

class TouchStream {
public:
  // Appends the samples of the touches the bytes carry; true when a whole report came.
  bool feed(std::span<const std::uint8_t> bytes, std::vector<TouchSample>& samples);
  // The line has been quiet for longer than a touch's reports pause: a touch under way
  // ends where it was, a pen down not yet confirmed is dropped.
  void silence(std::vector<TouchSample>& samples);
  // A touch is down or a pen down waits for its confirmation: silence ends them.
  bool holding() const { return touching_ || pending_.has_value(); }
  // Noise and reports cut short since the last call.
  ReportDecoder::Skipped takeSkipped() { return decoder_.takeSkipped(); }

private:
  void take(const StreamEvent& event, std::vector<TouchSample>& samples);
  void endTouch(std::vector<TouchSample>& samples);

  ReportDecoder decoder_;
  std::vector<StreamEvent> events_;     // reused by feed
  std::optional<TouchSample> pending_;  // a pen down waiting for the next report
  bool touching_ = false;               // a pen down went out and no pen up since
  TouchSample last_;                    // the last sample that went out
  bool afterReport_ = false;            // the last event was a whole report
};

}  // namespace qv::driverd
