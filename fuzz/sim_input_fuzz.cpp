// Arbitrary bytes as the simulated controller's input. On its line, read in pieces of the
// size byte 0 sets: it finds the same probes, in the same order, as in the bytes taken in
// one piece. On its standard input, one command a line: what it plays is whole reports.
#include <algorithm>

#include "controller_model.h"
#include "fuzz_check.h"
#include "touch_commands.h"

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

  qv::sim::TouchPlayer player;
  std::string_view text(reinterpret_cast<const char*>(data), size), line;
  for (std::string error; !text.empty(); text.remove_prefix(std::min(text.size(), line.size() + 1))) {
    line = text.substr(0, text.find('\n'));
    const auto command = qv::sim::parseTouchCommand(line, error);
    for (const auto& report : command ? player.play(*command, error) : std::vector<qv::sim::TimedReport>{}) {
      const auto& b = report.bytes;
      FUZZ_CHECK((b[0] | 1) == 0xC1 && b[1] < 0x80 && b[2] < 0x80 && b[3] < 0x80 && b[4] < 0x80);
    }
  }
  return 0;
}
