#pragma once
// Program-wide state that outlives any one window: the one place where it lives.
// The program holds one ProgramState for its whole run and hands each window and
// procedure a reference to the part it uses; tests make their own.
#include "drawtest/draw_test_state.h"

namespace qv::app {

struct ProgramState {
  // True only while the Detect flow runs the Initial procedure: the procedure then
  // skips its failure window and the flow reads the driver's answer itself.
  bool QuietInitial = false;
  drawtest::DrawTestState drawTest;
};

}  // namespace qv::app
