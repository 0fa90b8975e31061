// Feeds arbitrary bytes to the GIF decoder the way the animated image uses it: a full load
// with progress reports, composing and disposing every frame, and the frame query, after an
// info-only load. Any crash, hang, overrun or undefined behaviour is a finding.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "anim/frame_composer.h"
#include "anim/gif_decoder.h"

namespace {

// Inputs that merely declare big pictures spend their time filling memory, which finds
// nothing: those above this many pixels are only parsed for their geometry.
constexpr std::int64_t kDecodeLimit = std::int64_t{1} << 18;

std::int64_t framePixels(const qv::anim::GifDecoder& gif) {
  std::int64_t total = 0;
  for (int n = 1; n <= gif.FrameCount(); ++n) total += std::int64_t{gif.Frame(n)->Width} * gif.Frame(n)->Height;
  return total;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qv::anim;
  const std::span<const std::uint8_t> bytes(data, size);
  GifDecoder gif;
  // The last byte chooses the load options, so every path is explored.
  const std::uint8_t options = size > 0 ? data[size - 1] : 0;
  gif.FirstImageOnly = (options & 1) != 0;

  // Frames read so far are visible at every progress report, also those of a load that
  // fails later, so the info-only load measures what a full load would allocate.
  std::int64_t declared = 0;
  gif.OnProgress = [&](const ProgressReport&, bool&) { declared = std::max(declared, framePixels(gif)); };
  if (gif.LoadInfoFromBytes(bytes)) {
    declared = std::max({declared, framePixels(gif), std::int64_t{gif.ImageWidth()} * gif.ImageHeight()});
  }
  if (declared > kDecodeLimit) return 0;

  gif.OnProgress = nullptr;
  if (options & 2) gif.OnProgress = [](const ProgressReport&, bool& keep) { keep = true; };
  if (!gif.LoadFromBytes(bytes)) return 0;
  if (std::int64_t{gif.ImageWidth()} * gif.ImageHeight() > kDecodeLimit) return 0;

  Composition picture = makeComposition(gif.ImageWidth(), gif.ImageHeight(), gif.AnyTransparent());
  for (int pass = 0; pass < 2; ++pass) {
    for (int n = 1; n <= gif.FrameCount(); ++n) {
      drawFrame(gif, picture, n);
      disposeFrame(gif, picture, n);
    }
  }
  disposeFrame(gif, picture, gif.FrameCount() + 1);
  TFrameInfo info;
  gif.GetFrameInfo(gif.FrameCount(), info);
  gif.GetFrameInfo(0, info);
  return 0;
}
