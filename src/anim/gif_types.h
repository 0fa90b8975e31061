#pragma once
// Plain data of a decoded GIF: the frames that the animated image control composes.
// No toolkit types: pixels are 8-bit palette indices, masks one byte per pixel,
// composed pictures 32-bit 0xFFRRGGBB per pixel.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qv::anim {

enum class TGIFVersion : std::uint8_t { gvGIF87a, gvGIF89a };
enum class TDisposalType : std::uint8_t { dtUndefined, dtDoNothing, dtToBackground, dtToPrevious };
enum class TGIFError : std::uint8_t {
  geNone, geCanceled, geInternal, geFileFormat, geTooManyColors,
  geIndexOutOfBounds, geWindows, geFileNotFound, geResourceNotFound
};

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};
using ColorTable = std::array<Rgb, 256>;

// A width x height plane, row-major, top row first, one byte per pixel.
struct Plane {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;

  bool empty() const { return pixels.empty(); }
  std::uint8_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
  std::uint8_t& at(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// A width x height picture in composed terms: 0xFFRRGGBB per pixel (the alpha byte is always
// 0xFF so that a toolkit can wrap the pixels as an opaque 32-bit RGB image without conversion).
struct RgbPlane {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;

  bool empty() const { return pixels.empty(); }
  std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
  std::uint32_t& at(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

constexpr std::uint32_t kOpaqueBlack = 0xFF000000u;
constexpr std::uint32_t toPixel(Rgb c) {
  return 0xFF000000u | (std::uint32_t{c.r} << 16) | (std::uint32_t{c.g} << 8) | c.b;
}

struct TGIFFrame {
  std::int32_t Left = 0, Top = 0, Width = 0, Height = 0;
  std::int32_t ColorBits = 0;  // local table exponent 1..8, 0 without one
  std::int32_t Delay = 0;      // milliseconds
  TDisposalType Disposal = TDisposalType::dtUndefined;
  bool HasLocalColorTable = false;
  bool Interlaced = false;
  bool Transparent = false;
  std::uint8_t TransparentIndex = 0;
  Rgb TransparentColor;  // palette entry of TransparentIndex, set when pixels were decoded
  std::string Comment;
  // The frame's own table when it has a local one, else the image's global table; none for
  // a local table after an info-only load.
  std::shared_ptr<const ColorTable> Palette;
  // Palette entries that the frame's bitmap carries: 2^ColorBits of the local table, else
  // 2^ of the image's ColorBits when this frame was read. 0 after an info-only load.
  std::int32_t ColorCount = 0;
  Plane Image;          // palette indices; empty after an info-only load
  Plane Mask;           // only for transparent frames: 1 where the pixel is transparent, else 0
  // dtToPrevious frames: the composed picture and mask under the frame, kept by the composer
  // each time it draws the frame (empty until then: a blank, black and opaque store).
  RgbPlane SavedImage;
  Plane SavedMask;
};

// A copy of one frame's bitmap: its pixels and the palette entries it carries.
struct FrameBitmap {
  Plane Pixels;
  std::vector<Rgb> Palette;  // ColorCount entries
};

// What the frame query reports about one frame.
struct TFrameInfo {
  std::optional<FrameBitmap> Bitmap;  // absent after an info-only load
  std::int32_t Left = 0, Top = 0, Width = 0, Height = 0;
  std::int32_t Delay = 0;  // milliseconds
  bool Interlaced = false;
  bool Transparent = false;
  std::uint32_t TransparentColor = 0;  // red in the low byte, then green, then blue
  TDisposalType Disposal = TDisposalType::dtUndefined;
  std::string Comment;
};

}  // namespace qv::anim
