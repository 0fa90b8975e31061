#include "gnome_touch_output.h"

#include <cstdio>

namespace qv::tools {

std::string gnomeTouchscreenPath(std::uint16_t vendor, std::uint16_t product) {
  char ids[16];
  std::snprintf(ids, sizeof ids, "%04x:%04x", vendor, product);
  return std::string("/org/gnome/desktop/peripherals/touchscreens/") + ids + "/";
}

GnomeOutput gnomeOutput(const EdidIdentity& edid) {
  if (edid.maker.empty()) return {"unknown", "unknown", "unknown"};  // GNOME's name for a monitor without EDID
  char product[16];
  std::snprintf(product, sizeof product, "0x%04x", edid.productCode);
  char serial[16];
  std::snprintf(serial, sizeof serial, "0x%08x", edid.serialNumber);
  const bool serialText = edid.serialFromDescriptor && !edid.serial.empty();
  return {edid.maker, edid.model.empty() ? std::string(product) : edid.model,
          serialText ? edid.serial : std::string(serial)};
}

std::string gnomeOutputText(const GnomeOutput& output) {
  std::string text = "[";
  for (const std::string& item : output) {
    if (text.size() > 1) text += ", ";
    text += '\'';
    for (const char c : item) {
      if (c == '\'' || c == '\\') text += '\\';
      text += c;
    }
    text += '\'';
  }
  return text + "]";
}

}  // namespace qv::tools
