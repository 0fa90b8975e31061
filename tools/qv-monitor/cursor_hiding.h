#pragma once
// The monitor program's part in "Hide Cursor": while the store's HideCursor flag is set it
// keeps the desktop's pointer hidden. It reads the flag when it starts and after each
// notification, and touches the desktop only when the flag changed.
#include "platform/registry_store.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace qv::tools {

// A line for the program's log.
using Say = std::function<void(const std::string&)>;

// The pointer of the session's desktop.
class DesktopPointer {
public:
  virtual ~DesktopPointer() = default;
  // Hides the pointer everywhere on the desktop (true) or shows it again (false).
  virtual void setHidden(bool hidden) = 0;
};

// On Wayland no client may hide the pointer: the compositor decides (most hide it while
// the screen is touched). Says so once, the first time hiding is asked for.
class WaylandPointer final : public DesktopPointer {
public:
  explicit WaylandPointer(Say say) : say_(std::move(say)) {}
  void setHidden(bool hidden) override;

private:
  Say say_;
  bool told_ = false;
};

// True in a Wayland session (WAYLAND_DISPLAY, or XDG_SESSION_TYPE "wayland"), where an X
// display, if any, only serves the programs that run through it.
bool waylandSession();

class CursorHiding {
public:
  CursorHiding(platform::RegistryStore& store, std::unique_ptr<DesktopPointer> pointer, Say say);

  // Applies the stored flag when it differs from what was applied last. A store that
  // cannot be read leaves the pointer as it is, and says why.
  void update();

private:
  platform::RegistryStore& store_;
  std::unique_ptr<DesktopPointer> pointer_;
  Say say_;
  std::optional<bool> applied_;
};

}  // namespace qv::tools
