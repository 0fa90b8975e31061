#pragma once
// What the pointer device tells the desktops about the monitor it belongs to: a fixed
// identity, the monitor's physical size as its axes' resolution, and udev properties that
// the package's udev rule imports for the device from a file in the machine's folder
// (71-quorvane-touchscreen.rules), so that every session, the login screen's too, has them
// before a program of the session runs:
//
//   WL_OUTPUT=<connector>                  the monitor the device drives (Wayland
//                                          compositors that read it: weston, and others)
//   LIBINPUT_CALIBRATION_MATRIX=1 0 0 0 1 0
//                                          the driver applies the limits and a turned
//                                          mounting itself; the identity keeps any other
//                                          matrix (a hardware database entry, an older
//                                          rule) from applying on top of it
#include "settings/monitor_values.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace qv::driverd {

// The device's identity. Desktops tell touch screens apart by vendor and product (GNOME
// keeps its monitor setting per vendor:product) and treat a virtual bus as no real device;
// a touch screen beside a monitor is usually a USB one. 0x5156 is no vendor's number in
// the USB ID list.
inline constexpr std::uint16_t kDeviceVendor = 0x5156;
inline constexpr std::uint16_t kDeviceProduct = 0x5453;
inline constexpr std::uint16_t kDeviceVersion = 0x0100;

// Pointer units per millimetre when the monitor's size is unknown: 65535 over about
// 330 mm, the width of a common panel.
inline constexpr int kDefaultResolution = 200;

// The file's name in the machine's folder.
inline constexpr const char* kUdevPropertiesFile = "touchscreen.env";

struct OutputSetup {
  int resolutionX = kDefaultResolution;  // pointer units per millimetre along ABS_X
  int resolutionY = kDefaultResolution;
  std::string udevProperties;  // the file's text
  bool operator==(const OutputSetup&) const = default;
};

// From the stored monitor: its size, turned with the touches when the driver turns them
// (rotated), and its connector. A connector name with characters outside letters, digits
// and "-_.:" is left out rather than written into a file udev reads.
OutputSetup outputSetup(const settings::CalibratedMonitor& monitor, bool rotated);

// Replaces the file with text through a rename, readable by everyone (udev reads it).
// The reason when it could not.
std::optional<std::string> writeUdevProperties(const std::filesystem::path& file, const std::string& text);

}  // namespace qv::driverd
