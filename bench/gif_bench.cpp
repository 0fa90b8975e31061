// Decoding speed of our GIF decoder against the system's giflib on the same generated files:
// both turn every frame into palette indices (ours also builds the transparency masks).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "anim/gif_decoder.h"
#include "anim/gif_encoder.h"

#if __has_include(<gif_lib.h>)
#include <gif_lib.h>
#define QV_HAVE_GIFLIB 1
#endif

namespace {

using qv::anim::GifImageLayout;
using qv::anim::GifWriter;
using qv::anim::Rgb;

std::vector<Rgb> rampPalette(int count) {
  std::vector<Rgb> table;
  for (int i = 0; i < count; ++i) {
    table.push_back(Rgb{static_cast<std::uint8_t>(i * 255 / std::max(1, count - 1)),
                        static_cast<std::uint8_t>((i * 5) % 256), static_cast<std::uint8_t>(255 - i)});
  }
  return table;
}

std::uint32_t nextRandom(std::uint32_t& seed) {
  seed = seed * 1664525u + 1013904223u;
  return seed >> 16;
}

// Smooth shading with a little grain, like a photograph reduced to 256 colours.
std::vector<std::uint8_t> photoPixels(int width, int height, std::uint32_t seed) {
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double v = 128 + 60 * std::sin(x * 0.011 + y * 0.004) + 50 * std::cos(y * 0.017 - x * 0.003);
      const int grain = static_cast<int>(nextRandom(seed) % 9) - 4;
      pixels[static_cast<std::size_t>(y) * width + x] = static_cast<std::uint8_t>(std::clamp(static_cast<int>(v) + grain, 0, 255));
    }
  }
  return pixels;
}

// A disc moving on a transparent ground, frame f of n.
std::vector<std::uint8_t> spritePixels(int width, int height, int f, int n, int colours) {
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height, 0);
  const double a = f * 6.2831853 / n;
  const double cx = width / 2.0 + width / 4.0 * std::cos(a), cy = height / 2.0 + height / 4.0 * std::sin(a);
  const double r2 = (height / 4.0) * (height / 4.0);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double dx = x - cx, dy = y - cy;
      if (dx * dx + dy * dy < r2) pixels[static_cast<std::size_t>(y) * width + x] = static_cast<std::uint8_t>(1 + (x + y + f) % (colours - 1));
    }
  }
  return pixels;
}

GifImageLayout frameLayout(int width, int height, std::vector<std::uint8_t> pixels, bool interlaced = false) {
  GifImageLayout s;
  s.width = width;
  s.height = height;
  s.pixels = std::move(pixels);
  s.interlaced = interlaced;
  return s;
}

std::vector<std::uint8_t> animation(int width, int height, int frames, int colours) {
  GifWriter gif("GIF89a");
  gif.screen(width, height, rampPalette(colours)).loop(0);
  for (int f = 0; f < frames; ++f) {
    gif.control(1, 25, std::uint8_t{0});
    gif.image(frameLayout(width, height, spritePixels(width, height, f, frames, colours)));
  }
  return gif.trailer().take();
}

// A sprite over a transparent 400 x 300 screen: a full first frame, then frames that cover
// only the part of the screen the sprite moves through, each with its own transparent ground.
std::vector<std::uint8_t> spriteAnimation(int frames) {
  constexpr int kWidth = 400, kHeight = 300, kColours = 64;
  GifWriter gif("GIF89a");
  gif.screen(kWidth, kHeight, rampPalette(kColours)).loop(0);
  gif.control(1, 4, std::uint8_t{0});
  gif.image(frameLayout(kWidth, kHeight, spritePixels(kWidth, kHeight, 0, frames, kColours)));
  for (int f = 1; f < frames; ++f) {
    const int width = 120 + 40 * (f % 3), height = 90 + 30 * (f % 2);
    GifImageLayout part = frameLayout(width, height, spritePixels(width, height, f, frames, kColours));
    part.left = (f * 37) % (kWidth - width);
    part.top = (f * 23) % (kHeight - height);
    gif.control(1, 4, std::uint8_t{0});
    gif.image(part);
  }
  return gif.trailer().take();
}

