#include "anim/frame_composer.h"

#include <algorithm>
#include <array>

#include "anim/gif_decoder.h"

namespace qv::anim {
namespace {

// The part of a frame's rectangle that lies inside the picture, in frame coordinates.
struct Span {
  int x0, y0, x1, y1;  // frame-relative, half-open
  bool empty() const { return x0 >= x1 || y0 >= y1; }
};

Span clipToPicture(const RgbPlane& picture, const TGIFFrame& frame) {
  return Span{std::max(0, -frame.Left), std::max(0, -frame.Top),
              std::min(frame.Width, picture.width - frame.Left),
              std::min(frame.Height, picture.height - frame.Top)};
}

std::size_t indexIn(int width, int x, int y) {
  return static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x);
}

void saveArea(const Composition& picture, TGIFFrame& frame, const Span& s) {
  frame.SavedImage.width = frame.Width;
  frame.SavedImage.height = frame.Height;
  frame.SavedImage.pixels.assign(static_cast<std::size_t>(frame.Width) * frame.Height, kOpaqueBlack);
  if (picture.hasMask()) {
    frame.SavedMask.width = frame.Width;
    frame.SavedMask.height = frame.Height;
    frame.SavedMask.pixels.assign(static_cast<std::size_t>(frame.Width) * frame.Height, 0);
  }
  for (int y = s.y0; y < s.y1; ++y) {
    const std::size_t from = indexIn(picture.Composite.width, frame.Left + s.x0, frame.Top + y);
    const std::size_t to = indexIn(frame.Width, s.x0, y);
    const auto n = static_cast<std::size_t>(s.x1 - s.x0);
    std::copy_n(picture.Composite.pixels.begin() + static_cast<std::ptrdiff_t>(from), n,
                frame.SavedImage.pixels.begin() + static_cast<std::ptrdiff_t>(to));
    if (picture.hasMask()) {
      std::copy_n(picture.CompositeMask.pixels.begin() + static_cast<std::ptrdiff_t>(from), n,
                  frame.SavedMask.pixels.begin() + static_cast<std::ptrdiff_t>(to));
    }
  }
}

void fillArea(Composition& picture, const TGIFFrame& frame, const Span& s, std::uint32_t colour,
              std::uint8_t maskValue) {
  for (int y = s.y0; y < s.y1; ++y) {
    const std::size_t at = indexIn(picture.Composite.width, frame.Left + s.x0, frame.Top + y);
    const auto n = static_cast<std::size_t>(s.x1 - s.x0);
    std::fill_n(picture.Composite.pixels.begin() + static_cast<std::ptrdiff_t>(at), n, colour);
    if (picture.hasMask()) {
      std::fill_n(picture.CompositeMask.pixels.begin() + static_cast<std::ptrdiff_t>(at), n, maskValue);
    }
  }
}

}  // namespace

Composition makeComposition(int width, int height, bool anyTransparent) {
  Composition c;
  width = std::max(0, width);
  height = std::max(0, height);
  const std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  c.Composite = RgbPlane{width, height, std::vector<std::uint32_t>(n, kOpaqueBlack)};
  if (anyTransparent) c.CompositeMask = Plane{width, height, std::vector<std::uint8_t>(n, 1)};
  return c;
}

void drawFrameInto(Composition& picture, TGIFFrame& frame) {
  const Span s = clipToPicture(picture.Composite, frame);
  if (frame.Disposal == TDisposalType::dtToPrevious) saveArea(picture, frame, s);
  if (s.empty() || frame.Image.empty() || !frame.Palette) return;

  // Colours of all 256 indices once, so the pixel loop is a plain lookup.
  std::array<std::uint32_t, 256> colours;
  for (std::size_t i = 0; i < colours.size(); ++i) colours[i] = toPixel((*frame.Palette)[i]);

  const bool transparent = frame.Transparent && !frame.Mask.empty();
  for (int y = s.y0; y < s.y1; ++y) {
    const std::uint8_t* src = &frame.Image.pixels[indexIn(frame.Width, s.x0, y)];
    const std::uint8_t* cut = transparent ? &frame.Mask.pixels[indexIn(frame.Width, s.x0, y)] : nullptr;
    const std::size_t at = indexIn(picture.Composite.width, frame.Left + s.x0, frame.Top + y);
    std::uint32_t* dst = &picture.Composite.pixels[at];
    std::uint8_t* mask = picture.hasMask() ? &picture.CompositeMask.pixels[at] : nullptr;
    for (int x = 0; x < s.x1 - s.x0; ++x) {
      if (cut && cut[x]) continue;  // transparent: the picture and its mask stay as they were
      dst[x] = colours[src[x]];
      if (mask) mask[x] = 0;
    }
  }
}

void disposeFrameFrom(Composition& picture, const TGIFFrame& frame) {
  const Span s = clipToPicture(picture.Composite, frame);
  if (s.empty()) return;
  switch (frame.Disposal) {
    case TDisposalType::dtToBackground:
      // The background index is never used: the area becomes transparent, or black.
      fillArea(picture, frame, s, kOpaqueBlack, 1);
      break;
    case TDisposalType::dtToPrevious: {
      if (frame.SavedImage.empty()) {
        // Never drawn: its store is still blank, black and opaque.
        fillArea(picture, frame, s, kOpaqueBlack, 0);
        break;
      }
      const bool withMask = picture.hasMask() && !frame.SavedMask.empty();
      for (int y = s.y0; y < s.y1; ++y) {
        const std::size_t at = indexIn(picture.Composite.width, frame.Left + s.x0, frame.Top + y);
        const std::size_t from = indexIn(frame.Width, s.x0, y);
        const auto n = static_cast<std::size_t>(s.x1 - s.x0);
        std::copy_n(frame.SavedImage.pixels.begin() + static_cast<std::ptrdiff_t>(from), n,
                    picture.Composite.pixels.begin() + static_cast<std::ptrdiff_t>(at));
        if (withMask) {
          std::copy_n(frame.SavedMask.pixels.begin() + static_cast<std::ptrdiff_t>(from), n,
                      picture.CompositeMask.pixels.begin() + static_cast<std::ptrdiff_t>(at));
        }
      }
      break;
    }
    case TDisposalType::dtUndefined:
    case TDisposalType::dtDoNothing:
      break;
  }
}

bool drawFrame(GifDecoder& image, Composition& picture, int frameNumber) {
  if (image.InfoOnly()) return false;
  TGIFFrame* frame = image.Frame(frameNumber);
  if (!frame) {
    image.SetLastError(TGIFError::geIndexOutOfBounds);
    return false;
  }
  drawFrameInto(picture, *frame);
  return true;
}

bool disposeFrame(GifDecoder& image, Composition& picture, int frameNumber) {
  if (image.InfoOnly()) return false;
  const TGIFFrame* frame = image.Frame(frameNumber);
  if (!frame) {
    image.SetLastError(TGIFError::geIndexOutOfBounds);
    return false;
  }
  disposeFrameFrom(picture, *frame);
  return true;
}

}  // namespace qv::anim
