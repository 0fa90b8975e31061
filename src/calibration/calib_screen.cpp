#include "calibration/calib_screen.h"

#include "calibration/calibration_limits.h"
#include "calibration/panel_rotation.h"

#include <exception>

namespace qv::calibration {

void CalibScreen::FormShow() {
  // The screen restored from minimised is shown again within the same showing: a Cancel
  // that could not reach the driver still stands, so the next one closes.
  if (!showing_) {
    showing_ = true;
    state_.cancelUnreachable = false;
    view_.showMessage({});
  }
  view_.layOut();
}

void CalibScreen::close() {
  showing_ = false;
  view_.closeScreen();
}

TouchResult CalibScreen::FormMouseDown() {
  // Unsigned arithmetic: the difference is right across the wrap of the tick count.
  const std::uint32_t now = services_.system.tickCount();
  if (now - state_.LastAcceptedTick < kTouchGapMs) return TouchResult::TooSoon;
  state_.LastAcceptedTick = now;

  auto session = services_.driver.open();
  if (!session) {
    view_.showMessage(kDriverUnreadText);
    return TouchResult::DriverAbsent;
  }
  // A touch without its reading is not taken: an older reading would give a limit the
  // user never touched. The target stays; Cancel is the way out when the driver has gone.
  driver::RawPoint reading = state_.rawPoint;
  if (!session->readRawPoint(reading)) {
    view_.showMessage(kDriverUnreadText);
    return TouchResult::Unread;
  }
  state_.rawPoint = reading;
  services_.system.beep(kSimpleBeep);
  // The driver answers: neither a failed Cancel nor a failed reading stands any more.
  state_.cancelUnreachable = false;
  view_.showMessage({});
  keepLimit(state_, limitForTarget(state_.TargetIndex, state_.rawPoint));
  state_.targetReadings[static_cast<std::size_t>(state_.TargetIndex & 3)] = state_.rawPoint;
  ++state_.TargetIndex;
  view_.layOut();

  TouchResult result = TouchResult::Taken;
  std::string error;
  if (state_.TargetIndex >= 4) result = complete(*session, error);
  // After completion this prepares the top target for the next showing.
  view_.layOut();
  view_.repaintScreen();
  session.reset();  // the device is closed before an error box waits for the user
  if (!error.empty()) view_.reportError(error);
  return result;
}

TouchResult CalibScreen::complete(driver::DriverSession& session, std::string& error) {
  // The monitor the targets were shown on, taken while the screen still covers it.
  settings::CalibratedMonitor monitor = view_.coveredMonitor();
  state_.CalibrationCancelled = false;
  view_.minimise();
  state_.TargetIndex = 0;
  // The limits in the monitor's unturned orientation, whichever way it was turned, and the
  // monitor they belong to beside them.
  const PanelCalibration panel = panelCalibration(state_.targetReadings, monitor.mounting.rotation);
  monitor.mounting.swapXY = panel.swapXY;
  for (std::size_t i = 0; i < panel.limits.size(); ++i) {
    keepLimit(state_, {static_cast<Limit>(i), panel.limits[i]});
  }
  try {
    writeLimits(services_.store, state_, settings::monitorValues(monitor));
  } catch (const std::exception& e) {
    // The new limits could not be kept: the calibration did not happen. As on Cancel, the
    // driver gets its earlier limits back, which also ends its calibration mode.
    error = e.what();
    state_.CalibrationCancelled = true;
    if (!session.setCalibration(state_.limitsBefore)) error += "\n" + std::string(kLimitsNotRestoredText);
    close();
    return TouchResult::NotStored;
  }
  // A driver that does not take the new limits still ends the screen as completed: they
  // are stored, and Initial hands them over, so the offset that fitted the old ones goes.
  const bool taken = session.setCalibration(state_.newLimits);
  if (!taken) error = kLimitsNotTakenText;
  close();
  return taken ? TouchResult::Completed : TouchResult::NotTaken;
}

CancelResult CalibScreen::btnCancelClick() {
  state_.CalibrationCancelled = true;
  state_.TargetIndex = 0;
  view_.layOut();  // the top target, which the next touch would take if the screen stays
  auto session = services_.driver.open();
  // A driver that opens but does not take the limits is as gone as one that does not open:
  // it stays in calibration mode.
  if (!session || !session->setCalibration(state_.limitsBefore)) {
    session.reset();
    // Still, the user must be able to leave.
    if (!state_.cancelUnreachable) {
      state_.cancelUnreachable = true;
      view_.showMessage(kCancelUnreachableText);
      return CancelResult::DriverUnreachable;
    }
    close();
    return CancelResult::ClosedUnreachable;
  }
  session.reset();
  close();
  return CancelResult::Sent;
}

void CalibScreen::FormKeyPress(char key) {
  if (key == 27) btnCancelClick();
}

void CalibScreen::FormMonitorChanged() {
  if (!showing_) return;
  const bool touched = state_.TargetIndex != 0;
  state_.TargetIndex = 0;
  state_.newLimits = {};
  state_.targetReadings = {};
  state_.limitTexts = {};
  state_.limitPairs = {};
  if (touched) view_.showMessage(kMonitorChangedText);
  view_.layOut();
}

}  // namespace qv::calibration
