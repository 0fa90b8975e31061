#pragma once
// Composition of decoded frames into the picture that the animated image control paints:
// drawing a frame over what is already there (transparent pixels keep it), and disposing of a
// frame before the next one. Pure pixel work, no toolkit.
#include <cstdint>

#include "anim/gif_types.h"

namespace qv::anim {

class GifDecoder;

// The picture composed so far, ImageWidth x ImageHeight. Composite pixels are 0xFFRRGGBB.
// CompositeMask exists only when some frame is transparent: 1 where the picture is
// transparent (what lies beneath shows through), 0 where it is drawn.
struct Composition {
  RgbPlane Composite;
  Plane CompositeMask;

  bool hasMask() const { return !CompositeMask.empty(); }
};

// A new picture: all black, and with a mask (all transparent) when `anyTransparent`.
Composition makeComposition(int width, int height, bool anyTransparent);

// Draws `frame` at its place. A dtToPrevious frame first keeps the area it covers in its
// SavedImage/SavedMask. Transparent pixels leave the picture and mask as they were; every
// other pixel takes the frame's colour and becomes opaque in the mask.
void drawFrameInto(Composition& picture, TGIFFrame& frame);

// Undoes `frame` as its disposal says: dtToBackground makes its area black and transparent,
// dtToPrevious puts back what was saved when it was last drawn (black and opaque if it never
// was); other disposals leave it.
void disposeFrameFrom(Composition& picture, const TGIFFrame& frame);

// The control's forms: nothing after an info-only load; a frame number outside
// 1..FrameCount sets geIndexOutOfBounds and changes nothing. True when the frame was handled.
bool drawFrame(GifDecoder& image, Composition& picture, int frameNumber);
bool disposeFrame(GifDecoder& image, Composition& picture, int frameNumber);

}  // namespace qv::anim
