// Arbitrary bytes on the controller's line, split into two reads where the first byte
// says: the samples and what was skipped do not depend on the split, every reading lies
// in the controller's span, and every sample maps onto the pointer device's axes under
// limits and an offset taken from the input. The touches made of them do not depend on the
// split either, and each pen down is followed by moves and at most one pen up.
#include "fuzz_check.h"
#include "report_decoder.h"
#include "touch_mapping.h"
#include "touch_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qv::driverd;
  if (size < 10) return 0;
  const qv::driver::CalibrationRecord limits{data[1], data[2], data[3], data[4]};
  const qv::driver::CursorOffsetRecord offset{true, (data[5] & 1) != 0, static_cast<std::uint32_t>(data[6]) << 24,
                                              (data[7] & 1) != 0, static_cast<std::uint32_t>(data[8]) << 9};
  const std::span<const std::uint8_t> line(data + 9, size - 9);
  const std::size_t cut = data[0] % (line.size() + 1);

  ReportDecoder whole, split;
  std::vector<TouchSample> once, twice;
  whole.feed(line, once);
  split.feed(line.first(cut), twice);
  split.feed(line.subspan(cut), twice);
  FUZZ_CHECK(once == twice);
  const auto a = whole.takeSkipped(), b = split.takeSkipped();
  FUZZ_CHECK(a.noiseBytes == b.noiseBytes && a.cutShort == b.cutShort);

  TouchStream wholeTouches, splitTouches;
  std::vector<TouchSample> touches, splitTouchSamples;
  wholeTouches.feed(line, touches);
  splitTouches.feed(line.first(cut), splitTouchSamples);
  splitTouches.feed(line.subspan(cut), splitTouchSamples);
  wholeTouches.silence(touches);
  FUZZ_CHECK(!wholeTouches.holding());
  bool down = false;
  for (const TouchSample& s : touches) {
    FUZZ_CHECK(s.penDown || down);  // no pen up without a touch
    down = s.penDown;
  }
  FUZZ_CHECK(!down);  // silence ended every touch
  splitTouches.silence(splitTouchSamples);
  FUZZ_CHECK(touches == splitTouchSamples);

  for (const TouchSample& s : once) {
    FUZZ_CHECK(s.x >= 0 && s.x < kReadingSpan && s.y >= 0 && s.y < kReadingSpan);
    const PointerPosition at = mapTouch(s, limits, (data[0] & 0x80) != 0, offset);
    FUZZ_CHECK(at.x >= 0 && at.x <= kPointerMax && at.y >= 0 && at.y <= kPointerMax);
  }
  return 0;
}
