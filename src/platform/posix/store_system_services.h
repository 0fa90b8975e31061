#pragma once
// System settings kept in the registry store and applied to the running program.
#include "platform/registry_store.h"
#include "platform/system_services.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace qv::platform {

// What the windowing toolkit does for the system settings. The Qt program fills these in;
// any left empty is simply not applied (programs without windows, tests).
struct SystemHooks {
  std::function<void(std::uint32_t milliseconds)> applyDoubleClickTime;
  std::function<void(int width, int height)> applyDoubleClickRect;
  std::function<void()> reloadCursors;
  std::function<ScreenSize()> screenSize;
  std::function<void(std::uint32_t type)> beep;
};

// Milliseconds of a monotonic clock.
using MillisecondClock = std::function<std::uint64_t()>;
std::uint64_t steadyMilliseconds();

// The minor version this system reports: the second number of the kernel release
// ("6.1.0-17-amd64" gives 1), 0 when the release does not have that form.
std::uint32_t osMinorFromRelease(std::string_view release);

inline constexpr std::string_view kMouseSettingsKey = "Control Panel\\Mouse";
inline constexpr std::uint32_t kDefaultDoubleClickTime = 500;
inline constexpr int kDefaultDoubleClickSize = 4;
inline constexpr ScreenSize kDefaultScreenSize{1024, 768};

class StoreSystemServices final : public SystemServices {
public:
  explicit StoreSystemServices(RegistryStore& store, SystemHooks hooks = {},
                               MillisecondClock clock = steadyMilliseconds);

  // Each setter applies the value at once and stores it as a decimal text under
  // HKEY_CURRENT_USER\Control Panel\Mouse (creating the key when missing). False when
  // the store refused it; the value is applied to the running program all the same.
  // A double-click time of 0 means the default, 500 ms.
  bool setDoubleClickTime(std::uint32_t milliseconds) override;
  bool setDoubleClickWidth(int pixels) override;
  bool setDoubleClickHeight(int pixels) override;
  // The stored time; 500 when none is stored or it is not a number.
  std::uint32_t doubleClickTime() override;
  void reloadCursors() override;
  // From the hook; 1024 x 768 without one.
  ScreenSize screenSize() override;
  std::uint32_t osMinorVersion() override;
  // <root>/system; empty when the machine root cannot be had.
  std::string systemDirectory() override;
  std::uint32_t tickCount() override;
  // Through the hook; without one, a bell on stderr when that is a terminal, else nothing.
  void beep(std::uint32_t type = 0) override;

private:
  bool store(std::string_view name, long long value);
  std::optional<long long> stored(std::string_view name);
  int storedSize(std::string_view name);

  RegistryStore& store_;
  SystemHooks hooks_;
  MillisecondClock clock_;
};

}  // namespace qv::platform
