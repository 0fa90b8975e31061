#include "app/startup_windows.h"

#include "calibration/calibrating_monitor.h"

namespace qv::app {

StartupWindows createStartupWindows(TMainForm& mainForm) {
  PanelServices& s = mainForm.controller().services();
  StartupWindows windows;
  windows.calibForm = std::make_unique<calibration::TCalibForm>(
      mainForm.programState().calibration, calibration::CalibScreenServices{s.store, s.driver, s.system}, s.prompts,
      // A child of the main window: it opens on the main window's monitor and stays above it.
      &mainForm);
  windows.calibForm->setCoverAnnouncer(
      [&messenger = s.messenger](const std::string& connector) { calibration::announceCalibratingMonitor(messenger, connector); });
  mainForm.setCalibrationScreen([form = windows.calibForm.get()] { form->showModally(); });
  return windows;
}

}  // namespace qv::app
