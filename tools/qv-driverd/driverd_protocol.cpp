#include "driverd_protocol.h"

namespace qv::driverd {

namespace {

std::uint32_t le32(const std::uint8_t* at) {
  return at[0] | at[1] << 8 | at[2] << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

}  // namespace

RequestFrame readRequestFrame(std::span<const std::uint8_t> bytes) {
  RequestFrame frame;
  if (bytes.size() < 12) return frame;
  const std::uint32_t inLength = le32(&bytes[4]);
  if (inLength > kMaxRequestInput) {
    frame.status = RequestFrame::Status::Malformed;
    return frame;
  }
  if (bytes.size() - 12 < inLength) return frame;
  frame.status = RequestFrame::Status::Complete;
  frame.code = le32(&bytes[0]);
  frame.outLength = le32(&bytes[8]);
  frame.input = bytes.subspan(12, inLength);
  frame.size = 12 + std::size_t{inLength};
  return frame;
}

}  // namespace qv::driverd
