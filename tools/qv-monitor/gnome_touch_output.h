#pragma once
// GNOME keeps the monitor of each touch screen in its own settings: the relocatable schema
// org.gnome.desktop.peripherals.touchscreen at a path named after the device's vendor and
// product, key "output", the monitor as [vendor, product, serial] in the forms its
// compositor reads from the EDID. GNOME maps (and turns) the touch screen itself from it,
// and follows the monitor when it moves or comes back.
#include "edid_identity.h"

#include <array>
#include <cstdint>
#include <string>

namespace qv::tools {

inline constexpr const char* kGnomeTouchscreenSchema = "org.gnome.desktop.peripherals.touchscreen";
inline constexpr const char* kGnomeOutputKey = "output";

using GnomeOutput = std::array<std::string, 3>;

// "/org/gnome/desktop/peripherals/touchscreens/5156:5453/": four lowercase hex digits each.
std::string gnomeTouchscreenPath(std::uint16_t vendor, std::uint16_t product);

// The maker's three-letter code; the model, or the product code as "0x0123" when the EDID
// names none; the serial descriptor, or the serial number as "0x0000abcd". A monitor
// without EDID is "unknown" in all three.
GnomeOutput gnomeOutput(const EdidIdentity& edid);

// ['QVM', 'Touch 15', '12345'], as gsettings prints it.
std::string gnomeOutputText(const GnomeOutput& output);

}  // namespace qv::tools
