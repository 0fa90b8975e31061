#include "double_click_art.h"

#include "anim/gif_encoder.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace qv::gifgen {

namespace {

using anim::Rgb;

struct Colour {
  double r, g, b;
};

constexpr Colour kWhite{255, 255, 255};
constexpr Colour kInk{20, 20, 30};
constexpr Colour kPointerFill{255, 236, 140};
constexpr Colour kRipple{30, 110, 230};
constexpr Colour kFlash{235, 60, 50};
constexpr Colour kShadow{150, 150, 160};

Colour mix(Colour a, Colour b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// 63 drawing colours: white, then ramps from white toward each ink; the last entry is the
// transparent one (white, so that a viewer without transparency still shows the panel).
std::array<Rgb, kColours> makeTable() {
  std::array<Rgb, kColours> table{};
  std::vector<Colour> colours{kWhite};
  const auto ramp = [&](Colour target, int steps) {
    for (int i = 1; i <= steps; ++i) colours.push_back(mix(kWhite, target, static_cast<double>(i) / steps));
  };
  ramp(kInk, 16);
  ramp(kRipple, 16);
  ramp(kPointerFill, 6);
  ramp(kFlash, 10);
  ramp(kShadow, 6);
  // Pointer fill edged with ink.
  for (int i = 1; i <= 8; ++i) colours.push_back(mix(kPointerFill, kInk, i / 9.0));
  colours.resize(kColours - 1, kWhite);
  for (std::size_t i = 0; i < colours.size(); ++i) {
    table[i] = {static_cast<std::uint8_t>(std::lround(colours[i].r)),
                static_cast<std::uint8_t>(std::lround(colours[i].g)),
                static_cast<std::uint8_t>(std::lround(colours[i].b))};
  }
  table[kTransparentIndex] = {255, 255, 255};
  return table;
}

const std::array<Rgb, kColours>& table() {
  static const auto t = makeTable();
  return t;
}

std::uint8_t nearest(Colour c) {
  int best = 0;
  double bestDistance = 1e18;
  for (int i = 0; i < kColours - 1; ++i) {
    const Rgb& p = table()[static_cast<std::size_t>(i)];
    const double dr = p.r - c.r, dg = p.g - c.g, db = p.b - c.b;
    const double d = dr * dr * 0.3 + dg * dg * 0.59 + db * db * 0.11;
    if (d < bestDistance) {
      bestDistance = d;
      best = i;
    }
  }
  return static_cast<std::uint8_t>(best);
}

struct Point {
  double x, y;
};

// The classic arrow pointer, tip at (0, 0), 11 wide and 17 high.
const std::array<Point, 7> kArrow{{{0, 0}, {0, 15}, {4, 11.5}, {7, 17}, {9.5, 16}, {6.8, 10.5}, {11, 10.5}}};

bool insidePolygon(const Point* poly, std::size_t n, Point p) {
  bool inside = false;
  for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
    const Point a = poly[i], b = poly[j];
    if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x) inside = !inside;
  }
  return inside;
}

double distanceToSegment(Point p, Point a, Point b) {
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double len2 = dx * dx + dy * dy;
  double t = len2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / len2 : 0;
  t = std::clamp(t, 0.0, 1.0);
  const double ex = a.x + t * dx - p.x, ey = a.y + t * dy - p.y;
  return std::sqrt(ex * ex + ey * ey);
}

struct Ring {
  double radius;
  double strength;  // 0..1, fades as it spreads
};

struct Scene {
  bool pressed = false;    // the button is down: pointer nudged, a flash at the tip
  std::vector<Ring> rings;
};

// Two clicks: presses in frames 2 and 4, each sending out a ripple that spreads and fades.
std::array<Scene, kFrames> scenes() {
  std::array<Scene, kFrames> s{};
  s[1] = {true, {{3, 1.0}}};
  s[2] = {false, {{7, 0.9}}};
  s[3] = {true, {{3, 1.0}, {11, 0.75}}};
  s[4] = {false, {{7, 0.9}, {15, 0.55}}};
  s[5] = {false, {{11, 0.75}, {19, 0.35}}};
  s[6] = {false, {{15, 0.55}}};
  s[7] = {false, {{19, 0.3}}};
  return s;
}

