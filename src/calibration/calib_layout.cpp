#include "calibration/calib_layout.h"

namespace qv::calibration {

std::string_view edgeName(int targetIndex) {
  switch (targetIndex) {
    case 0: return "TOP";
    case 1: return "RIGHT";
    case 2: return "BOTTOM";
    case 3: return "LEFT";
    default: return {};
  }
}

CalibLayout layOutTarget(int targetIndex, Size window, Size picture, Size label, Size cancel) {
  const int W = window.width, H = window.height;
  const int w = picture.width, h = picture.height;
  CalibLayout l;
  l.targetShown = targetIndex >= 0 && targetIndex <= 3;
  if (l.targetShown) l.picture = targetIndex;
  switch (targetIndex) {
    case 0:
      l.picturePlace = {W / 2 - w / 2 - 5, 32};
      l.dotPlace = {W / 2 - 2, 1};
      break;
    case 1:
      l.picturePlace = {W - w - 40, H / 2 - h / 2};
      l.dotPlace = {W - 13, H / 2 - 5};
      break;
    case 2:
      l.picturePlace = {W / 2 - w / 2 + 5, H - h - 40};
      l.dotPlace = {W / 2 - 2, H - 13};
      break;
    case 3:
      l.picturePlace = {32, H / 2 - h / 2};
      l.dotPlace = {1, H / 2 - 5};
      break;
    default:
      break;
  }
  l.labelPlace = {W / 2 - label.width / 2, H / 2 - 2 * label.height};
  l.cancelPlace = {(W - cancel.width) / 2, (H - cancel.height) / 2 + 2 * label.height};
  return l;
}

Place dotCentreOnDesktop(int targetIndex, const platform::ScreenRect& area) {
  // The dot's place does not depend on the sizes of the picture, the label or Cancel.
  const Place dot = layOutTarget(targetIndex, {area.width, area.height}, kHandSize, {}, kCancelSize).dotPlace;
  return {area.left + dot.left + kDotSize.width / 2, area.top + dot.top + kDotSize.height / 2};
}

}  // namespace qv::calibration
