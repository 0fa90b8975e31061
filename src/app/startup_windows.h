#pragma once
// The windows the application creates at start besides the main window, hidden until a
// button of the main window needs them.
#include "app/main_form.h"
#include "calibration/qt/calib_form.h"

#include <memory>

namespace qv::app {

struct StartupWindows {
  // The calibration screen, reused by every calibration. The initial-error window is
  // made by the Initial procedure each time it is needed and destroyed after it closed.
  std::unique_ptr<calibration::TCalibForm> calibForm;
};

// The windows use the main window's services and program state and must end before it.
StartupWindows createStartupWindows(TMainForm& mainForm);

}  // namespace qv::app
