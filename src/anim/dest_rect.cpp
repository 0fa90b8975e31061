#include "anim/dest_rect.h"

#include <cmath>

namespace qv::anim {

namespace {

Rect clientRect(Size control) { return {0, 0, control.width, control.height}; }

// Nearest integer with ties to even (the default rounding mode); false when the value is
// not a finite number in int range, which the caller treats as an arithmetic fault.
bool roundHalfEven(float value, int& out) {
  if (!std::isfinite(value) || value > 2.0e9f || value < -2.0e9f) return false;
  out = static_cast<int>(std::nearbyint(value));
  return true;
}

// Keeps the aspect ratio: fills one dimension, centres the other. Single precision, as the
// picture was always laid out, so that the rounded edges stay where they were.
Rect ratioRect(Size control, Size picture) {
  const Rect client = clientRect(control);
  if (picture.width <= 0 || picture.height <= 0) return client;
  const float rx = static_cast<float>(control.width) / static_cast<float>(picture.width);
  const float ry = static_cast<float>(control.height) / static_cast<float>(picture.height);
  int first = 0, second = 0;
  if (rx > ry) {
    const float m = (static_cast<float>(control.width) - static_cast<float>(picture.width) * ry) * 0.5f;
    if (!roundHalfEven(m, first) || !roundHalfEven(static_cast<float>(control.width) - m, second)) return client;
    return {first, 0, second, control.height};
  }
  const float m = (static_cast<float>(control.height) - static_cast<float>(picture.height) * rx) * 0.5f;
  if (!roundHalfEven(m, first) || !roundHalfEven(static_cast<float>(control.height) - m, second)) return client;
  return {0, first, control.width, second};
}

}  // namespace

bool stretchActive(const Layout& layout, Size control, Size picture) {
  return (layout.stretch || layout.stretchRatio) &&
         (control.width != picture.width || control.height != picture.height);
}

Rect destinationRect(const Layout& layout, Size control, Size picture) {
  const bool active = stretchActive(layout, control, picture);
  if (active && layout.stretchRatio && !layout.stretch) return ratioRect(control, picture);
  if (active || layout.tile) return clientRect(control);
  if (layout.center) {
    // Integer division truncates toward zero: a smaller control gets negative offsets.
    const int left = (control.width - picture.width) / 2;
    const int top = (control.height - picture.height) / 2;
    return {left, top, left + picture.width, top + picture.height};
  }
  return {0, 0, picture.width, picture.height};
}

std::vector<Rect> paintRects(const Layout& layout, Size control, Size picture) {
  if (stretchActive(layout, control, picture) || !layout.tile || picture.width <= 0 ||
      picture.height <= 0) {
    return {destinationRect(layout, control, picture)};
  }
  std::vector<Rect> tiles;
  const int rows = control.height / picture.height;
  const int columns = control.width / picture.width;
  if (rows < 0 || columns < 0) return tiles;
  tiles.reserve(static_cast<std::size_t>(rows + 1) * static_cast<std::size_t>(columns + 1));
  for (int row = 0; row <= rows; ++row) {
    for (int column = 0; column <= columns; ++column) {
      const int left = column * picture.width;
      const int top = row * picture.height;
      tiles.push_back({left, top, left + picture.width, top + picture.height});
    }
  }
  return tiles;
}

bool coversClient(const Rect& rect, Size control) {
  return rect.left <= 0 && rect.top <= 0 && rect.right >= control.width && rect.bottom >= control.height;
}

}  // namespace qv::anim
