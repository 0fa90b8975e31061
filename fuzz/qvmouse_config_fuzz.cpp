// Arbitrary bytes as the port search's result file: the port and IRQ are found or not,
// and a port found is looked up as the detection does.
#include "detect/qvmouse_config.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qv::detect;
  if (const auto config = parseQvMouseConfig(std::span(data, size))) standardPort(config->portNumber);
  return 0;
}
