#pragma once
// The double-click test animation: a pointer that double-clicks, with ripples spreading from
// its tip. Drawn here pixel by pixel and written as a looping GIF89a.
#include <cstdint>
#include <vector>

namespace qv::gifgen {

constexpr int kWidth = 78;
constexpr int kHeight = 52;
constexpr int kFrames = 8;
constexpr int kColours = 64;
constexpr std::uint16_t kDelayHundredths = 25;
constexpr std::uint8_t kTransparentIndex = kColours - 1;

// One picture per frame: kWidth x kHeight palette indices, top row first, never using the
// transparent index.
std::vector<std::vector<std::uint8_t>> drawFrames();

// The whole GIF: 64-colour global table, NETSCAPE2.0 loop count 0, eight 250 ms frames drawn
// with disposal "do nothing". Frame 1 repaints every pixel that any frame touches, so each
// pass starts clean; later frames are transparent where nothing changed.
std::vector<std::uint8_t> makeDoubleClickGif();

}  // namespace qv::gifgen
