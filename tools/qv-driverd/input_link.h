#pragma once
// The touch input's life: opened and initialised at start, on every InitializeDriver and
// when its device comes back; released when the controller does not answer or the device
// goes away. A controller port counts as initialised only once the controller answered
// the probes (or sent a whole report) at the port's speed; the wait for that is a
// deadline the owner's poll loop keeps, so nothing blocks meanwhile. A device that is
// missing or went away is watched for, so it is opened again as soon as it is back.
//
// Played (--true-limits): an input that cannot be opened or goes away is only told of,
// the controller is not asked to answer, and initialising always succeeds.
#include "device_watch.h"
#include "touch_input.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qv::driverd {

// What initialising the input came to.
struct InputOutcome {
  bool initialised = false;            // `Vxd Init` is "Success"
  std::optional<std::string> problem;  // why not (or, played, what was only told of)
  bool operator==(const InputOutcome&) const = default;
};

// How long the controller has to answer the probes.
inline constexpr std::chrono::milliseconds kProbeWait{500};
// A port that has just come back may carry a controller that is still starting (powered
// with its adapter, or a line whose other end has only just been opened): for this long
// it is opened and asked again, probe round after probe round, before it is released.
inline constexpr std::chrono::seconds kComebackPatience{5};

class InputLink {
public:
  using Clock = std::chrono::steady_clock;

  // input may be null: touches then only come injected, and initialising succeeds.
  InputLink(std::unique_ptr<TouchInput> input, bool played, std::chrono::milliseconds probeWait = kProbeWait);

  bool present() const { return input_ != nullptr; }
  // What it reads from, for the log.
  std::string what() const { return input_ ? input_->what() : std::string("no touch input"); }
  int inputFd() const { return input_ ? input_->fd() : -1; }
  // Readable when a missing device may have come back; -1 while none is missed.
  int watchFd() const { return watch_.fd(); }
  // When the controller's quiet line ends the touch it holds (see TouchInput).
  std::optional<Clock::time_point> quietDeadline() const {
    return input_ ? input_->quietDeadline() : std::nullopt;
  }
  void endIfQuiet(Clock::time_point now, std::vector<TouchSample>& samples) {
    if (input_) input_->endIfQuiet(now, samples);
  }
  // While the controller has still to answer: until when.
  std::optional<Clock::time_point> probeDeadline() const { return probeDeadline_; }

  // Opens anew; the outcome when it is known at once, nullopt while the probes wait for
  // their answer.
  std::optional<InputOutcome> open(Clock::time_point now);
  // Reads what waits. The outcome when the reading settled the probes or the input went
  // away (and is closed now).
  std::optional<InputOutcome> read(std::vector<TouchSample>& samples, TouchInput::Reading& reading);
  // The outcome when the probes' time has run out at now: the port is released (a port
  // that came back is asked again while the patience lasts, with no outcome yet).
  std::optional<InputOutcome> expire(Clock::time_point now);
  // Something changed where the missing device would appear: opens it again, with the
  // outcome as open() gives it; nullopt also when nothing changed.
  std::optional<InputOutcome> deviceChanged(Clock::time_point now, bool& reopened);

private:
  InputOutcome failed(std::string why) const { return {played_, std::move(why)}; }

  std::unique_ptr<TouchInput> input_;
  bool played_;
  std::chrono::milliseconds probeWait_;
  std::optional<Clock::time_point> probeDeadline_;
  std::optional<Clock::time_point> patientUntil_;  // set while a port that came back is asked again
  DeviceWatch watch_;
};

}  // namespace qv::driverd
