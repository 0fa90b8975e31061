#include "touch_desktop.h"

#include "qv-driverd/monitor_output.h"
#include "qv-driverd/pointer_output.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace qv::tools {

namespace {

bool listNames(std::string_view list, std::string_view wanted, bool prefix) {
  while (!list.empty()) {
    const std::size_t colon = list.find(':');
    std::string_view name = list.substr(0, colon);
    if (prefix && name.size() > wanted.size()) name = name.substr(0, wanted.size());
    if (std::equal(name.begin(), name.end(), wanted.begin(), wanted.end(), [](char a, char b) {
          return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
        })) {
      return true;
    }
    if (colon == std::string_view::npos) break;
    list.remove_prefix(colon + 1);
  }
  return false;
}

class Advice final : public TouchOutputSetting {
public:
  std::string map(const DrmConnector& monitor) override { return touchSettingAdvice(monitor); }
  void keep() override {}
  std::string putBack() override { return {}; }
};

}  // namespace

TouchDesktop touchDesktop(std::string_view currentDesktop, bool wayland) {
  // "GNOME", "GNOME-Classic", "ubuntu:GNOME": all run GNOME's compositor.
  if (listNames(currentDesktop, "GNOME", true)) return TouchDesktop::Gnome;
  if (!wayland) return TouchDesktop::X11;
  if (listNames(currentDesktop, "KDE", false)) return TouchDesktop::KdeWayland;
  return TouchDesktop::OtherWayland;
}

std::string touchSettingAdvice(const DrmConnector& monitor) {
  char ids[16];
  std::snprintf(ids, sizeof ids, "%04x:%04x", driverd::kDeviceVendor, driverd::kDeviceProduct);
  return "touch screen: this desktop maps touch screens itself; set its touch screen \"" +
         std::string(driverd::kOutputDeviceName) + "\" (" + ids + ") to the monitor " + monitorText(monitor) +
         " in its settings";
}

}  // namespace qv::tools

namespace qv::tools {

std::unique_ptr<TouchOutputSetting> touchSettingAdvice() { return std::make_unique<Advice>(); }

}  // namespace qv::tools
