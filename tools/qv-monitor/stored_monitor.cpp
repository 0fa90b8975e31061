#include "stored_monitor.h"

#include "platform/posix/system_store.h"

#include <exception>

namespace qv::tools {

std::variant<settings::CalibratedMonitor, std::string> readStoredMonitor() {
  try {
    const auto store = platform::openSystemStore();
    return settings::storedMonitor(*store);
  } catch (const std::exception& e) {
    return std::string("touch screen: the store cannot be read (") + e.what() + ")";
  }
}

bool namesMonitor(const settings::CalibratedMonitor& m) {
  return !m.connector.empty() || !m.model.empty() || !m.serial.empty();
}

std::string mappedLine(const calibration::DesktopMonitor& m) {
  return "touch screen on " + m.connector + (m.model.empty() ? "" : " (" + m.model + ")") +
         (m.rotation ? ", turned " + std::to_string(m.rotation) + "°" : "");
}

}  // namespace qv::tools
