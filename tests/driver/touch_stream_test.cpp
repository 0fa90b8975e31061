// The touches the driver believes in the controller's report stream, among line noise.
#include "controller_port.h"
#include "driver/controller_report.h"
#include "platform/posix/posix_serial_port.h"
#include "touch_stream.h"

#include <gtest/gtest.h>

#include <random>

namespace qv::driverd {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A report at whole readings x, y.
void append(Bytes& to, bool down, int x, int y) {
  const auto report =
      driver::encodeControllerReport(down, static_cast<std::uint16_t>(x * 64), static_cast<std::uint16_t>(y * 64));
  to.insert(to.end(), report.begin(), report.end());
}

TEST(TouchStream, ATouchEndsWithItsCutPenUpOrWithSilence) {
  Bytes line;
  append(line, true, 10, 20);
  append(line, true, 11, 20);
  line.insert(line.end(), {0xC0, 0x0A});  // the pen up, cut short
  append(line, true, 200, 100);
  append(line, true, 200, 101);
  TouchStream stream;
  std::vector<TouchSample> samples;
  stream.feed(line, samples);
  stream.silence(samples);
  const std::vector<TouchSample> expected{{true, 10, 20},   {true, 11, 20},    {false, 11, 20},
                                          {true, 200, 100}, {true, 200, 101}, {false, 200, 101}};
  EXPECT_EQ(samples, expected);
}

// Noise as a UART takes it: a random stop bit fails half the frames, and the line marks
// those (FF 00 byte) as the controller's port is set up to. Reads of 64 bytes.
TEST(TouchStream, NoiseWithMarkedErrorsMakesNoTouchYetATouchWithinItComesThrough) {
  std::mt19937 random(30);
  Bytes line;
  auto noise = [&](int count) {
    for (int i = 0; i < count; ++i) {
      const auto byte = static_cast<std::uint8_t>(random());
      if (random() & 1) line.insert(line.end(), {0xFF, 0x00});
      else if (byte == 0xFF) line.push_back(0xFF);
      line.push_back(byte);
    }
  };
  noise(48'000);
  append(line, true, 128, 64);
  append(line, false, 128, 64);
  noise(48'000);

  const platform::SerialLineState settings = controllerLineState(9600);
  platform::posix::MarkDecoder marks;
  TouchStream stream;
  std::vector<TouchSample> samples;
  std::array<std::uint8_t, 64> read{};
  for (std::size_t at = 0; at < line.size(); at += read.size()) {
    const auto in = std::span(line).subspan(at, std::min(read.size(), line.size() - at));
    const auto decoded = marks.decode(in, read, {settings.replaceErrorChar, settings.errorChar, false});
    stream.feed(std::span(read).first(decoded.count), samples);
  }
  stream.silence(samples);
  EXPECT_EQ(samples, (std::vector<TouchSample>{{true, 128, 64}, {false, 128, 64}}));
}

}  // namespace
}  // namespace qv::driverd
