#pragma once
// Which of the desktop's monitors is the one a calibration ran on. A monitor is known by
// its EDID identity (model and serial number; the maker's name differs between display
// servers, a name or its three-letter code) first, so that it is found again after
// the monitors were reordered or it was plugged into another port, and by its connector
// name second, where either side has no EDID identity. A monitor that is not there is
// none: touches then span the whole desktop.
#include "settings/monitor_values.h"

#include <optional>
#include <string>
#include <vector>

namespace qv::calibration {

// A monitor of the desktop now: as the display server names it, where it stands on the
// desktop, and how far its picture is turned counter-clockwise.
struct DesktopMonitor {
  std::string connector;
  std::string maker;
  std::string model;
  std::string serial;
  int left = 0;
  int top = 0;
  int width = 0;  // as it stands, turned
  int height = 0;
  int rotation = 0;  // 0, 90, 180, 270
};

// An EDID text (model, serial number) as every reader of the EDID gives it. Some toolkits
// leave a '-' where the line feed ended a text shorter than its 13-byte field
// ("QEMU Monitor-" for "QEMU Monitor"); that mark goes, so that a monitor the panel
// stored is the one the display server names, whichever read its EDID.
std::string plainEdidText(std::string text);

// The index in monitors of the calibrated one, or none. Among several with the same EDID
// identity (two of a model without serial numbers) the one on the stored connector wins,
// else the first.
std::optional<std::size_t> findCalibratedMonitor(const settings::CalibratedMonitor& stored,
                                                 const std::vector<DesktopMonitor>& monitors);

}  // namespace qv::calibration
