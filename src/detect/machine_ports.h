#pragma once
// The presence test and the opener the detection uses. On a private machine (QUORVANE_HOME
// set) they never reach past <root>/dev, so that a test or the demo cannot probe a real
// serial port of the host when a link is missing.
#include "platform/serial_port.h"

#include <string>
#include <string_view>

namespace qv::detect {

// False when the port's device lies outside the machine root although one is set, and
// when its path cannot be made (the machine root cannot be created).
bool portOnThisMachine(std::string_view name);
bool machinePortPresent(std::string_view name);
// The group this user lacks to open the port (platform::serialPortGroupNeeded); empty
// also for a port outside the machine root.
std::string machinePortGroupNeeded(std::string_view name);
platform::SerialPortOpener machinePortOpener();

}  // namespace qv::detect
