#include "input_link.h"

#include <utility>

namespace qv::driverd {

InputLink::InputLink(std::unique_ptr<TouchInput> input, bool played, std::chrono::milliseconds probeWait)
    : input_(std::move(input)), played_(played), probeWait_(probeWait) {}

std::optional<InputOutcome> InputLink::open(Clock::time_point now) {
  probeDeadline_.reset();
  patientUntil_.reset();
  if (!input_) return InputOutcome{true, std::nullopt};
  // Watched before the attempt, so that a device arriving just after it is not missed.
  watch_.arm(input_->devicePaths());
  if (auto problem = input_->reopen()) return failed(std::move(*problem));
  watch_.disarm();
  if (played_ || !input_->isControllerPort()) return InputOutcome{true, std::nullopt};
  if (!input_->sendProbes()) {
    input_->close();
    return failed("cannot send to the controller port " + input_->portName());
  }
  probeDeadline_ = now + probeWait_;
  return std::nullopt;
}

std::optional<InputOutcome> InputLink::read(std::vector<TouchSample>& samples, TouchInput::Reading& reading) {
  if (!input_) return std::nullopt;
  reading = input_->read(samples);
  if (reading.gone) {
    probeDeadline_.reset();
    patientUntil_.reset();
    watch_.arm(input_->devicePaths());
    return failed("the " + input_->what() + " is gone (" + *reading.gone + ")");
  }
  if (probeDeadline_ && reading.answered) {
    probeDeadline_.reset();
    patientUntil_.reset();
    return InputOutcome{true, std::nullopt};
  }
  return std::nullopt;
}

std::optional<InputOutcome> InputLink::expire(Clock::time_point now) {
  if (!probeDeadline_ || now < *probeDeadline_) return std::nullopt;
  probeDeadline_.reset();
  if (patientUntil_ && now < *patientUntil_) {
    // Opened anew, not only asked again: the other end of the line may have set it up
    // anew meanwhile (its speed with it), or its link been made to name another device.
    const auto patience = patientUntil_;
    auto outcome = open(now);
    if (!outcome) patientUntil_ = patience;
    return outcome;
  }
  patientUntil_.reset();
  // Released, so that the detection can search the port; it is opened again on the
  // next InitializeDriver.
  input_->close();
  return InputOutcome{false, "no controller answered on " + input_->portName() + " at " +
                                 std::to_string(input_->baudRate()) + " baud"};
}

std::optional<InputOutcome> InputLink::deviceChanged(Clock::time_point now, bool& reopened) {
  reopened = false;
  if (!watch_.takeChanges() || !input_ || input_->isOpen()) return std::nullopt;
  reopened = true;
  auto outcome = open(now);
  if (!outcome) patientUntil_ = now + kComebackPatience;
  return outcome;
}

}  // namespace qv::driverd
