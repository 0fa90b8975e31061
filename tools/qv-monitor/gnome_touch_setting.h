#pragma once
// GNOME's touchscreen setting for the driver's device, written through GSettings (so dconf
// or whatever backend the session has stores it, and GNOME sees the change at once). A
// machine without GNOME's schemas gets a line that says so instead of an abort.
#include "desktop_touch_mapping.h"

#include <memory>

namespace qv::tools {

std::unique_ptr<TouchOutputSetting> gnomeTouchSetting();

}  // namespace qv::tools
