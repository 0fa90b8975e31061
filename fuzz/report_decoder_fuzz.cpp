// Arbitrary bytes from the controller's line, read by the driver in pieces of the size
// byte 0 sets: the same touch samples, in the same order, and the same bytes skipped as
// in the bytes taken in one piece; every reading within the controller's 0..255 units.
#include <algorithm>

#include "fuzz_check.h"
#include "report_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qv::driverd;
  if (size == 0) return 0;
  const std::size_t piece = 1 + data[0] % 8;
  ReportDecoder once, inPieces;
  std::vector<TouchSample> whole, samples;
  once.feed({data + 1, size - 1}, whole);
  for (std::size_t at = 1; at < size; at += piece) inPieces.feed({data + at, std::min(piece, size - at)}, samples);
  const auto a = once.takeSkipped(), b = inPieces.takeSkipped();
  FUZZ_CHECK(samples == whole && a.noiseBytes == b.noiseBytes && a.cutShort == b.cutShort);
  for (const TouchSample& s : samples) FUZZ_CHECK(s.x >= 0 && s.x < 256 && s.y >= 0 && s.y < 256);
  return 0;
}
