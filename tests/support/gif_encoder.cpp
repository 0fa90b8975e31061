#include "support/gif_encoder.h"

#include <cmath>
#include <utility>

namespace qv::test {

anim::GifImageLayout imageLayout(int left, int top, int width, int height, std::vector<std::uint8_t> pixels) {
  anim::GifImageLayout layout;
  layout.left = left;
  layout.top = top;
  layout.width = width;
  layout.height = height;
  layout.pixels = std::move(pixels);
  return layout;
}

std::vector<anim::Rgb> distinctPalette(int count) {
  std::vector<anim::Rgb> table;
  for (int i = 0; i < count; ++i) {
    table.push_back(anim::Rgb{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i),
                              static_cast<std::uint8_t>((i * 7) % 256)});
  }
  return table;
}

std::vector<std::uint8_t> patternPixels(int width, int height, int colours) {
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) pixels[static_cast<std::size_t>(y) * width + x] = static_cast<std::uint8_t>((x + 3 * y) % colours);
  }
  return pixels;
}

std::vector<std::uint8_t> testAnimationGif() {
  constexpr int kWidth = 78, kHeight = 52;
  anim::GifWriter gif("GIF89a");
  const auto palette = distinctPalette(64);
  gif.screen(kWidth, kHeight, palette).loop(0);
  for (int f = 0; f < 8; ++f) {
    // A disc that moves round, on a transparent ground.
    std::vector<std::uint8_t> pixels(kWidth * kHeight, 0);
    const double cx = 39 + 20 * std::cos(f * 3.14159265 / 4), cy = 26 + 14 * std::sin(f * 3.14159265 / 4);
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        const double dx = x - cx, dy = y - cy;
        if (dx * dx + dy * dy < 120) pixels[static_cast<std::size_t>(y) * kWidth + x] = static_cast<std::uint8_t>(1 + (x + y + f) % 63);
      }
    }
    gif.control(1, 25, std::uint8_t{0});
    anim::GifImageLayout frame;
    frame.width = kWidth;
    frame.height = kHeight;
    frame.pixels = std::move(pixels);
    gif.image(frame);
  }
  return gif.trailer().take();
}

}  // namespace qv::test
