#include "platform/screen_area.h"

namespace qv::platform {

ScreenRect fullScreenArea(const Monitor& monitor) { return monitor.area; }

}  // namespace qv::platform
