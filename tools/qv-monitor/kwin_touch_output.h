#pragma once
// KWin's input device for the driver's touch screen, over the session bus: each device is an
// object /org/kde/KWin/InputDevice/<sysname> with its name and a writable outputName, the
// connector of the monitor it drives. Devices are found through the device manager's
// devicesSysNames; its deviceAdded signal tells when the driver's device comes again, which
// calls deviceCame on the thread whose main context was the default at creation.
#include "desktop_touch_mapping.h"

#include <functional>
#include <memory>

namespace qv::tools {

std::unique_ptr<TouchOutputSetting> kwinTouchOutput(std::function<void()> deviceCame);

}  // namespace qv::tools
