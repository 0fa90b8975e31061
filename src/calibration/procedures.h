#pragma once
// The Initial procedure (the stored calibration handed to the driver anew) and the
// calibration procedure (calibration mode, the calibration screen, then the cursor
// offset switched off and the monitor program told), over injected services.
#include "calibration/calibration_state.h"
#include "driver/driver_channel.h"
#include "platform/registry_store.h"
#include "platform/system_services.h"
#include "platform/user_prompts.h"
#include "platform/window_messages.h"

#include <cstdint>
#include <functional>
#include <string_view>

namespace qv::calibration {

inline constexpr std::string_view kDriverLoadFailedText = "Can't load driver correctly !\nSystem may need reboot.";
inline constexpr std::string_view kInitSuccess = "Success";
inline constexpr std::string_view kMonitorClass = "TWatchForm";
inline constexpr std::string_view kMonitorTitle = "Quorvane Monitor";
inline constexpr std::uint32_t kMonitorNotifyMessage = 0x5BC;

struct InitialServices {
  platform::RegistryStore& store;
  driver::DriverChannel& driver;
  platform::UserPrompts& prompts;
  // Creates the initial-error window, shows it modally and destroys it once it closed.
  std::function<void()> showErrorWindow;
};

enum class InitialOutcome {
  DriverAbsent,  // the message was shown, nothing sent
  Succeeded,     // the driver wrote "Success"
  Failed,        // anything else: the error window was shown
  Unchecked,     // quiet: the answer was not read
};

// quiet: the Detect flow's run, which reads the driver's answer itself.
InitialOutcome runInitialProcedure(const InitialServices& services, bool quiet);

struct CalibrationServices {
  platform::RegistryStore& store;
  driver::DriverChannel& driver;
  platform::WindowMessenger& messenger;
  platform::SystemServices& system;  // screen size for the offset record
  // Shows the calibration screen modally; returns when it closed.
  std::function<void()> showCalibrationScreen;
};

// The main window's cursor offset as the procedure needs it.
struct CursorOffsetAccess {
  // Unticks "Cursor Offset" and applies its click behaviour (the arrows are disabled).
  std::function<void()> untick;
  std::int32_t dx = 0;  // pixels; kept as they are
  std::int32_t dy = 0;
};

enum class CalibrationOutcome {
  DriverAbsent,
  Cancelled,
  // The new limits are stored. The screen said so when the driver did not take them: the
  // offset is switched off all the same, as Initial will hand them over.
  Completed,
};

// Reads the stored limits into the state's limitsBefore first, for Cancel to give back; a
// store that cannot give them throws its error before calibration mode begins.
CalibrationOutcome runCalibrationProcedure(const CalibrationServices& services, CalibrationState& state,
                                           const CursorOffsetAccess& offset);

}  // namespace qv::calibration
