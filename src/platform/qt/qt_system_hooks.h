#pragma once
// The Qt program's side of the system settings: applies the double-click time to the
// running toolkit, gives the primary screen's size and rings the bell.
#include "platform/posix/store_system_services.h"

namespace qv::platform {

// Needs a QGuiApplication; the hooks look it up each time they run.
SystemHooks qtSystemHooks();

}  // namespace qv::platform
