#include "touch_stream.h"

namespace qv::driverd {

bool TouchStream::feed(std::span<const std::uint8_t> bytes, std::vector<TouchSample>& samples) {
  events_.clear();
  decoder_.feed(bytes, events_);
  bool report = false;
  for (const StreamEvent& event : events_) {
    report = report || event.kind == StreamEvent::Kind::Report;
    take(event, samples);
  }
  return report;
}

void TouchStream::silence(std::vector<TouchSample>& samples) {
  endTouch(samples);
  pending_.reset();
  afterReport_ = false;
}

void TouchStream::endTouch(std::vector<TouchSample>& samples) {
  if (!touching_) return;
  touching_ = false;
  last_.penDown = false;
  samples.push_back(last_);
}

void TouchStream::take(const StreamEvent& event, std::vector<TouchSample>& samples) {
  if (event.kind != StreamEvent::Kind::Report) {
    if (event.kind == StreamEvent::Kind::PenUpCut) endTouch(samples);
    pending_.reset();
    afterReport_ = false;
    return;
  }
  const TouchSample& sample = event.sample;
  if (!touching_ && pending_ && afterReport_) {
    samples.push_back(*pending_);
    touching_ = true;
  }
  pending_.reset();
  afterReport_ = true;
  if (touching_) {
    samples.push_back(sample);
    last_ = sample;
    touching_ = sample.penDown;
  } else if (sample.penDown) {
    pending_ = sample;
  }
}

}  // namespace qv::driverd
