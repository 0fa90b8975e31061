#pragma once
// Which monitor the touch screen drives, as the panel tells the user and as the calibration
// screen chooses where to open.
#include "calibration/monitor_matching.h"
#include "settings/monitor_values.h"

#include <cstddef>
#include <string>
#include <vector>

namespace qv::calibration {

// "Touch screen on DP-1 (Maker Model), turned 90°": the maker and model only where they are
// known, the turn only where there is one. A touch screen never calibrated on a named
// monitor spans the whole desktop.
std::string touchMonitorText(const settings::CalibratedMonitor& stored);

// The monitor the calibration screen opens on: the stored one where it is connected, else
// the one holding the panel (own, an index in monitors).
std::size_t calibrationScreenMonitor(const settings::CalibratedMonitor& stored,
                                     const std::vector<DesktopMonitor>& monitors, std::size_t own);

}  // namespace qv::calibration
