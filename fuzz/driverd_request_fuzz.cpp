// Arbitrary bytes as a hostile client's requests to qv-driverd: framed and answered one
// after another as the server does. No reply may be longer than its request allows, and
// the state record must describe the state exactly.
#include "driver_model.h"
#include "driverd_protocol.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qv::driverd;
  DriverModel model;
  ModelBehaviour behaviour;
  behaviour.failInitialize = size % 2 == 1;
  std::span<const std::uint8_t> rest(data, size);
  for (;;) {
    const RequestFrame frame = readRequestFrame(rest);
    if (frame.status != RequestFrame::Status::Complete) break;
    FUZZ_CHECK(frame.size >= 12 && frame.size <= rest.size());
    const Reply reply = handleRequest(model, behaviour, frame.code, frame.input, frame.outLength,
                                      [&](bool) { return rest.size() % 3 != 0; });
    FUZZ_CHECK(reply.bytes.size() <= frame.outLength);
    rest = rest.subspan(frame.size);
  }
  FUZZ_CHECK(DriverModel::fromBytes(model.toBytes()).toBytes() == model.toBytes());
  return 0;
}
