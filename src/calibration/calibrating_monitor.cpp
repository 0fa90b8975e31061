#include "calibration/calibrating_monitor.h"

#include "calibration/procedures.h"
#include "platform/machine_root.h"

#include <fstream>
#include <string>
#include <system_error>
#include <unistd.h>

namespace qv::calibration {

std::filesystem::path calibratingMonitorFile() { return platform::runDir() / "calibrating-monitor"; }

void announceCalibratingMonitor(platform::WindowMessenger& messenger, const std::string& connector) {
  try {
    const std::filesystem::path file = calibratingMonitorFile();
    std::error_code ec;
    if (connector.empty()) {
      std::filesystem::remove(file, ec);
    } else {
      // Written aside and renamed, so that the reader never sees half a name.
      const std::filesystem::path aside = file.string() + ".new";
      {
        std::ofstream out(aside, std::ios::trunc);
        out << connector << '\n' << ::getpid() << '\n';
        if (!out.flush()) return;
      }
      std::filesystem::rename(aside, file, ec);
      if (ec) return;
    }
  } catch (const std::exception&) {
    return;  // no runtime folder: nothing to tell
  }
  if (messenger.windowExists(kMonitorClass, kMonitorTitle)) {
    messenger.post(kMonitorClass, kMonitorTitle, {kMonitorNotifyMessage, 0, 0});
  }
}

std::optional<std::string> calibratingMonitor() {
  try {
    std::ifstream in(calibratingMonitorFile());
    std::string connector, writer;
    if (!in || !std::getline(in, connector) || connector.empty()) return std::nullopt;
    // A panel that ended without closing its screen (killed, crashed) left the file: the
    // monitor it names is no longer being calibrated.
    if (std::getline(in, writer) && !writer.empty() &&
        writer.find_first_not_of("0123456789") == std::string::npos &&
        !std::filesystem::exists(std::filesystem::path("/proc") / writer)) {
      return std::nullopt;
    }
    return connector;
  } catch (const std::exception&) {
  }
  return std::nullopt;
}

settings::CalibratedMonitor monitorToMap(const settings::CalibratedMonitor& stored,
                                         const std::optional<std::string>& calibrating) {
  if (!calibrating) return stored;
  // Found by its connector alone: the panel and this program see the same display server.
  settings::CalibratedMonitor covered;
  covered.connector = *calibrating;
  return covered;
}

}  // namespace qv::calibration
