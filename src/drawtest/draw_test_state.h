#pragma once
// The drawing test's state that outlives its windows: a new window goes on writing the
// event column where the last one stopped.

namespace qv::drawtest {

struct DrawTestState {
  bool PenIsDown = false;    // a pointer button is held over the canvas
  int EventLine = 0;         // line of the event column that the next text goes to
  int EventLineHeight = 0;   // pixels per line; set by each window's creation
};

}  // namespace qv::drawtest
