#pragma once
// The Qt program's side of the system settings: applies the double-click time to the
// running toolkit, gives the size of the monitor that holds the main window and rings the
// bell.
#include "platform/posix/store_system_services.h"

#include <functional>

class QWidget;

namespace qv::platform {

// Needs a QGuiApplication; the hooks look it up each time they run. mainWindow gives the
// main window once it exists (null before and after); without it the primary monitor counts.
SystemHooks qtSystemHooks(std::function<QWidget*()> mainWindow = {});

}  // namespace qv::platform
