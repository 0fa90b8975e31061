// corner_error_table: how far from the finger a touch lands after a calibration, at the
// screen's four corners and its middle, in pixels, with the driver's limits taken at the
// start of their controller unit (as before) and at its middle (as now).
//
// A touch screen is played whose readings run linearly from a true limit at one edge of
// the screen to the other. The calibration touches the middle of each target's dot, its
// reading is cut down to a whole unit as the driver's ReadRawPoint gives it, and the limit
// is that reading moved 3 units toward the middle. Touches near the corners (48 pixels in
// from both edges) and the middle are read at the controller's 14 bits and
// mapped; the desktop puts pointer unit p at p × size / 65536.
//
// Two errors per point: from the finger, and from where limits without the cut to whole
// units would put the touch (the calibration's own error, 3 units inside the targets,
// is in the first and not in the second).
#include "calibration/calib_layout.h"
#include "calibration/calibration_limits.h"
#include "touch_mapping.h"

#include <array>
#include <cmath>
#include <cstdio>

namespace {

using namespace qv;

struct Road {
  const char* name;
  int width, height;
  double left, right, top, bottom;  // the true readings at the screen's edges
};

struct Point {
  double x, y;  // pixels, at the pixel's middle
};

// The reading at a place on the screen, at full precision.
double trueReading(double at, int size, double lo, double hi) { return lo + at / size * (hi - lo); }
// As the controller reports it: 14 bits, 64 steps a unit.
double reported(double r) { return std::floor(r * 64) / 64; }

struct Calibration {
  driver::CalibrationRecord limits;  // stored: whole units
  std::array<double, 4> exact;       // X1, X2, Y1, Y2 from the uncut readings
};

Calibration calibrate(const Road& road) {
  Calibration c{};
  calibration::CalibrationState state;
  const platform::ScreenRect area{0, 0, road.width, road.height};
  for (int target = 0; target < 4; ++target) {
    const calibration::Place dot = calibration::dotCentreOnDesktop(target, area);
    const double rx = trueReading(dot.left + 0.5, road.width, road.left, road.right);
    const double ry = trueReading(dot.top + 0.5, road.height, road.top, road.bottom);
    driver::RawPoint point;
    point.bytes[1] = static_cast<std::uint8_t>(rx);
    point.bytes[3] = static_cast<std::uint8_t>(ry);
    const calibration::TakenLimit taken = calibration::limitForTarget(target, point);
    calibration::keepLimit(state, taken);
    const auto i = static_cast<std::size_t>(taken.limit);
    const bool onX = i < 2;  // X1, X2
    c.exact[i] = (onX ? rx : ry) + (taken.value - (onX ? point.rawX() : point.rawY()));
  }
  c.limits = state.newLimits;
  return c;
}

double pixel(int pointerUnits, int size) { return static_cast<double>(pointerUnits) * size / 65536.0; }

struct Errors {
  Point fromFinger, fromLimits;
};

Errors errorAt(const Road& road, const Calibration& c, Point finger, bool unitMiddle) {
  const double rx = reported(trueReading(finger.x, road.width, road.left, road.right));
  const double ry = reported(trueReading(finger.y, road.height, road.top, road.bottom));
  driverd::PointerPosition at;
  if (unitMiddle) {
    at = driverd::mapTouch({true, rx, ry}, c.limits, false, {});
  } else {
    at = {driverd::mapAxis(rx, {static_cast<double>(c.limits.x1), static_cast<double>(c.limits.x2)}, 0),
          driverd::mapAxis(ry, {static_cast<double>(c.limits.y1), static_cast<double>(c.limits.y2)}, 0)};
  }
  const double px = pixel(at.x, road.width), py = pixel(at.y, road.height);
  const double ix = pixel(driverd::mapAxis(rx, {c.exact[0], c.exact[1]}, 0), road.width);
  const double iy = pixel(driverd::mapAxis(ry, {c.exact[2], c.exact[3]}, 0), road.height);
  return {{px - finger.x, py - finger.y}, {px - ix, py - iy}};
}

void table(const Road& road) {
  const Calibration c = calibrate(road);
  std::printf("\n%s, %dx%d, true readings %g..%g / %g..%g, limits X %u..%u Y %u..%u\n", road.name, road.width,
              road.height, road.left, road.right, road.top, road.bottom, c.limits.x1, c.limits.x2, c.limits.y1,
              c.limits.y2);
  std::printf("%-13s | %-27s | %-27s\n", "", "from the finger (dx, dy)", "from uncut limits (dx, dy)");
  std::printf("%-13s | %-13s %-13s | %-13s %-13s\n", "point", "before", "after", "before", "after");
  // Beyond the band the limits clamp (3 units and the dot's own distance from the edge).
  constexpr double kIn = 48.5;
  const double w = road.width, h = road.height;
  const std::array<std::pair<const char*, Point>, 5> points{{{"top-left", {kIn, kIn}},
                                                             {"top-right", {w - kIn, kIn}},
                                                             {"bottom-right", {w - kIn, h - kIn}},
                                                             {"bottom-left", {kIn, h - kIn}},
                                                             {"middle", {w / 2 + 0.5, h / 2 + 0.5}}}};
  for (const auto& [name, finger] : points) {
    const Errors before = errorAt(road, c, finger, false);
    const Errors after = errorAt(road, c, finger, true);
    std::printf("%-13s | %5.1f,%6.1f  %5.1f,%6.1f  | %5.1f,%6.1f  %5.1f,%6.1f\n", name, before.fromFinger.x,
                before.fromFinger.y, after.fromFinger.x, after.fromFinger.y, before.fromLimits.x, before.fromLimits.y,
                after.fromLimits.x, after.fromLimits.y);
  }
}

}  // namespace

int main() {
  std::printf("Touch error in pixels (positive: right of / below the finger); before: a limit is the\n"
              "start of its controller unit, after: the middle of it.\n");
  for (const Road& road : {Road{"input-stack road", 1024, 768, 32, 224, 48, 208},
                           Road{"input-stack road", 1920, 1080, 32, 224, 48, 208},
                           Road{"demo touch screen", 1024, 768, 16, 240, 24, 232},
                           Road{"demo touch screen", 1920, 1080, 16, 240, 24, 232}}) {
    table(road);
  }
  return 0;
}
