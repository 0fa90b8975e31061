#include "touch_road.h"

#include <algorithm>
#include <utility>

namespace qv::driverd {

TouchRoad::TouchRoad(DriverIo io, DriverModel& model, DriverLog& log, bool trueLimitsGiven,
                     std::chrono::milliseconds probeWait)
    : input_(std::move(io.input), trueLimitsGiven, probeWait),
      output_(std::move(io.output)),
      whyNoOutput_(std::move(io.whyNoOutput)),
      beeper_(std::move(io.beeper)),
      readMonitor_(std::move(io.readMonitor)),
      udevPropertiesFile_(std::move(io.udevPropertiesFile)),
      outputSetup_(std::move(io.outputSetup)),
      model_(model),
      log_(log),
      trueLimitsGiven_(trueLimitsGiven) {}

std::optional<InputOutcome> TouchRoad::openInput(Clock::time_point now) {
  if (!input_.present()) return InputOutcome{true, std::nullopt};
  if (unsaid_.any()) noteSkipped(now);  // said of the old input, by its name
  carryOut(releaseTouch(model_));  // a touch held on the old input ends here
  missing_.reset();
  return opened(input_.open(now));
}

std::optional<InputOutcome> TouchRoad::opened(const std::optional<InputOutcome>& outcome) {
  if (!outcome) {
    log_.note("waiting for the controller to answer on the " + input_.what());
  } else if (outcome->problem) {
    missing_ = outcome->problem;
    log_.note(trueLimitsGiven_ ? *outcome->problem + "; touches come only from qv-driverctl" : *outcome->problem);
  } else {
    log_.note("reading touches from the " + input_.what());
  }
  return outcome;
}

std::optional<InputOutcome> TouchRoad::readInput(Clock::time_point now) {
  samples_.clear();
  TouchInput::Reading r;
  const auto outcome = input_.read(samples_, r);
  for (const TouchSample& sample : samples_) carryOut(applyTouch(model_, sample));
  model_.line.overrunErrors += r.overrunErrors;
  model_.line.framingErrors += r.framingErrors;
  unsaid_.noiseBytes += r.skipped.noiseBytes;
  unsaid_.cutShort += r.skipped.cutShort;
  // Foreign traffic skips bytes in every read: the log hears of it once a second.
  if (unsaid_.any() && (!lastSkipNote_ || now - *lastSkipNote_ >= kSkipNoteEvery)) noteSkipped(now);
  if (r.gone) {
    if (unsaid_.any()) noteSkipped(now);
    carryOut(releaseTouch(model_));
    missing_ = outcome ? outcome->problem : r.gone;
    log_.note("the " + input_.what() + " is gone (" + *r.gone + "); it is opened again when it comes back");
  } else if (outcome) {
    log_.note("the controller answered on the " + input_.what());
  }
  return outcome;
}

std::optional<InputOutcome> TouchRoad::expireProbe(Clock::time_point now) {
  auto outcome = input_.expire(now);
  if (outcome) log_.note(*outcome->problem + "; the port is released");
  return outcome;
}

std::optional<InputOutcome> TouchRoad::inputMayBeBack(Clock::time_point now) {
  const auto before = missing_;
  bool reopened = false;
  // Quiet about attempts that fail as the one before: other devices come and go too.
  const auto outcome = input_.deviceChanged(now, reopened);
  if (!reopened) return std::nullopt;
  if (outcome && outcome->problem && outcome->problem == before) return std::nullopt;
  missing_.reset();
  return opened(outcome);
}

void TouchRoad::carryOut(const TouchEffect& effect) {
  if (output_) {
    switch (effect.pointer) {
      case TouchEffect::Pointer::Down: output_->penDown(effect.at.x, effect.at.y); break;
      case TouchEffect::Pointer::Move: output_->move(effect.at.x, effect.at.y); break;
      case TouchEffect::Pointer::Up: output_->penUp(); break;
      case TouchEffect::Pointer::None: break;
    }
  }
  if (effect.beep) {
    log_.note(effect.longBeep ? "long beep" : "beep");
    if (beeper_) beeper_->beep(effect.longBeep);
  }
}

void TouchRoad::followMonitor() {
  if (!readMonitor_) return;
  const OutputSetup setup = outputSetup(readMonitor_(), model_.orientation.rotate);
  if (setup == outputSetup_) return;
  outputSetup_ = setup;
  // The file first: udev reads it when the new device comes.
  if (!udevPropertiesFile_.empty()) {
    if (auto problem = writeUdevProperties(udevPropertiesFile_, setup.udevProperties)) log_.note(*problem);
  }
  if (!output_) return;
  carryOut(releaseTouch(model_));
  if (auto problem = output_->remake(setup.resolutionX, setup.resolutionY)) {
    log_.note(*problem);
  } else {
    log_.note("the pointer device follows its monitor: " + std::to_string(setup.resolutionX) + " x " +
              std::to_string(setup.resolutionY) + " units/mm");
  }
}

void TouchRoad::noteSkipped(Clock::time_point now) {
  log_.note("skipped on the " + input_.what() + ": noise bytes " + std::to_string(unsaid_.noiseBytes) +
            ", reports cut short " + std::to_string(unsaid_.cutShort));
  unsaid_ = {};
  lastSkipNote_ = now;
}

std::optional<TouchRoad::Clock::time_point> TouchRoad::wakeAt() const {
  std::optional<Clock::time_point> at = input_.quietDeadline();
  if (unsaid_.any() && lastSkipNote_) {
    const auto noteAt = *lastSkipNote_ + kSkipNoteEvery;
    at = at ? std::min(*at, noteAt) : noteAt;
  }
  return at;
}

void TouchRoad::onTime(Clock::time_point now) {
  samples_.clear();
  input_.endIfQuiet(now, samples_);
  for (const TouchSample& sample : samples_) carryOut(applyTouch(model_, sample));
  if (unsaid_.any() && lastSkipNote_ && now - *lastSkipNote_ >= kSkipNoteEvery) noteSkipped(now);
}

}  // namespace qv::driverd
