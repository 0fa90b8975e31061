#pragma once
// What OK writes to the settings key from the window's state.
#include "app/panel_model.h"
#include "platform/regedit_format.h"

#include <vector>

namespace qv::app {

// The values of the settings key that OK writes from the window, in the order it writes
// them.
std::vector<platform::RegValueEntry> okSettingsValues(const PanelControls& c, const PanelRuntime& r);

}  // namespace qv::app
