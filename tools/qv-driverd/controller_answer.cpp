#include "controller_answer.h"

namespace qv::driverd {

bool ProbeAnswerScanner::feed(std::span<const std::uint8_t> bytes) {
  bool answered = false;
  for (const std::uint8_t b : bytes) {
    if (b == 0x00) {
      if (seen_ >= 1 && last_ == 0xF0) answered = true;                     // F0 00
      if (seen_ >= 2 && before_ == 0xFF && last_ == 0x70) answered = true;  // FF 70 00
    }
    before_ = last_;
    last_ = b;
    if (seen_ < 2) ++seen_;
  }
  return answered;
}

}  // namespace qv::driverd
