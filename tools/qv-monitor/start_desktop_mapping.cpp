#include "start_desktop_mapping.h"

#include "gnome_touch_setting.h"
#include "kwin_touch_output.h"

namespace qv::tools {

std::unique_ptr<DesktopMappingThread> startDesktopMapping(TouchDesktop desktop, Say say) {
  DesktopMappingThread::MakeSetting make;
  switch (desktop) {
    case TouchDesktop::X11:
      return nullptr;
    case TouchDesktop::Gnome:
      make = [](std::function<void()>) { return gnomeTouchSetting(); };
      break;
    case TouchDesktop::KdeWayland:
      make = [](std::function<void()> again) { return kwinTouchOutput(std::move(again)); };
      break;
    case TouchDesktop::OtherWayland:
      make = [](std::function<void()>) { return touchSettingAdvice(); };
      break;
  }
  return std::make_unique<DesktopMappingThread>(std::move(make), std::move(say));
}

}  // namespace qv::tools