const std::vector<std::uint8_t>& file(int which) {
  static const std::vector<std::vector<std::uint8_t>> files = [] {
    std::vector<std::vector<std::uint8_t>> all;
    all.push_back(animation(78, 52, 8, 64));  // the double-click test animation's shape
    all.push_back(GifWriter().screen(2400, 2000, rampPalette(256)).image(frameLayout(2400, 2000, photoPixels(2400, 2000, 7))).trailer().take());
    all.push_back(animation(320, 240, 200, 128));
    all.push_back(GifWriter().screen(1200, 900, rampPalette(256)).image(frameLayout(1200, 900, photoPixels(1200, 900, 11), true)).trailer().take());
    all.push_back(animation(16, 16, 10, 16));  // a tiny icon-like animation: microseconds per frame
    all.push_back(spriteAnimation(60));
    // A 1 x 1 picture behind a 64 KiB comment, as files that carry a long text note are.
    all.push_back(GifWriter("GIF89a").screen(1, 1, rampPalette(2)).comment(std::string(65536, 'c'))
                      .image(frameLayout(1, 1, {1})).trailer().take());
    return all;
  }();
  return files[static_cast<std::size_t>(which)];
}

const char* const kNames[] = {"animation_78x52x8",   "photo_2400x2000", "long_320x240x200",
                              "interlaced_1200x900", "tiny_16x16x10",   "sprites_400x300x60",
                              "comment_1x1"};
constexpr int kLastFile = 6;

void BM_Ours(benchmark::State& state) {
  const auto& bytes = file(static_cast<int>(state.range(0)));
  qv::anim::GifDecoder gif;
  for (auto _ : state) {
    if (!gif.LoadFromBytes(bytes)) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(gif.Frame(1)->Image.pixels.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bytes.size()));
  state.SetLabel(kNames[state.range(0)]);
}

#ifdef QV_HAVE_GIFLIB
struct MemoryInput {
  const std::vector<std::uint8_t>* bytes;
  std::size_t pos;
};

int readMemory(GifFileType* gif, GifByteType* to, int n) {
  auto* in = static_cast<MemoryInput*>(gif->UserData);
  const std::size_t k = std::min(static_cast<std::size_t>(n), in->bytes->size() - in->pos);
  std::memcpy(to, in->bytes->data() + in->pos, k);
  in->pos += k;
  return static_cast<int>(k);
}

// Both decoders must give the same indices, or the comparison is void.
bool sameAsOurs(GifFileType* gif, const std::vector<std::uint8_t>& bytes) {
  qv::anim::GifDecoder ours;
  if (!ours.LoadFromBytes(bytes) || ours.FrameCount() != gif->ImageCount) return false;
  for (int n = 0; n < gif->ImageCount; ++n) {
    const SavedImage& theirs = gif->SavedImages[n];
    const auto& pixels = ours.Frame(n + 1)->Image.pixels;
    const std::size_t count = static_cast<std::size_t>(theirs.ImageDesc.Width) * static_cast<std::size_t>(theirs.ImageDesc.Height);
    if (pixels.size() != count || std::memcmp(pixels.data(), theirs.RasterBits, count) != 0) return false;
  }
  return true;
}

void BM_Giflib(benchmark::State& state) {
  const auto& bytes = file(static_cast<int>(state.range(0)));
  bool checked = false;
  for (auto _ : state) {
    MemoryInput in{&bytes, 0};
    int error = 0;
    GifFileType* gif = DGifOpen(&in, readMemory, &error);
    if (!gif || DGifSlurp(gif) != GIF_OK) state.SkipWithError("giflib decode failed");
    if (gif && !checked) {
      checked = true;
      if (!sameAsOurs(gif, bytes)) state.SkipWithError("giflib and our decoder disagree");
    }
    if (gif) {
      benchmark::DoNotOptimize(gif->SavedImages[0].RasterBits);
      DGifCloseFile(gif, &error);
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bytes.size()));
  state.SetLabel(kNames[state.range(0)]);
}
#endif

}  // namespace

// Each file is measured by both decoders one right after the other, so that the ratio of
// the two is taken under the same load of the machine.
int main(int argc, char** argv) {
  for (int which = 0; which <= kLastFile; ++which) {
    benchmark::RegisterBenchmark("BM_Ours", BM_Ours)->Arg(which)->Unit(benchmark::kMicrosecond);
#ifdef QV_HAVE_GIFLIB
    benchmark::RegisterBenchmark("BM_Giflib", BM_Giflib)->Arg(which)->Unit(benchmark::kMicrosecond);
#endif
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
