#pragma once
// The pointer of an X11 desktop, hidden with the XFixes extension: on every screen, for as
// long as this program's connection holds it, so it shows again when told or when the
// program ends (the server drops a client's hiding with its connection).
#include "cursor_hiding.h"

#include <memory>
#include <string>

namespace qv::tools {

class X11Pointer final : public DesktopPointer {
public:
  explicit X11Pointer(Say say);
  ~X11Pointer() override;
  X11Pointer(const X11Pointer&) = delete;
  X11Pointer& operator=(const X11Pointer&) = delete;

  void setHidden(bool hidden) override;

private:
  struct Connection;
  // Connects when not connected yet; false, having said why, when there is no display
  // with the extension.
  bool connect();
  void sayOnce(const std::string& problem);

  Say say_;
  std::unique_ptr<Connection> connection_;
  std::string lastProblem_;
};

}  // namespace qv::tools
