#pragma once
// Program-wide state that outlives any one window: the one place where it lives.
// The program holds one ProgramState for its whole run and hands each window and
// procedure a reference to the part it uses; tests make their own.
#include "calibration/calibration_state.h"
#include "detect/probe_protocol.h"
#include "drawtest/draw_test_state.h"

namespace qv::app {

struct ProgramState {
  // True only while the Detect flow runs the Initial procedure: the procedure then
  // skips its failure window and the flow reads the driver's answer itself.
  bool QuietInitial = false;
  // ProbeStep and FirstPass, shared by every detection window.
  detect::ProbeState probe;
  // The calibration screen's target, last touch time, result and limits.
  calibration::CalibrationState calibration;
  // The drawing test's pen, event line and line height, kept between its windows.
  drawtest::DrawTestState drawTest;
};

}  // namespace qv::app
