#include "app/startup_windows.h"

namespace qv::app {

StartupWindows createStartupWindows(TMainForm& mainForm) {
  PanelServices& s = mainForm.controller().services();
  StartupWindows windows;
  windows.calibForm = std::make_unique<calibration::TCalibForm>(
      mainForm.programState().calibration, calibration::CalibScreenServices{s.store, s.driver, s.system}, s.prompts,
      // A child of the main window: it opens on the main window's monitor and stays above it.
      &mainForm);
  mainForm.setCalibrationScreen([form = windows.calibForm.get()] { form->showModally(); });
  return windows;
}

}  // namespace qv::app
