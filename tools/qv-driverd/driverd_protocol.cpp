#include "driverd_protocol.h"

#include "platform/little_endian.h"

namespace qv::driverd {

RequestFrame readRequestFrame(std::span<const std::uint8_t> bytes) {
  RequestFrame frame;
  if (bytes.size() < 12) return frame;
  const std::uint32_t inLength = platform::getLe32(&bytes[4]);
  if (inLength > kMaxRequestInput) {
    frame.status = RequestFrame::Status::Malformed;
    return frame;
  }
  if (bytes.size() - 12 < inLength) return frame;
  frame.status = RequestFrame::Status::Complete;
  frame.code = platform::getLe32(&bytes[0]);
  frame.outLength = platform::getLe32(&bytes[8]);
  frame.input = bytes.subspan(12, inLength);
  frame.size = 12 + std::size_t{inLength};
  return frame;
}

}  // namespace qv::driverd
