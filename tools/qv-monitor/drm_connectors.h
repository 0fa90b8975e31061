#pragma once
// The monitors connected now, as the kernel knows them: every user may read a connector's
// status and EDID under /sys/class/drm (card0-DP-1, card1-HDMI-A-1, …), which is how a
// program finds its monitor on a Wayland desktop that gives it no list of its own. Wayland
// compositors name their outputs after these connectors.
#include "edid_identity.h"
#include "settings/monitor_values.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qv::tools {

struct DrmConnector {
  std::string name;  // "DP-1", without the card
  EdidIdentity edid;
};

// The folder of the connectors: QUORVANE_DRM_DIR where set (tests), else /sys/class/drm.
std::filesystem::path drmClassDir();

// The connectors of every card in dir whose status is "connected", ordered by name. A
// folder that cannot be read gives none; an unreadable EDID an empty identity.
std::vector<DrmConnector> connectedMonitors(const std::filesystem::path& dir);

// The stored monitor among them: by EDID identity first, connector name second.
std::optional<std::size_t> findConnectedMonitor(const settings::CalibratedMonitor& stored,
                                                const std::vector<DrmConnector>& monitors);

// "DP-1 (QVM Touch 15)": the connector, with the maker's code and model where known.
std::string monitorText(const DrmConnector& monitor);

}  // namespace qv::tools