constexpr Point kTip{36, 20};  // where the pointer clicks

Colour shade(const Scene& scene, Point p) {
  Colour c = kWhite;
  const double dx = p.x - kTip.x, dy = p.y - kTip.y;
  const double r = std::sqrt(dx * dx + dy * dy * 1.3);  // slightly flattened, like a surface
  for (const Ring& ring : scene.rings) {
    const double d = std::abs(r - ring.radius);
    if (d < 1.6) c = mix(c, kRipple, ring.strength * std::min(1.0, 1.4 * (1.0 - d / 1.6)));
  }
  if (scene.pressed && r < 2.6) c = mix(c, kFlash, 0.9);

  const double nudge = scene.pressed ? 1.0 : 0.0;
  const Point local{p.x - kTip.x - nudge, p.y - kTip.y - nudge};
  const Point shadowLocal{local.x - 1.5, local.y - 1.5};
  if (insidePolygon(kArrow.data(), kArrow.size(), shadowLocal)) c = mix(c, kShadow, 0.6);
  double edge = 1e9;
  for (std::size_t i = 0; i < kArrow.size(); ++i)
    edge = std::min(edge, distanceToSegment(local, kArrow[i], kArrow[(i + 1) % kArrow.size()]));
  if (insidePolygon(kArrow.data(), kArrow.size(), local)) c = kPointerFill;
  if (edge < 0.7) c = kInk;
  return c;
}

std::vector<std::uint8_t> drawScene(const Scene& scene) {
  // 4 x 4 samples per pixel smooth the edges; the average is matched to the table.
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(kWidth) * kHeight);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      Colour sum{0, 0, 0};
      for (int sy = 0; sy < 4; ++sy) {
        for (int sx = 0; sx < 4; ++sx) {
          const Colour c = shade(scene, {x + (sx + 0.5) / 4.0, y + (sy + 0.5) / 4.0});
          sum = {sum.r + c.r, sum.g + c.g, sum.b + c.b};
        }
      }
      pixels[static_cast<std::size_t>(y) * kWidth + x] = nearest({sum.r / 16, sum.g / 16, sum.b / 16});
    }
  }
  return pixels;
}

}  // namespace

std::vector<std::vector<std::uint8_t>> drawFrames() {
  std::vector<std::vector<std::uint8_t>> frames;
  for (const Scene& scene : scenes()) frames.push_back(drawScene(scene));
  return frames;
}

std::vector<std::uint8_t> makeDoubleClickGif() {
  const auto frames = drawFrames();
  const std::size_t count = frames[0].size();
  constexpr std::uint8_t kBackground = 0;  // white

  // Pixels some frame draws on: frame 1 paints them all, so a new pass wipes the last one.
  std::vector<bool> touched(count, false);
  for (const auto& f : frames)
    for (std::size_t i = 0; i < count; ++i) touched[i] = touched[i] || f[i] != kBackground;

  anim::GifWriter gif("GIF89a");
  gif.screen(kWidth, kHeight, table(), kBackground).loop(0);
  for (std::size_t n = 0; n < frames.size(); ++n) {
    std::vector<std::uint8_t> pixels(count);
    for (std::size_t i = 0; i < count; ++i) {
      const bool keep = n == 0 ? !touched[i] : frames[n][i] == frames[n - 1][i];
      pixels[i] = keep ? kTransparentIndex : frames[n][i];
    }
    anim::GifImageLayout image;
    image.width = kWidth;
    image.height = kHeight;
    image.pixels = std::move(pixels);
    gif.control(1, kDelayHundredths, kTransparentIndex).image(image);
  }
  gif.trailer();
  return gif.take();
}

}  // namespace qv::gifgen
