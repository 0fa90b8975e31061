#pragma once
// The touch-screen mapping of a desktop that is no plain X server: GNOME's setting, KWin's
// device, or the line that tells the user which setting to make.
#include "desktop_mapping_thread.h"
#include "touch_desktop.h"

#include <memory>

namespace qv::tools {

// None for TouchDesktop::X11, which the X11 mapping serves.
std::unique_ptr<DesktopMappingThread> startDesktopMapping(TouchDesktop desktop, Say say);

}  // namespace qv::tools
