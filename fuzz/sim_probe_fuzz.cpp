// Arbitrary bytes on the simulated controller's line, read in pieces of the size byte 0
// sets: it finds the same probes, in the same order, as in the bytes taken in one piece.
#include <algorithm>

#include "controller_model.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t piece = 1 + data[0] % 8;
  const std::vector<int> whole = qv::sim::ProbeScanner().feed(data + 1, size - 1);
  qv::sim::ProbeScanner scanner;
  std::vector<int> found;
  for (std::size_t at = 1; at < size; at += piece) {
    const std::vector<int> probes = scanner.feed(data + at, std::min(piece, size - at));
    found.insert(found.end(), probes.begin(), probes.end());
  }
  FUZZ_CHECK(found == whole);
  return 0;
}
