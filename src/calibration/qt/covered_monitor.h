#pragma once
// What the display server says about a monitor, in the form the calibration keeps it.
#include "settings/monitor_values.h"

class QScreen;

namespace qv::calibration {

// How far the picture is turned counter-clockwise on the monitor: 0, 90, 180 or 270.
// A platform that does not know the monitor's own orientation is taken to have a
// landscape monitor, as nearly all are.
int rotationOf(const QScreen& screen);

// Connector name, EDID maker, model and serial number, the size in millimetres unturned,
// and the rotation; the panel's mounting is not the monitor's to say (swapXY false).
settings::CalibratedMonitor monitorOf(const QScreen& screen);

// The connected monitor the stored calibration belongs to, else own.
QScreen* storedMonitorScreen(const settings::CalibratedMonitor& stored, QScreen* own);

}  // namespace qv::calibration
