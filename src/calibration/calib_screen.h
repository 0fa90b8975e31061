#pragma once
// The calibration screen's behaviour without the window: taking a touch for the current
// target, completing after the fourth, and Cancel. The window (TCalibForm) forwards its
// events here and does what the view interface asks.
#include "calibration/calibration_state.h"
#include "driver/driver_channel.h"
#include "platform/registry_store.h"
#include "platform/system_services.h"
#include "settings/monitor_values.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace qv::calibration {

// Touches closer together than this (ms, on the wrapping 32-bit tick count) are one touch.
inline constexpr std::uint32_t kTouchGapMs = 900;
// The standard simple beep.
inline constexpr std::uint32_t kSimpleBeep = 0xFFFFFFFFu;
inline constexpr std::string_view kCancelUnreachableText =
    "The driver cannot be reached. Press Cancel again to close.";
inline constexpr std::string_view kDriverUnreadText =
    "The driver could not be read. Touch the target again, or press Cancel.";
inline constexpr std::string_view kLimitsNotTakenText =
    "The driver did not take the new calibration.\nIt is stored; Initial sends it to the driver.";
inline constexpr std::string_view kLimitsNotRestoredText =
    "The driver did not take its calibration back either.\nInitial sends the stored calibration to the driver.";
inline constexpr std::string_view kMonitorChangedText =
    "The screen changed. Touch the targets again, starting at the top.";

class CalibScreenView {
public:
  virtual ~CalibScreenView() = default;
  // Places picture, dot, edge name and Cancel for the state's TargetIndex.
  virtual void layOut() = 0;
  virtual void minimise() = 0;
  // Ends the modal showing.
  virtual void closeScreen() = 0;
  virtual void repaintScreen() = 0;
  // A line of text on the screen; empty removes it.
  virtual void showMessage(std::string_view text) = 0;
  // An error box, once the screen has closed.
  virtual void reportError(std::string_view text) = 0;
  // The monitor the screen covers and its rotation now; unknown (rotation 0) by default.
  virtual settings::CalibratedMonitor coveredMonitor() { return {}; }
};

struct CalibScreenServices {
  platform::RegistryStore& store;
  driver::DriverChannel& driver;
  platform::SystemServices& system;  // tick count and beep
};

enum class TouchResult {
  TooSoon,
  DriverAbsent,  // the device did not open: the target stays
  Unread,        // the driver gave no reading: the target stays
  Taken,
  Completed,
  NotStored,  // the store refused the new limits: the driver was sent the earlier ones back
  NotTaken,   // the new limits are stored, but the driver did not take them
};
enum class CancelResult { Sent, DriverUnreachable, ClosedUnreachable };

class CalibScreen {
public:
  CalibScreen(CalibrationState& state, CalibScreenServices services, CalibScreenView& view)
      : state_(state), services_(services), view_(view) {}

  CalibrationState& state() { return state_; }

  // The current target laid out. A new showing starts without a message from an earlier
  // one; the screen shown again after it was minimised keeps what its last Cancel found.
  void FormShow();
  void FormResize() { view_.layOut(); }
  // A release of a pointer button anywhere but on Cancel.
  TouchResult FormMouseDown();
  // Cancel button and Esc: the driver gets back the limits stored before calibration mode
  // began (the state's limitsBefore) and the screen closes.
  CancelResult btnCancelClick();
  // A typed character; Esc (27) cancels.
  void FormKeyPress(char key);
  // The screen's monitor changed while it is shown (another monitor, or its size or
  // rotation): touches taken so far belong to the old one, so the showing starts again at
  // the top target with no limits taken.
  void FormMonitorChanged();

private:
  // Stores and sends the new limits; error is what to report once the screen closed.
  TouchResult complete(driver::DriverSession& session, std::string& error);
  void close();

  CalibrationState& state_;
  CalibScreenServices services_;
  CalibScreenView& view_;
  bool showing_ = false;  // between a showing's first FormShow and its close
};

}  // namespace qv::calibration
