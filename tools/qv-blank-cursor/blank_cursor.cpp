#include "blank_cursor.h"

#include "platform/little_endian.h"

namespace qv::tools {

namespace {

void put16(std::vector<std::uint8_t>& b, std::uint16_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}

}  // namespace

std::vector<std::uint8_t> blankCursorFile() {
  constexpr std::uint32_t side = 32;
  constexpr std::uint32_t rowBytes = side / 8;  // 1 bit a pixel; 4 bytes is already 32-bit aligned
  constexpr std::uint32_t maskBytes = rowBytes * side;
  constexpr std::uint32_t headerBytes = 40;
  constexpr std::uint32_t paletteBytes = 2 * 4;
  constexpr std::uint32_t imageBytes = headerBytes + paletteBytes + 2 * maskBytes;
  constexpr std::uint32_t imageOffset = 6 + 16;

  std::vector<std::uint8_t> b;
  // Directory: reserved, type 2 (cursor), one image.
  put16(b, 0);
  put16(b, 2);
  put16(b, 1);
  // Directory entry: size, colour count, reserved, hotspot x and y, image size and place.
  b.push_back(side);
  b.push_back(side);
  b.push_back(2);
  b.push_back(0);
  put16(b, 0);
  put16(b, 0);
  platform::appendLe32(b, imageBytes);
  platform::appendLe32(b, imageOffset);
  // Bitmap header; the height counts the colour and the AND mask together.
  platform::appendLe32(b, headerBytes);
  platform::appendLe32(b, side);
  platform::appendLe32(b, side * 2);
  put16(b, 1);  // planes
  put16(b, 1);  // bits a pixel
  platform::appendLe32(b, 0);  // no compression
  platform::appendLe32(b, 2 * maskBytes);
  platform::appendLe32(b, 0);
  platform::appendLe32(b, 0);
  platform::appendLe32(b, 2);  // colours used
  platform::appendLe32(b, 0);
  // Palette: black and white.
  platform::appendLe32(b, 0x00000000);
  platform::appendLe32(b, 0x00FFFFFF);
  // Colour mask all 0 and AND mask all 1: every pixel leaves the screen as it is.
  b.insert(b.end(), maskBytes, 0x00);
  b.insert(b.end(), maskBytes, 0xFF);
  return b;
}

}  // namespace qv::tools
