#pragma once
// While the calibration screen is shown, touches belong to the monitor it covers, whatever
// monitor the stored calibration names (or none): otherwise most target taps of a first
// calibration on a desktop of several monitors land beside the screen. The panel names that
// monitor's connector in a file of the user's runtime folder and tells the monitor program,
// which maps the touch screen there while the file exists and back when it is gone.
#include "platform/window_messages.h"
#include "settings/monitor_values.h"

#include <filesystem>
#include <optional>
#include <string>

namespace qv::calibration {

// <run>/calibrating-monitor: the connector name, then the writing panel's process id.
std::filesystem::path calibratingMonitorFile();

// Names the covered monitor (empty: the screen closed, the file goes) and tells the monitor
// program. A file that cannot be written is passed over: the mapping then stays as it is.
void announceCalibratingMonitor(platform::WindowMessenger& messenger, const std::string& connector);

// The connector the calibration screen covers now, or none; none too when the panel that
// named it is no longer running.
std::optional<std::string> calibratingMonitor();

// The monitor the touch screen is to be mapped to: the covered one during a calibration.
settings::CalibratedMonitor monitorToMap(const settings::CalibratedMonitor& stored,
                                         const std::optional<std::string>& calibrating);

}  // namespace qv::calibration
