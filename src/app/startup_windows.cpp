#include "app/startup_windows.h"

namespace qv::app {

StartupWindows createStartupWindows(TMainForm& mainForm) {
  PanelServices& s = mainForm.controller().services();
  StartupWindows windows;
  windows.calibForm = std::make_unique<calibration::TCalibForm>(
      mainForm.programState().calibration, calibration::CalibScreenServices{s.store, s.driver, s.system}, s.prompts);
  mainForm.setCalibrationScreen([form = windows.calibForm.get()] { form->showModally(); });
  return windows;
}

}  // namespace qv::app
