#include "desktop_touch_mapping.h"

#include "calibration/calibrating_monitor.h"
#include "stored_monitor.h"
#include "settings/monitor_values.h"

#include <exception>

namespace qv::tools {

DesktopTouchMapping::DesktopTouchMapping(std::unique_ptr<TouchOutputSetting> setting, std::filesystem::path drmDir,
                                         Say say)
    : setting_(std::move(setting)), drmDir_(std::move(drmDir)), say_(std::move(say)) {}

void DesktopTouchMapping::apply() {
  auto read = readStoredMonitor();
  if (const auto* failure = std::get_if<std::string>(&read)) {
    sayOnce(*failure);
    return;
  }
  settings::CalibratedMonitor stored = std::get<settings::CalibratedMonitor>(read);
  const auto calibrating = calibration::calibratingMonitor();
  if (calibrating && !kept_) {
    setting_->keep();
    kept_ = true;
  }
  if (!calibrating && kept_) {
    kept_ = false;
    if (!namesMonitor(stored)) {
      sayOnce(setting_->putBack());
      return;
    }
  }
  const settings::CalibratedMonitor wanted = calibration::monitorToMap(stored, calibrating);
  if (!namesMonitor(wanted)) {
    // Nothing to keep it on: a setting the user made stays.
    sayOnce("touch screen: no monitor calibrated yet; its mapping is left as it is");
    return;
  }
  const auto monitors = connectedMonitors(drmDir_);
  const auto found = findConnectedMonitor(wanted, monitors);
  if (!found) {
    sayOnce("touch screen: its monitor " + (wanted.connector.empty() ? wanted.model : wanted.connector) +
            " is not connected; the desktop places touches itself until it is");
    return;
  }
  sayOnce((calibrating ? "calibrating: " : "") + setting_->map(monitors[*found]));
}

void DesktopTouchMapping::sayOnce(const std::string& line) {
  if (line.empty() || line == said_) return;
  said_ = line;
  say_(line);
}

}  // namespace qv::tools
