#pragma once
// The monitor the touch screen's calibration names, as every mapper reads it.
#include "calibration/monitor_matching.h"
#include "settings/monitor_values.h"

#include <string>
#include <variant>

namespace qv::tools {

// The stored monitor, or the line that says why the store cannot be read.
std::variant<settings::CalibratedMonitor, std::string> readStoredMonitor();

// Whether the store names a monitor at all; a panel never calibrated on one does not.
bool namesMonitor(const settings::CalibratedMonitor& m);

// The log line of a mapping made: "touch screen on DP-1 (Model), turned 90°".
std::string mappedLine(const calibration::DesktopMonitor& m);

}  // namespace qv::tools
