#pragma once
// The desktop's monitors and the area a window that measures the screen takes on one of
// them. Positions are the desktop's: a monitor need not start at (0, 0).
namespace qv::platform {

struct ScreenRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool operator==(const ScreenRect&) const = default;
};

// One monitor: all of it, and the part that bars and docks leave to ordinary windows.
struct Monitor {
  ScreenRect area;
  ScreenRect workArea;
};

// The calibration screen and the drawing test cover their monitor whole, bars and docks
// included: laid out in the work area, the calibration targets would sit a bar's height
// away from the touch screen's edges and calibrate it wrongly.
ScreenRect fullScreenArea(const Monitor& monitor);

// Where a window of the given size stands centred on a monitor area, the monitor's own
// position included; each half is rounded toward zero.
ScreenRect centredIn(const ScreenRect& monitor, int width, int height);

}  // namespace qv::platform
