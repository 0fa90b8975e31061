#pragma once
// Where calibrated touches go: a direct touch device with both axes 0..65535. The Linux
// backend is a uinput device; tests and benchmarks record instead.
#include <memory>
#include <optional>
#include <string>

namespace qv::driverd {

inline constexpr int kPointerMax = 65535;

class PointerOutput {
public:
  virtual ~PointerOutput() = default;
  // BTN_TOUCH 1 at (x, y); both within 0..kPointerMax.
  virtual void penDown(int x, int y) = 0;
  // A new position while the pen is down.
  virtual void move(int x, int y) = 0;
  // BTN_TOUCH 0.
  virtual void penUp() = 0;
};

// The uinput device "Quorvane Touch Screen", or the reason there is none (for example
// no access to /dev/uinput), in words a user can act on.
struct UinputResult {
  std::unique_ptr<PointerOutput> output;
  std::string whyNone;  // empty when output is set
};
UinputResult openUinputOutput();

}  // namespace qv::driverd
