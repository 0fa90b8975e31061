#pragma once
// Where the calibration screen puts its picture, dot, edge name and Cancel button for a
// target. Integer divisions truncate toward zero and are taken one by one, so
// W / 2 - w / 2 is not always (W - w) / 2: positions match the screen's own arithmetic.
#include "platform/screen_area.h"

#include <string_view>

namespace qv::calibration {

struct Size {
  int width = 0;
  int height = 0;
};

struct Place {
  int left = 0;
  int top = 0;
  bool operator==(const Place&) const = default;
};

inline constexpr Size kHandSize{64, 64};
inline constexpr Size kDotSize{5, 5};
inline constexpr Size kCancelSize{161, 89};

// "TOP", "RIGHT", "BOTTOM", "LEFT"; empty for any other index.
std::string_view edgeName(int targetIndex);

struct CalibLayout {
  // False for an index outside 0..3: no picture, no dot, and the window is hidden.
  bool targetShown = false;
  int picture = -1;  // 0 TopImage, 1 RightImage, 2 DownImage, 3 LeftImage; -1 none
  Place picturePlace;
  Place dotPlace;
  Place labelPlace;
  Place cancelPlace;
};

// window: outer size W x H; picture: w x h of the target's picture; label: lw x lh of the
// edge name as measured on its new text; cancel: bw x bh.
CalibLayout layOutTarget(int targetIndex, Size window, Size picture, Size label, Size cancel);

// The middle of a target's dot on the desktop, for a screen that covers area (its monitor,
// which need not start at (0, 0)): where a touch of that target lands. Index 0..3.
Place dotCentreOnDesktop(int targetIndex, const platform::ScreenRect& area);

}  // namespace qv::calibration
