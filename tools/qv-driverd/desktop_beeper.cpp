// The beep of a pen down. This build makes no sound.
#include "beeper.h"

namespace qv::driverd {

namespace {

class SilentBeeper final : public Beeper {
public:
  void beep(bool) override {}
};

}  // namespace

std::unique_ptr<Beeper> openDesktopBeeper() { return std::make_unique<SilentBeeper>(); }

}  // namespace qv::driverd
