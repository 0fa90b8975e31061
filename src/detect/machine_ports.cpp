#include "detect/machine_ports.h"

#include "platform/machine_root.h"

#include <cstdlib>

namespace qv::detect {

bool portOnThisMachine(std::string_view name) {
  const auto path = platform::serialDevicePath(name);
  if (!path) return false;
  if (std::getenv("QUORVANE_HOME") == nullptr) return true;
  return path->parent_path() == platform::deviceDir();
}

bool machinePortPresent(std::string_view name) {
  return portOnThisMachine(name) && platform::serialPortPresent(name);
}

platform::SerialPortOpener machinePortOpener() {
  return [](std::string_view name) {
    if (!portOnThisMachine(name)) return platform::SerialOpenResult{};
    return platform::openSerialPort(name);
  };
}

}  // namespace qv::detect
