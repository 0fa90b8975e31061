#include "calibration/touch_monitor.h"

namespace qv::calibration {

std::string touchMonitorText(const settings::CalibratedMonitor& stored) {
  if (stored.connector.empty()) return "Touch screen on the whole desktop";
  std::string text = "Touch screen on " + stored.connector;
  std::string identity = stored.maker;
  if (!stored.model.empty()) identity += (identity.empty() ? "" : " ") + stored.model;
  if (!identity.empty()) text += " (" + identity + ")";
  const int rotation = settings::normalRotation(stored.mounting.rotation);
  if (rotation != 0) text += ", turned " + std::to_string(rotation) + "\u00B0";
  return text;
}

std::size_t calibrationScreenMonitor(const settings::CalibratedMonitor& stored,
                                     const std::vector<DesktopMonitor>& monitors, std::size_t own) {
  return findCalibratedMonitor(stored, monitors).value_or(own);
}

}  // namespace qv::calibration
