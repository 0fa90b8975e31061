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

}  // namespace qv::tools
