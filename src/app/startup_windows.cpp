#include "app/startup_windows.h"

namespace qv::app {

StartupWindows createStartupWindows(TMainForm& /*mainForm*/) {
  // Create the calibration screen, then the initial-error window, both hidden.
  return {};
}

}  // namespace qv::app
