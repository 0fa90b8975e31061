#pragma once
// The windows the application creates at start besides the main window, hidden until a
// button of the main window needs them.
#include "app/main_form.h"

namespace qv::app {

struct StartupWindows {
  // The calibration screen and the initial-error window are created here once they exist;
  // until then the main window's Initial and Calibration buttons do nothing.
};

StartupWindows createStartupWindows(TMainForm& mainForm);

}  // namespace qv::app
