#pragma once
// System-wide settings and facts that the panel reads or changes.
#include <cstdint>
#include <string>

namespace qv::platform {

struct ScreenSize {
  int width = 0;
  int height = 0;
};

class SystemServices {
public:
  virtual ~SystemServices() = default;

  // Double-click time (ms) and rectangle (pixels): stored and applied at once.
  virtual bool setDoubleClickTime(std::uint32_t milliseconds) = 0;
  virtual bool setDoubleClickWidth(int pixels) = 0;
  virtual bool setDoubleClickHeight(int pixels) = 0;
  virtual std::uint32_t doubleClickTime() = 0;
  // Makes the system load its cursor scheme anew.
  virtual void reloadCursors() = 0;

  virtual ScreenSize screenSize() = 0;
  virtual std::uint32_t osMinorVersion() = 0;
  virtual std::string systemDirectory() = 0;
  // Milliseconds since an arbitrary start, wrapping at 32 bits.
  virtual std::uint32_t tickCount() = 0;
  virtual void beep(std::uint32_t type = 0) = 0;
};

}  // namespace qv::platform
