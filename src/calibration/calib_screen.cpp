#include "calibration/calib_screen.h"

#include "calibration/calibration_limits.h"

namespace qv::calibration {

void CalibScreen::FormShow() {
  state_.cancelUnreachable = false;
  view_.showMessage({});
  view_.layOut();
}

TouchResult CalibScreen::FormMouseDown() {
  // Unsigned arithmetic: the difference is right across the wrap of the tick count.
  const std::uint32_t now = services_.system.tickCount();
  if (now - state_.LastAcceptedTick < kTouchGapMs) return TouchResult::TooSoon;
  state_.LastAcceptedTick = now;

  auto session = services_.driver.open();
  if (!session) return TouchResult::DriverAbsent;
  // A reading the driver did not return leaves the previous one in place.
  session->readRawPoint(state_.rawPoint);
  services_.system.beep(kSimpleBeep);
  if (state_.cancelUnreachable) {
    // The driver is back: a failed Cancel no longer stands.
    state_.cancelUnreachable = false;
    view_.showMessage({});
  }
  keepLimit(state_, limitForTarget(state_.TargetIndex, state_.rawPoint));
  ++state_.TargetIndex;
  view_.layOut();

  const bool completed = state_.TargetIndex >= 4;
  if (completed) complete(*session);
  // After completion this prepares the top target for the next showing.
  view_.layOut();
  view_.repaintScreen();
  return completed ? TouchResult::Completed : TouchResult::Taken;
}

void CalibScreen::complete(driver::DriverSession& session) {
  state_.CalibrationCancelled = false;
  view_.minimise();
  try {
    writeLimits(services_.store, state_);
  } catch (...) {
    // The new limits could not be kept: the calibration did not happen. The screen
    // closes as cancelled, ready to start at the top again, and the error is reported.
    state_.TargetIndex = 0;
    state_.CalibrationCancelled = true;
    view_.layOut();
    view_.closeScreen();
    throw;
  }
  state_.TargetIndex = 0;
  session.setCalibration(state_.newLimits);
  view_.closeScreen();
}

CancelResult CalibScreen::btnCancelClick() {
  state_.CalibrationCancelled = true;
  state_.TargetIndex = 0;
  const driver::CalibrationRecord stored = storedCalibration(services_.store);
  auto session = services_.driver.open();
  if (!session) {
    // The driver keeps its calibration mode; still, the user must be able to leave.
    if (state_.cancelUnreachable) {
      view_.closeScreen();
      return CancelResult::ClosedUnreachable;
    }
    state_.cancelUnreachable = true;
    view_.layOut();  // shows the top target, which the next touch would take
    view_.showMessage(kCancelUnreachableText);
    return CancelResult::DriverUnreachable;
  }
  session->setCalibration(stored);
  session.reset();
  view_.closeScreen();
  return CancelResult::Sent;
}

void CalibScreen::FormKeyPress(char key) {
  if (key == 27) btnCancelClick();
}

}  // namespace qv::calibration
