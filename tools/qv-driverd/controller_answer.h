#pragma once
// Whether a controller is on the line: the driver sends the detection's probes that each
// kind of chip answers (probe 2 for the newer chip, probe 3 for the older ones) and looks
// for their answers among the bytes that come back, however the reads split them: the
// older chips' acknowledgement FF 70 00 or the newer chip's F0 00.
#include "detect/probe_protocol.h"

#include <array>
#include <cstdint>
#include <span>

namespace qv::driverd {

// Probes 2 and 3, one after the other.
inline constexpr std::array<std::uint8_t, 10> kControllerProbes{
    detect::kProbeMessages[1][0], detect::kProbeMessages[1][1], detect::kProbeMessages[1][2],
    detect::kProbeMessages[1][3], detect::kProbeMessages[1][4], detect::kProbeMessages[2][0],
    detect::kProbeMessages[2][1], detect::kProbeMessages[2][2], detect::kProbeMessages[2][3],
    detect::kProbeMessages[2][4]};

class ProbeAnswerScanner {
public:
  // True when an answer ends within bytes (or began in earlier ones).
  bool feed(std::span<const std::uint8_t> bytes);

private:
  std::uint8_t before_ = 0;      // the byte before the last one
  std::uint8_t last_ = 0;        // the last byte seen
  std::size_t seen_ = 0;         // bytes seen, up to 2
};

}  // namespace qv::driverd
