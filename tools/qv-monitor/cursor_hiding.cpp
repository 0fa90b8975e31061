#include "cursor_hiding.h"

#include "settings/settings_key.h"
#include "settings/value_names.h"

#include <cstdlib>
#include <cstring>

namespace qv::tools {

void WaylandPointer::setHidden(bool hidden) {
  if (!hidden || told_) return;
  told_ = true;
  say_("Hide Cursor: on Wayland the compositor decides whether the pointer shows "
       "(most hide it while the screen is touched)");
}

bool waylandSession() {
  const char* display = std::getenv("WAYLAND_DISPLAY");
  const char* type = std::getenv("XDG_SESSION_TYPE");
  return (display && *display) || (type && std::strcmp(type, "wayland") == 0);
}

CursorHiding::CursorHiding(platform::RegistryStore& store, std::unique_ptr<DesktopPointer> pointer, Say say)
    : store_(store), pointer_(std::move(pointer)), say_(std::move(say)) {}

void CursorHiding::update() {
  bool hidden = false;
  try {
    settings::SettingsKey key(store_);
    // Without the key or the value the option is off, as the panel shows it.
    if (key.open(platform::RegistryRoot::LocalMachine, settings::kSettingsKey, false) &&
        key.valueExists(settings::names::HideCursor)) {
      hidden = key.readFlag(settings::names::HideCursor);
    }
  } catch (const settings::SettingsError& e) {
    say_(std::string("Hide Cursor: pointer left as it is: ") + e.what());
    return;
  }
  if (applied_ == hidden) return;
  applied_ = hidden;
  pointer_->setHidden(hidden);
}

}  // namespace qv::tools
