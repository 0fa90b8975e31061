#pragma once
// Builds the panel's application object, or ends the program with one line when there is
// no display to show it on: either none is named, or the one named cannot be reached
// (where the toolkit itself would abort).
#include "app/panel_application.h"

#include <memory>

namespace qv::app {

// Returns the application object; without a display writes "quorvane-panel: no display"
// (and the window system's reason, when it gave one) to standard error and exits with 1.
std::unique_ptr<PanelApplication> startApplicationOrExit(int& argc, char** argv);

}  // namespace qv::app
