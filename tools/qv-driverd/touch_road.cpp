#include "touch_road.h"

#include <utility>

namespace qv::driverd {

TouchRoad::TouchRoad(DriverIo io, DriverModel& model, DriverLog& log, bool trueLimitsGiven)
    : io_(std::move(io)), model_(model), log_(log), trueLimitsGiven_(trueLimitsGiven) {}

std::optional<std::string> TouchRoad::openInput() {
  if (!io_.input) return std::nullopt;
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

void TouchRoad::followMonitor() {
  if (!io_.readMonitor) return;
  const OutputSetup setup = outputSetup(io_.readMonitor(), model_.orientation.rotate);
  if (setup == io_.outputSetup) return;
  io_.outputSetup = setup;
  // The file first: udev reads it when the new device comes.
  if (!io_.udevPropertiesFile.empty()) {
    if (auto problem = writeUdevProperties(io_.udevPropertiesFile, setup.udevProperties)) log_.note(*problem);
  }
  if (!io_.output) return;
  carryOut(releaseTouch(model_));
  if (auto problem = io_.output->remake(setup.resolutionX, setup.resolutionY)) {
    log_.note(*problem);
  } else {
    log_.note("the pointer device follows its monitor: " + std::to_string(setup.resolutionX) + " x " +
              std::to_string(setup.resolutionY) + " units/mm");
  }
}

void TouchRoad::readInput() {
  samples_.clear();
  const TouchInput::Reading r = io_.input->read(samples_);
  for (const TouchSample& sample : samples_) carryOut(applyTouch(model_, sample));
  model_.line.overrunErrors += r.overrunErrors;
  model_.line.framingErrors += r.framingErrors;
  if (r.skipped.any()) {
    log_.note("skipped on the " + io_.input->what() + ": noise bytes " + std::to_string(r.skipped.noiseBytes) +
              ", reports cut short " + std::to_string(r.skipped.cutShort));
  }
  if (r.gone) {
    carryOut(releaseTouch(model_));
    log_.note("the " + io_.input->what() + " is gone (" + *r.gone + "); it is opened again on the next InitializeDriver");
  }
}

}  // namespace qv::driverd
