#pragma once
// Test pictures made with our own GIF writer (anim/gif_encoder.h): palettes and pixel patterns
// that make every decoded pixel checkable.
#include <cstdint>
#include <vector>

#include "anim/gif_encoder.h"
#include "anim/gif_types.h"

namespace qv::test {

// An image of width x height palette indices placed at (left, top), the writer's defaults
// for everything else.
anim::GifImageLayout imageLayout(int left, int top, int width, int height, std::vector<std::uint8_t> pixels);

// `count` distinct colours: entry i is (i, 255 - i, i * 7 mod 256).
std::vector<anim::Rgb> distinctPalette(int count);

// width x height pixels, value (x + 3y) mod `colours` (every row differs from its neighbours).
std::vector<std::uint8_t> patternPixels(int width, int height, int colours);

// The double-click test animation's shape: 78 x 52, 64-colour global table, eight frames of
// 250 ms with transparency (index 0) and disposal "do nothing", looping for ever.
std::vector<std::uint8_t> testAnimationGif();

}  // namespace qv::test
