#pragma once
// Where calibrated touches go: a direct touch device with both axes 0..65535. The Linux
// backend is a uinput device; tests and benchmarks record instead.
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace qv::driverd {

inline constexpr int kPointerMax = 65535;

// The uinput device's name, and the place (phys) it gives itself: the driver knows its own
// device by either, so that it never takes touches from it and feeds itself.
inline constexpr std::string_view kOutputDeviceName = "Quorvane Touch Screen";
inline constexpr std::string_view kOutputDevicePhys = "qv-driverd/uinput";
inline bool isOwnOutputDevice(std::string_view name, std::string_view phys) {
  return name == kOutputDeviceName || phys == kOutputDevicePhys;
}

class PointerOutput {
public:
  virtual ~PointerOutput() = default;
  // BTN_TOUCH 1 at (x, y); both within 0..kPointerMax.
  virtual void penDown(int x, int y) = 0;
  // A new position while the pen is down.
  virtual void move(int x, int y) = 0;
  // BTN_TOUCH 0.
  virtual void penUp() = 0;
  // Makes the device anew, with its axes' resolution in pointer units per millimetre (the
  // monitor's size, for the desktops), after its monitor changed. The pen must be up. The
  // reason when the device is lost over it.
  virtual std::optional<std::string> remake(int unitsPerMmX, int unitsPerMmY) {
    (void)unitsPerMmX;
    (void)unitsPerMmY;
    return std::nullopt;
  }
};

// The uinput device "Quorvane Touch Screen", or the reason there is none (for example
// no access to /dev/uinput), in words a user can act on.
struct UinputResult {
  std::unique_ptr<PointerOutput> output;
  std::string whyNone;  // empty when output is set
};
UinputResult openUinputOutput(int unitsPerMmX, int unitsPerMmY);

}  // namespace qv::driverd
