#pragma once
// The beep of a pen down, through the desktop's event sounds. Silent where no sound
// server runs; never blocks the caller for long.
#include <memory>

namespace qv::driverd {

class Beeper {
public:
  virtual ~Beeper() = default;
  virtual void beep(bool longBeep) = 0;
};

// The desktop's event sounds (libcanberra); a beeper that stays silent when they cannot
// be had.
std::unique_ptr<Beeper> openDesktopBeeper();

}  // namespace qv::driverd
