#include "platform/screen_area.h"

namespace qv::platform {

ScreenRect fullScreenArea(const Monitor& monitor) { return monitor.area; }

ScreenRect centredIn(const ScreenRect& monitor, int width, int height) {
  return {monitor.left + (monitor.width - width) / 2, monitor.top + (monitor.height - height) / 2, width, height};
}

}  // namespace qv::platform
