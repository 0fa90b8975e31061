#include "calibration/panel_rotation.h"

#include <cstdlib>

namespace qv::calibration {

Edge unturnedEdge(Edge screenEdge, int rotation) {
  // Turned 90 degrees counter-clockwise, the unturned left edge is at the top: each
  // quarter turn moves the edges one place back in clockwise order.
  const int quarters = settings::normalRotation(rotation) / 90;
  return static_cast<Edge>((static_cast<int>(screenEdge) - quarters + 4) % 4);
}

PanelCalibration panelCalibration(const std::array<driver::RawPoint, 4>& readings, int rotation) {
  std::array<driver::RawPoint, 4> at{};  // by unturned edge
  for (int e = 0; e < 4; ++e) at[static_cast<std::size_t>(unturnedEdge(static_cast<Edge>(e), rotation))] = readings[e];
  struct Reading {
    int x, y;
  };
  auto reading = [&](Edge e) { return Reading{at[static_cast<std::size_t>(e)].rawX(), at[static_cast<std::size_t>(e)].rawY()}; };
  const Reading top = reading(Edge::Top), right = reading(Edge::Right), bottom = reading(Edge::Bottom),
                left = reading(Edge::Left);

  // X along the width and Y along the height, or the other way round: whichever pairing
  // sees the larger changes between opposite edges. A tie (all readings alike) keeps X
  // along the width, as a panel that was never turned.
  const int straight = std::abs(right.x - left.x) + std::abs(bottom.y - top.y);
  const int crossed = std::abs(right.y - left.y) + std::abs(bottom.x - top.x);
  PanelCalibration c;
  c.swapXY = crossed > straight;
  // The limit at an axis's start edge (left, top) moves 3 units up, at its end edge 3 down.
  if (!c.swapXY) {
    c.limits = {left.x + 3, right.x - 3, top.y + 3, bottom.y - 3};
  } else {
    c.limits = {top.x + 3, bottom.x - 3, left.y + 3, right.y - 3};
  }
  return c;
}

}  // namespace qv::calibration
