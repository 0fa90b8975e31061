#include "drm_connectors.h"

#include "calibration/monitor_matching.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <system_error>

namespace qv::tools {

namespace {

// "card0-DP-1" gives "DP-1"; "card0", "renderD128" and "version" are no connectors.
std::optional<std::string> connectorName(const std::string& entry) {
  if (entry.rfind("card", 0) != 0) return std::nullopt;
  std::size_t at = 4;
  while (at < entry.size() && std::isdigit(static_cast<unsigned char>(entry[at]))) ++at;
  if (at == 4 || at + 1 >= entry.size() || entry[at] != '-') return std::nullopt;
  return entry.substr(at + 1);
}

bool isConnected(const std::filesystem::path& connector) {
  std::ifstream in(connector / "status");
  std::string status;
  return in && std::getline(in, status) && status == "connected";
}

std::vector<std::uint8_t> readEdid(const std::filesystem::path& connector) {
  // A base block and its extensions stay far below this; a larger file is no EDID.
  constexpr std::size_t kLimit = 32 * 1024;
  std::ifstream in(connector / "edid", std::ios::binary);
  std::vector<std::uint8_t> bytes;
  if (!in) return bytes;
  char c;
  while (bytes.size() < kLimit && in.get(c)) bytes.push_back(static_cast<std::uint8_t>(c));
  return bytes;
}

}  // namespace

std::filesystem::path drmClassDir() {
  const char* dir = std::getenv("QUORVANE_DRM_DIR");
  return (dir && *dir) ? std::filesystem::path(dir) : std::filesystem::path("/sys/class/drm");
}

std::vector<DrmConnector> connectedMonitors(const std::filesystem::path& dir) {
  std::vector<DrmConnector> monitors;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const auto name = connectorName(it->path().filename().string());
    if (!name || !isConnected(it->path())) continue;
    monitors.push_back({*name, edidIdentity(readEdid(it->path()))});
  }
  std::sort(monitors.begin(), monitors.end(),
            [](const DrmConnector& a, const DrmConnector& b) { return a.name < b.name; });
  return monitors;
}

std::optional<std::size_t> findConnectedMonitor(const settings::CalibratedMonitor& stored,
                                                const std::vector<DrmConnector>& monitors) {
  std::vector<calibration::DesktopMonitor> desktop;
  desktop.reserve(monitors.size());
  for (const DrmConnector& m : monitors) {
    calibration::DesktopMonitor d;
    d.connector = m.name;
    d.maker = m.edid.maker;
    // Compared only in what the stored side knows: a Wayland display server gives the panel
    // a model but no serial number, while the kernel's EDID has both.
    d.model = stored.model.empty() ? std::string() : m.edid.model;
    d.serial = stored.serial.empty() ? std::string() : m.edid.serial;
    desktop.push_back(std::move(d));
  }
  settings::CalibratedMonitor wanted = stored;
  // An X server's modesetting driver calls the kernel's "HDMI-A-1" "HDMI-1".
  const auto named = [&](const std::string& name) {
    return std::any_of(monitors.begin(), monitors.end(), [&](const DrmConnector& m) { return m.name == name; });
  };
  if (wanted.connector.rfind("HDMI-", 0) == 0 && !named(wanted.connector)) {
    const std::string kernelName = "HDMI-A-" + wanted.connector.substr(5);
    if (named(kernelName)) wanted.connector = kernelName;
  }
  return calibration::findCalibratedMonitor(wanted, desktop);
}

std::string monitorText(const DrmConnector& monitor) {
  std::string identity = monitor.edid.maker;
  if (!monitor.edid.model.empty()) identity += (identity.empty() ? "" : " ") + monitor.edid.model;
  return identity.empty() ? monitor.name : monitor.name + " (" + identity + ")";
}

}  // namespace qv::tools
