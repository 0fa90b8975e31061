// Writes seed GIFs for the decoder fuzzer into the folder given as the only argument: small
// pictures of each kind of block and frame, so mutations start from well-formed data.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "anim/gif_encoder.h"

namespace {

using qv::anim::GifImageLayout;
using qv::anim::GifWriter;
using qv::anim::Rgb;

std::vector<Rgb> palette(int n) {
  std::vector<Rgb> t;
  for (int i = 0; i < n; ++i) t.push_back(Rgb{static_cast<std::uint8_t>(i * 37), static_cast<std::uint8_t>(i * 11), static_cast<std::uint8_t>(255 - i)});
  return t;
}

GifImageLayout frame(int left, int top, int w, int h, int colours, int seed) {
  GifImageLayout s;
  s.left = left;
  s.top = top;
  s.width = w;
  s.height = h;
  for (int i = 0; i < w * h; ++i) s.pixels.push_back(static_cast<std::uint8_t>((i * 7 + seed + i / w) % colours));
  return s;
}

void save(const std::string& dir, const std::string& name, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(dir + "/" + name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  save(dir, "plain87a.gif", GifWriter("GIF87a").screen(8, 6, palette(4)).image(frame(0, 0, 8, 6, 4, 1)).trailer().take());

  GifWriter anim;
  anim.screen(12, 10, palette(16)).loop(0).comment("seed", 2);
  for (int f = 0; f < 4; ++f) {
    anim.control(f, static_cast<std::uint16_t>(f * 5), std::uint8_t{0});
    anim.image(frame(f, f, 6, 5, 16, f));
  }
  save(dir, "animation.gif", anim.trailer().take());

  GifImageLayout interlaced = frame(0, 0, 9, 11, 8, 3);
  interlaced.interlaced = true;
  interlaced.chunk = 5;
  save(dir, "interlaced.gif", GifWriter().screen(9, 11, palette(8)).image(interlaced).trailer().take());

  GifImageLayout local = frame(2, 3, 7, 4, 32, 5);
  local.localTable = palette(32);
  save(dir, "local.gif", GifWriter().screen(10, 10).control(3, 2, std::uint8_t{4}).image(local).trailer().take());

  save(dir, "extensions.gif",
       GifWriter()
           .screen(4, 4, palette(2))
           .raw({0x21, 0x01, 12, 0, 0, 0, 0, 4, 0, 4, 0, 8, 8, 1, 0, 2, 'h', 'i', 0})
           .raw({0x21, 0xFF, 11, 'X', 'M', 'P', ' ', 'D', 'a', 't', 'a', 'X', 'M', 'P', 2, 1, 2, 0})
           .raw({0x21, 0x77, 0x00})
           .image(frame(0, 0, 4, 4, 2, 0))
           .trailer()
           .take());

  GifImageLayout wide = frame(0, 0, 64, 48, 256, 9);
  wide.minCodeSize = 8;
  save(dir, "fullcolour.gif", GifWriter().screen(64, 48, palette(256)).image(wide).trailer().take());
  return 0;
}
