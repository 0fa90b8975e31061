#pragma once
// The monitor the touch screen's calibration names, as every mapper reads it.
#include "settings/monitor_values.h"

#include <string>
#include <variant>

namespace qv::tools {

// The stored monitor, or the line that says why the store cannot be read.
std::variant<settings::CalibratedMonitor, std::string> readStoredMonitor();

}  // namespace qv::tools
