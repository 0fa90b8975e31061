#include "detect/machine_ports.h"

#include "platform/machine_root.h"

#include <cstdlib>
#include <exception>

namespace qv::detect {

bool portOnThisMachine(std::string_view name) {
  try {
    const auto path = platform::serialDevicePath(name);
    if (!path) return false;
    if (std::getenv("QUORVANE_HOME") == nullptr) return true;
    return path->parent_path() == platform::deviceDir();
  } catch (const std::exception&) {
    return false;  // no machine root to hold the port: the port is not there
  }
}

bool machinePortPresent(std::string_view name) {
  return portOnThisMachine(name) && platform::serialPortPresent(name);
}

std::string machinePortGroupNeeded(std::string_view name) {
  return portOnThisMachine(name) ? platform::serialPortGroupNeeded(name) : std::string();
}

platform::SerialPortOpener machinePortOpener() {
  return [](std::string_view name) {
    if (!portOnThisMachine(name)) return platform::SerialOpenResult{};
    return platform::openSerialPort(name);
  };
}

}  // namespace qv::detect
