#pragma once
// Which way the session's desktop is told the touch screen's monitor: an X server takes a
// transformation matrix, GNOME (on Wayland and on X11, where it sets the matrix itself) its
// touchscreen setting, KDE Plasma on Wayland KWin's input device over D-Bus. Any other
// Wayland desktop has a setting of its own that no program may make, which the user is
// told once.
#include "desktop_touch_mapping.h"
#include "drm_connectors.h"

#include <memory>

#include <string>
#include <string_view>

namespace qv::tools {

// sway and other wlroots desktops are OtherWayland here: their IPC (SWAYSOCK) serves them.
enum class TouchDesktop { X11, Gnome, KdeWayland, OtherWayland };

// From XDG_CURRENT_DESKTOP (a colon-separated list, "ubuntu:GNOME") and the session type.
TouchDesktop touchDesktop(std::string_view currentDesktop, bool wayland);

// The line that tells the user which setting to make on a desktop mapped by none of ours.
std::string touchSettingAdvice(const DrmConnector& monitor);

// The "setting" of such a desktop: the line above, once for each monitor.
std::unique_ptr<TouchOutputSetting> touchSettingAdvice();

}  // namespace qv::tools
