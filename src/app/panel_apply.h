#pragma once
// OK and Cancel of the main window. Settings layer errors propagate as exceptions: the
// sequence stops there, what was written before stays, and the window stays open.
#include "app/panel_model.h"
#include "app/panel_services.h"

namespace qv::app {

enum class OkOutcome {
  PortInvalid,      // the user was told; nothing written, the window stays open
  MachineRefused,   // a change of the machine by a user who may not: told, nothing written, the window stays open
  RestartDeclined,  // settings written, nothing sent; the window stays open
  Completed,        // the window closes
};

OkOutcome applySettings(const PanelModel& model, PanelServices& services);

// Puts back what the window changed in the system while it was open. The window closes
// afterwards.
void cancelSettings(const PanelModel& model, PanelServices& services);

// The double-click rectangle Cancel restores: the area bar's start position, i.e. the
// size that was in force when the window opened.
int startDoubleClickArea(const PanelRuntime& r);

// The blank cursor file in the system directory.
std::string blankCursorPath(const std::string& systemDirectory);

}  // namespace qv::app
