#include "touch_road.h"

#include <algorithm>
#include <utility>

namespace qv::driverd {

TouchRoad::TouchRoad(DriverIo io, DriverModel& model, DriverLog& log, bool trueLimitsGiven)
    : io_(std::move(io)), model_(model), log_(log), trueLimitsGiven_(trueLimitsGiven) {}

std::optional<std::string> TouchRoad::openInput() {
  if (!io_.input) return std::nullopt;
  if (unsaid_.any()) noteSkipped(Clock::now());  // said of the old input, by its name
  carryOut(releaseTouch(model_));  // a touch held on the old input ends here
  auto problem = io_.input->reopen();
  if (problem) {
    log_.note(trueLimitsGiven_ ? *problem + "; touches come only from qv-driverctl" : *problem);
  } else {
    log_.note("reading touches from the " + io_.input->what());
  }
  return problem;
}

void TouchRoad::carryOut(const TouchEffect& effect) {
  if (io_.output) {
    switch (effect.pointer) {
      case TouchEffect::Pointer::Down: io_.output->penDown(effect.at.x, effect.at.y); break;
      case TouchEffect::Pointer::Move: io_.output->move(effect.at.x, effect.at.y); break;
      case TouchEffect::Pointer::Up: io_.output->penUp(); break;
      case TouchEffect::Pointer::None: break;
    }
  }
  if (effect.beep) {
    log_.note(effect.longBeep ? "long beep" : "beep");
    if (io_.beeper) io_.beeper->beep(effect.longBeep);
  }
}

void TouchRoad::readInput(Clock::time_point now) {
  samples_.clear();
  const TouchInput::Reading r = io_.input->read(samples_);
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
    log_.note("the " + io_.input->what() + " is gone (" + *r.gone + "); it is opened again on the next InitializeDriver");
  }
}

void TouchRoad::noteSkipped(Clock::time_point now) {
  log_.note("skipped on the " + io_.input->what() + ": noise bytes " + std::to_string(unsaid_.noiseBytes) +
            ", reports cut short " + std::to_string(unsaid_.cutShort));
  unsaid_ = {};
  lastSkipNote_ = now;
}

std::optional<TouchRoad::Clock::time_point> TouchRoad::wakeAt() const {
  if (!io_.input) return std::nullopt;
  std::optional<Clock::time_point> at = io_.input->quietDeadline();
  if (unsaid_.any() && lastSkipNote_) {
    const auto noteAt = *lastSkipNote_ + kSkipNoteEvery;
    at = at ? std::min(*at, noteAt) : noteAt;
  }
  return at;
}

void TouchRoad::onTime(Clock::time_point now) {
  if (!io_.input) return;
  samples_.clear();
  io_.input->endIfQuiet(now, samples_);
  for (const TouchSample& sample : samples_) carryOut(applyTouch(model_, sample));
  if (unsaid_.any() && lastSkipNote_ && now - *lastSkipNote_ >= kSkipNoteEvery) noteSkipped(now);
}

}  // namespace qv::driverd
