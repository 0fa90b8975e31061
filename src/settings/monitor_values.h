#pragma once
// The monitor a calibration ran on and how the touch panel sits on it, kept beside the
// limits under HKEY_LOCAL_MACHINE\SOFTWARE\Quorvane as texts that readers of the limits
// alone pass over:
//
//   Cfg_Monitor        connector name as the display server gives it ("DP-1", "HDMI-A-1")
//   Cfg_MonitorMaker   EDID maker, model and serial number; empty where the display
//   Cfg_MonitorModel   server does not give them
//   Cfg_MonitorSerial
//   Cfg_MonitorSizeMM  "W,H": the monitor's size in millimetres, unturned; "0,0" unknown
//   Cfg_Rotation       "0", "90", "180" or "270": how far the picture was turned on the
//                      monitor during the calibration, counter-clockwise (what RandR calls
//                      "left" is 90)
//   Cfg_SwapXY         "1" when the controller's X axis runs along the monitor's height
//                      (unturned), the panel being mounted turned; "0" otherwise
//
// The limits themselves (Cfg_X1…, X1…) are kept in the orientation of the monitor
// unturned: with Cfg_SwapXY "1", X1 and X2 are the controller's X readings at its top and
// bottom edges, Y1 and Y2 its Y readings at the left and right.
#include "platform/registry_store.h"

#include <string>
#include <vector>

namespace qv::settings {

struct PanelMounting {
  int rotation = 0;     // 0, 90, 180 or 270
  bool swapXY = false;  // the controller's X runs along the monitor's height
  bool operator==(const PanelMounting&) const = default;
};

struct CalibratedMonitor {
  std::string connector;
  std::string maker;
  std::string model;
  std::string serial;
  int widthMm = 0;  // unturned; 0 unknown
  int heightMm = 0;
  PanelMounting mounting;
  bool operator==(const CalibratedMonitor&) const = default;
};

// 0, 90, 180 or 270 for a whole multiple of 90 degrees (any sign), else 0.
inline int normalRotation(int degrees) {
  if (degrees % 90 != 0) return 0;
  return ((degrees % 360) + 360) % 360;
}

// The seven values, in the order above, to be written with the limits.
std::vector<platform::RegValueEntry> monitorValues(const CalibratedMonitor& monitor);

// The stored monitor. Absent, unreadable or malformed values read as unknown (empty, 0,
// rotation 0, not swapped): a panel calibrated before any of this was kept maps as before.
CalibratedMonitor storedMonitor(platform::RegistryStore& store);

}  // namespace qv::settings
