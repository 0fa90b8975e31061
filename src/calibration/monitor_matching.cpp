#include "calibration/monitor_matching.h"

namespace qv::calibration {

namespace {

// An EDID identity says something only with a model or a serial number: a maker alone
// is shared by every monitor it makes.
bool knownIdentity(const std::string& model, const std::string& serial) { return !model.empty() || !serial.empty(); }

}  // namespace

std::string plainEdidText(std::string text) {
  if (!text.empty() && text.back() == '-') text.pop_back();
  return text;
}

std::optional<std::size_t> findCalibratedMonitor(const settings::CalibratedMonitor& stored,
                                                 const std::vector<DesktopMonitor>& monitors) {
  // Values stored before the panel cleaned its texts may still carry the mark.
  const std::string model = plainEdidText(stored.model);
  const std::string serial = plainEdidText(stored.serial);
  const bool storedKnown = knownIdentity(model, serial);
  std::optional<std::size_t> byIdentity;
  std::optional<std::size_t> byConnector;
  for (std::size_t i = 0; i < monitors.size(); ++i) {
    const DesktopMonitor& m = monitors[i];
    const bool sameConnector = !stored.connector.empty() && m.connector == stored.connector;
    const bool mKnown = knownIdentity(m.model, m.serial);
    if (storedKnown && mKnown && plainEdidText(m.model) == model && plainEdidText(m.serial) == serial) {
      if (!byIdentity || sameConnector) byIdentity = i;
      if (sameConnector) break;
    } else if (sameConnector && (!storedKnown || !mKnown)) {
      byConnector = i;
    }
  }
  return byIdentity ? byIdentity : byConnector;
}

}  // namespace qv::calibration
