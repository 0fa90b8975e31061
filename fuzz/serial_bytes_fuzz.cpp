// Arbitrary bytes as a serial port delivers them (errors and breaks marked in the stream),
// taken in bursts as the port's reader takes them: decoded into a buffer no larger than
// the burst, their line errors named, and every burst classified as a probe's reply.
// Burst by burst, the bytes and line errors are those of decoding everything in one piece.
// Byte 0: decoding options and the line's parity; byte 1: the replacement; byte 2: the
// burst size.
#include <vector>

#include "detect/probe_protocol.h"
#include "fuzz_check.h"
#include "platform/posix/posix_serial_port.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qv::platform::posix;
  if (size < 3) return 0;
  const MarkDecoder::Options options{(data[0] & 1) != 0, data[1], (data[0] & 2) != 0};
  const std::uint32_t counted = data[0] >> 4;
  const bool parity = (data[0] & 4) != 0;
  const std::size_t burst = 1 + data[2] % 32;
  MarkDecoder decoder;
  std::vector<std::uint8_t> received;
  std::uint32_t errors = 0;
  std::size_t errorBytes = 0;
  // After the last burst, empty reads hand over what waited for room.
  for (std::size_t at = 3; at < size || decoder.holding(); at = std::min(at + burst, size)) {
    const std::span<const std::uint8_t> in(data + at, std::min(burst, size - at));
    std::vector<std::uint8_t> out(in.empty() ? burst : in.size());
    const auto decoded = decoder.decode(in, out, options);
    FUZZ_CHECK(decoded.count <= out.size());
    errors |= lineErrorsOfRead(decoded, counted, parity);
    errorBytes += decoded.errorBytes;
    qv::detect::classifyReply(std::span(out.data(), decoded.count));
    received.insert(received.end(), out.begin(), out.begin() + static_cast<std::ptrdiff_t>(decoded.count));
  }
  qv::detect::classifyReply(received);

  std::vector<std::uint8_t> whole(size - 3);
  const auto once = MarkDecoder().decode(std::span(data + 3, size - 3), whole, options);
  whole.resize(once.count);
  FUZZ_CHECK(received == whole && errorBytes == once.errorBytes);
  FUZZ_CHECK(size == 3 || errors == lineErrorsOfRead(once, counted, parity));
  return 0;
}
