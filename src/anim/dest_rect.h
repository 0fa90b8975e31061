#pragma once
// Where the animated picture goes inside its control: centred, stretched (optionally
// keeping the aspect ratio) or tiled. Plain arithmetic in control coordinates.
#include <vector>

namespace qv::anim {

struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
  bool operator==(const Rect&) const = default;
};

struct Layout {
  bool stretch = false;
  bool stretchRatio = false;
  bool center = false;
  bool tile = false;
};

struct Size {
  int width = 0, height = 0;
};

// (Stretch or StretchRatio) and the control's size differs from the picture's.
bool stretchActive(const Layout& layout, Size control, Size picture);

// The rectangle the picture is drawn into (for tiling: the whole client area).
Rect destinationRect(const Layout& layout, Size control, Size picture);

// Every rectangle that one paint copies the picture into: the destination rectangle, or the
// tiles covering the control (the last row and column cut by its edges).
std::vector<Rect> paintRects(const Layout& layout, Size control, Size picture);

// Whether a rectangle covers the whole client area (the control may then be marked opaque).
bool coversClient(const Rect& rect, Size control);

}  // namespace qv::anim
