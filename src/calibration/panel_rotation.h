#pragma once
// The calibration of a touch panel on a turned monitor, or of one mounted turned against
// its monitor. The limits are kept in the orientation of the monitor unturned: the target
// shown at the top of a monitor turned by 90 degrees sits on its unturned left edge, so its
// reading gives a left limit. Which controller axis runs along the monitor's width is
// found from the readings themselves: between the targets at opposite edges, the
// coordinate that runs along them changes most.
#include "driver/records.h"
#include "settings/monitor_values.h"

#include <array>
#include <cstdint>

namespace qv::calibration {

// Edges in the order the targets are shown, clockwise from the top.
enum class Edge { Top = 0, Right = 1, Bottom = 2, Left = 3 };

// The edge of the monitor unturned that shows at a screen edge while the picture is turned
// by rotation degrees counter-clockwise (0, 90, 180, 270).
Edge unturnedEdge(Edge screenEdge, int rotation);

struct PanelCalibration {
  // X1, X2, Y1, Y2 as limitForTarget gives them: a reading moved 3 units inward, not clipped.
  std::array<std::int32_t, 4> limits{};
  bool swapXY = false;
};

// readings: the raw points of the top, right, bottom and left targets as shown. Unturned
// and not swapped, each limit is the one limitForTarget takes from its target.
PanelCalibration panelCalibration(const std::array<driver::RawPoint, 4>& readings, int rotation);

}  // namespace qv::calibration
