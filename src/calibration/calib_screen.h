#pragma once
// The calibration screen's behaviour without the window: taking a touch for the current
// target, completing after the fourth, and Cancel. The window (TCalibForm) forwards its
// events here and does what the view interface asks.
#include "calibration/calibration_state.h"
#include "driver/driver_channel.h"
#include "platform/registry_store.h"
#include "platform/system_services.h"

#include <cstdint>
#include <string_view>

namespace qv::calibration {

// Touches closer together than this (ms, on the wrapping 32-bit tick count) are one touch.
inline constexpr std::uint32_t kTouchGapMs = 900;
// The standard simple beep.
inline constexpr std::uint32_t kSimpleBeep = 0xFFFFFFFFu;
inline constexpr std::string_view kCancelUnreachableText =
    "The driver cannot be reached. Press Cancel again to close.";

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
};

struct CalibScreenServices {
  platform::RegistryStore& store;
  driver::DriverChannel& driver;
  platform::SystemServices& system;  // tick count and beep
};

enum class TouchResult { TooSoon, DriverAbsent, Taken, Completed };
enum class CancelResult { Sent, DriverUnreachable, ClosedUnreachable };

class CalibScreen {
public:
  CalibScreen(CalibrationState& state, CalibScreenServices services, CalibScreenView& view)
      : state_(state), services_(services), view_(view) {}

  CalibrationState& state() { return state_; }

  // A new showing: no message from an earlier one, and the current target laid out.
  void FormShow();
  void FormResize() { view_.layOut(); }
  // A release of a pointer button anywhere but on Cancel.
  TouchResult FormMouseDown();
  // Cancel button and Esc: the driver gets the stored limits back and the screen closes.
  CancelResult btnCancelClick();
  // A typed character; Esc (27) cancels.
  void FormKeyPress(char key);

private:
  void complete(driver::DriverSession& session);

  CalibrationState& state_;
  CalibScreenServices services_;
  CalibScreenView& view_;
};

}  // namespace qv::calibration
