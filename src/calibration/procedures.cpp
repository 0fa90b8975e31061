#include "calibration/procedures.h"

#include "calibration/calibration_limits.h"
#include "settings/settings_key.h"
#include "settings/value_names.h"

namespace qv::calibration {

namespace names = settings::names;
using settings::RegistryRoot;
using settings::SettingsKey;

InitialOutcome runInitialProcedure(const InitialServices& s, bool quiet) {
  const driver::CalibrationRecord record = storedCalibration(s.store);
  {
    auto session = s.driver.open();
    if (!session) {
      s.prompts.notice(kDriverLoadFailedText);
      return InitialOutcome::DriverAbsent;
    }
    // The driver records its answer in the store before it replies.
    session->initializeDriver(record);
  }
  if (quiet) return InitialOutcome::Unchecked;

  SettingsKey key(s.store);
  key.open(RegistryRoot::LocalMachine, settings::kSettingsKey, false);
  const bool succeeded = key.readText(names::VxdInit) == kInitSuccess;
  key.close();
  if (succeeded) return InitialOutcome::Succeeded;
  if (s.showErrorWindow) s.showErrorWindow();
  return InitialOutcome::Failed;
}

CalibrationOutcome runCalibrationProcedure(const CalibrationServices& s, CalibrationState& state,
                                           const CursorOffsetAccess& offset) {
  // Read now, not when the screen gives them back: a store that fails then would leave the
  // driver with no limits to return to but the defaults.
  state.limitsBefore = storedCalibration(s.store);
  {
    auto session = s.driver.open();
    if (!session) return CalibrationOutcome::DriverAbsent;
    session->beginCalibration();
  }
  if (s.showCalibrationScreen) s.showCalibrationScreen();
  // Cancel has already given the driver the stored limits back, which ends calibration mode.
  if (state.CalibrationCancelled) return CalibrationOutcome::Cancelled;

  // The new limits were taken without the offset: it no longer fits them.
  if (offset.untick) offset.untick();
  {
    SettingsKey key(s.store);
    key.open(RegistryRoot::LocalMachine, settings::kSettingsKey, false);
    key.writeFlag(names::IsCursorOffset, false);
  }
  if (auto session = s.driver.open()) {
    const platform::ScreenSize screen = s.system.screenSize();
    session->setCursorOffset(driver::makeCursorOffsetRecord(false, offset.dx, offset.dy, screen.width, screen.height));
  }
  if (s.messenger.windowExists(kMonitorClass, kMonitorTitle)) {
    s.messenger.send(kMonitorClass, kMonitorTitle, {kMonitorNotifyMessage, 0, 0});
  }
  return CalibrationOutcome::Completed;
}

}  // namespace qv::calibration
